// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/FloatingPanelWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QVBoxLayout>

#include "overlay/ElidingLabel.h"
#include "overlay/FramelessWindowHandle.h"
#include "overlay/MarkdownView.h"
#include "overlay/PanelLook.h"
#include "overlay/PillButton.h"
#include "overlay/SettingsMenu.h"
#include "overlay/UIHelpers.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"
#include "session/DesktopShortcuts.h"
#include "text/Markdown.h"

namespace orvane {

namespace {

const QColor kSystemGreen = UI::systemGreen();
const QColor kSystemRed = UI::systemRed();
const QColor kSystemOrange = UI::systemOrange();

const QString kThinking = QStringLiteral("Thinking...");
const QString kAnswering = QStringLiteral("ANSWERING");
constexpr double kCopyFeedbackSeconds = 1.0;
constexpr double kStealthNoticeSeconds = 4.0;

void paintLabel(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

// The 8-point status light.
class Dot : public QWidget {
public:
    explicit Dot(const QColor* color) : m_color(color) { setFixedSize(8, 8); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(*m_color);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(rect());
    }

private:
    const QColor* m_color;
};

}  // namespace

FloatingPanelWindow::FloatingPanelWindow(std::shared_ptr<SessionManager> session,
                                         MainQueue& mainQueue, Workspace& workspace,
                                         QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_session(std::move(session)),
      m_mainQueue(mainQueue),
      m_workspace(workspace) {
    setWindowTitle("Orvane");
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(400, 200);
    resize(580, 340);
    if (const auto* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - QPoint(290, 170));
    }
    buildViews();
    new FramelessWindowHandle(this);
    // Hovering an edge shows the resize pointer; the container passes its moves on.
    m_container->setMouseTracking(true);
    // Built hidden from capture where the desktop can do that; elsewhere the panel says so
    // instead of claiming to be hidden.
    m_canHideFromCapture = m_workspace.setExcludedFromCapture(winId(), true);
    m_isStealth = m_canHideFromCapture;
    m_stealth->setSymbol(m_isStealth ? "eye.slash" : "eye");
    if (!m_canHideFromCapture) m_stealth->setDescription(stealthUnavailable);
    bindSession();
}

FloatingPanelWindow::~FloatingPanelWindow() = default;

QString FloatingPanelWindow::keyText(std::string_view id) {
    const auto keys = keysFor(id);
    return QKeySequence(QString::fromUtf8(keys.data(), static_cast<int>(keys.size())))
        .toString(QKeySequence::NativeText);
}

PillButton* FloatingPanelWindow::makePillButton(const QString& symbol,
                                                std::function<void()> action) {
    auto* pill = new PillButton(symbol);
    pill->onClick = std::move(action);
    return pill;
}

void FloatingPanelWindow::buildViews() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    m_container = new RoundedPanel(UI::panelBg());
    outer->addWidget(m_container);

    auto* column = new QVBoxLayout(m_container);
    column->setContentsMargins(24, 16, 20, 14);
    column->setSpacing(0);

    auto* statusRow = new QHBoxLayout;
    statusRow->setSpacing(6);
    m_statusDot = new Dot(&m_statusDotColor);
    m_statusDot->hide();
    m_statusLabel = UI::label("", 10, QFont::DemiBold, Qt::transparent);
    m_statusLabel->setWordWrap(false);
    m_pttIndicator = UI::label("MIC", 10, QFont::Bold, UI::withOpacity(kSystemOrange, 0.8));
    m_pttIndicator->setWordWrap(false);
    m_pttIndicator->hide();
    statusRow->addWidget(m_statusDot, 0, Qt::AlignVCenter);
    statusRow->addWidget(m_statusLabel, 0, Qt::AlignVCenter);
    statusRow->addWidget(m_pttIndicator, 0, Qt::AlignVCenter);
    statusRow->addStretch();
    // How answers come, so that a long one is never a surprise.
    m_styleLabel = UI::label("", 10, QFont::DemiBold, UI::white(0.45));
    m_styleLabel->setWordWrap(false);
    m_styleLabel->setToolTip("Answer style: change it in the settings menu");
    statusRow->addWidget(m_styleLabel, 0, Qt::AlignVCenter);
    showAnswerStyle();
    column->addLayout(statusRow);
    column->addSpacing(10);

    m_offerRow = new QWidget;
    auto* offerLine = new QHBoxLayout(m_offerRow);
    offerLine->setContentsMargins(0, 0, 0, 8);
    offerLine->setSpacing(6);
    m_offer = new QPushButton;
    m_offer->setFlat(true);
    m_offer->setFocusPolicy(Qt::NoFocus);
    m_offer->setCursor(Qt::PointingHandCursor);
    m_offer->setFont(UI::ubuntu(11, QFont::Medium));
    m_offer->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; text-align: left; border: none; "
                       "padding: 0; }")
            .arg(UI::bookCloth().name()));
    connect(m_offer, &QPushButton::clicked, this, [this] {
        if (!m_acceptOffer) return;
        auto accept = std::move(m_acceptOffer);
        m_acceptOffer = nullptr;
        accept();
    });
    m_dismissOffer = makePillButton("xmark", [this] {
        auto decline = std::move(m_declineOffer);
        hideOffer();
        if (decline) decline();
    });
    m_neverOffer = new QPushButton("Never");
    m_neverOffer->setFlat(true);
    m_neverOffer->setCursor(Qt::PointingHandCursor);
    m_neverOffer->setFont(UI::ubuntu(11));
    m_neverOffer->setStyleSheet(
        "QPushButton { color: rgba(255,255,255,110); border: none; padding: 0 4px; }");
    m_neverOffer->setToolTip("Do not offer this again");
    connect(m_neverOffer, &QPushButton::clicked, this, [this] {
        auto never = std::move(m_neverAgain);
        hideOffer();
        if (never) never();
    });
    offerLine->addWidget(m_offer, 1);
    offerLine->addWidget(m_neverOffer, 0, Qt::AlignVCenter);
    offerLine->addWidget(m_dismissOffer, 0, Qt::AlignVCenter);
    m_offerRow->hide();
    column->addWidget(m_offerRow);

    // The panel keeps the keyboard: the answer view never takes it, so the arrows page history.
    m_answerView = new MarkdownView(m_mainQueue);
    setAnswer(startPrompt, UI::white(0.35));
    column->addWidget(m_answerView, 1);
    m_askAgain = new QPushButton(QStringLiteral("Ask again (%1)").arg(keyText("ask-again")));
    m_askAgain->setFont(UI::ubuntu(11, QFont::Medium));
    m_askAgain->setCursor(Qt::PointingHandCursor);
    m_askAgain->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; background: transparent; border: 1px solid %1; "
                       "border-radius: 6px; padding: 3px 10px; } QPushButton:focus { "
                       "background: rgba(230,150,120,60); }")
            .arg(UI::bookCloth().lighter(130).name()));
    connect(m_askAgain, &QPushButton::clicked, this, [this] { askAgain(); });
    m_askAgain->hide();
    column->addWidget(m_askAgain, 0, Qt::AlignLeft);
    column->addSpacing(12);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 0, 4, 0);
    bar->setSpacing(10);
    m_timerLabel = UI::monoLabel("", 11, QFont::Normal, UI::withOpacity(UI::bookCloth(), 0.7));
    m_timerLabel->setWordWrap(false);
    m_hearingLabel = new ElidingLabel;
    m_hearingLabel->setFont(UI::ubuntu(11));
    paintLabel(m_hearingLabel, UI::white(0.25));
    bar->addWidget(m_timerLabel);
    bar->addWidget(m_hearingLabel, 1);
    bar->addSpacing(12);

    auto* controls = new QHBoxLayout;
    controls->setSpacing(4);
    m_prev = makePillButton("chevron.left", [this] { historyPrev(); });
    m_historyLabel = UI::monoLabel("", 11, QFont::Normal, UI::white(0.6));
    m_historyLabel->setWordWrap(false);
    m_next = makePillButton("chevron.right", [this] { historyNext(); });
    m_send = makePillButton("paperplane.fill", [this] { sendScreenshots(); });
    m_screenshotBadge = UI::label("", 9, QFont::Bold, QColor(Qt::white));
    m_screenshotBadge->setWordWrap(false);
    m_screenshotBadge->setAlignment(Qt::AlignCenter);
    m_screenshotBadge->setFixedSize(16, 16);
    m_screenshotBadge->setStyleSheet(
        QStringLiteral("background: %1; border-radius: 8px;").arg(UI::bookCloth().name()));
    m_playPause = makePillButton("play.fill", [this] { toggleSession(); });
    m_stealth = makePillButton("eye.slash", [this] { toggleStealth(); });
    m_gear = makePillButton("gearshape", [this] { handleGear(); });
    m_prev->setDescription(QStringLiteral("Earlier answer (%1)").arg(keyText("previous-answer")));
    m_next->setDescription(QStringLiteral("Later answer (%1)").arg(keyText("next-answer")));
    m_send->setDescription("Ask about the screenshots");
    m_gear->setDescription(QStringLiteral("Settings (%1)").arg(keyText("settings-menu")));
    m_stealth->setDescription("Hide the panel from screen capture");
    for (QWidget* hidden : std::initializer_list<QWidget*>{m_prev, m_historyLabel, m_next, m_send,
                                                           m_screenshotBadge}) {
        hidden->hide();
    }
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_prev, m_historyLabel, m_next, m_send, m_screenshotBadge,
                                         m_playPause, m_stealth, m_gear}) {
        controls->addWidget(control, 0, Qt::AlignVCenter);
    }
    bar->addLayout(controls);
    auto* barHolder = new QWidget;
    barHolder->setFixedHeight(36);
    barHolder->setLayout(bar);
    column->addWidget(barHolder);
}

void FloatingPanelWindow::bindSession() {
    const QPointer<FloatingPanelWindow> alive(this);
    m_session->onStateChanged = [this](SessionManager::State state) {
        if (onSessionStateChanged) onSessionStateChanged(state);
        presentState(state);
    };
    m_session->onTranscript = [this](const std::string& text) {
        if (text.empty()) return;
        m_liveTranscript = QString::fromStdString(text);
        m_candidateLine.clear();
        if (!m_pagedBack) showHeard();
    };
    m_session->onCandidateTranscript = [this](const std::string& text) {
        m_candidateLine = text.empty() ? QString() : "You: " + QString::fromStdString(text);
        if (!m_pagedBack) showHeard();
    };
    m_session->onAnswer = [this](const std::string& text) {
        m_askAgain->hide();
        if (text.empty()) {
            setAnswer(kThinking, UI::white(0.4));
        } else {
            showAnswer(QString::fromStdString(text));
            // Words are arriving: no longer thinking.
            if (m_session->state() == SessionManager::State::processing && !m_pagedBack) {
                setStatus(kAnswering, m_statusLabel->palette().color(QPalette::WindowText));
            }
        }
    };
    m_session->onAnswerSkipped = [this] {
        if (!m_beforeQuestion) return;
        if (m_beforeQuestion->isMarkdown) {
            showAnswer(m_beforeQuestion->text);
            m_answerView->flush();
        } else {
            setAnswer(m_beforeQuestion->text, m_beforeQuestion->color);
        }
    };
    m_session->onError = [this](const std::string& message) {
        showProblem(QString::fromStdString(message));
        m_askAgain->setVisible(m_session->canAskAgain());
    };
    m_session->onHearingChanged = [this](bool hearing) {
        // The sound server's absence said on the panel goes once it is back; a failed question
        // stays, to be asked again.
        if (hearing && m_showsProblem && !m_session->canAskAgain()) clearProblem();
        if (m_session->state() == SessionManager::State::listening) {
            presentState(SessionManager::State::listening);
        }
    };
    m_session->onScreenshotsChanged = [alive, &queue = m_mainQueue](int count) {
        queue.post([alive, count] {
            if (alive) alive->showScreenshotCount(count);
        });
    };
    m_session->onHistoryShown = [alive, &queue = m_mainQueue](const std::optional<QAPair>& pair,
                                                              int, int) {
        queue.post([alive, pair = std::move(pair)] {
            if (!alive) return;
            if (pair) {
                alive->showAnswer(QString::fromStdString(pair->answer));
                alive->m_answerView->flush();
            }
            alive->showPage(pair);
            alive->updateHistoryUI();
        });
    };
}

// An earlier page shows its own question where the live one was heard, and says which page it
// is; the latest page shows the session as it is.
void FloatingPanelWindow::showPage(const std::optional<QAPair>& pair) {
    const auto& history = m_session->history();
    m_pagedBack = pair && !history.isAtLatest();
    if (m_pagedBack) {
        m_hearingLabel->setFullText("Q: " + QString::fromStdString(pair->question));
        setStatus(
            QStringLiteral("ANSWER %1 OF %2").arg(history.currentIndex() + 1).arg(history.count()),
            UI::white(0.6));
        return;
    }
    showHeard();
    presentLook(m_session->state());
}

// The candidate's own words are set apart: in italics, a step dimmer than the interviewer's.
void FloatingPanelWindow::showHeard() {
    const bool candidate = !m_candidateLine.isEmpty();
    auto font = m_hearingLabel->font();
    font.setItalic(candidate);
    m_hearingLabel->setFont(font);
    paintLabel(m_hearingLabel, UI::white(candidate ? 0.2 : 0.25));
    m_hearingLabel->setFullText(candidate ? m_candidateLine : m_liveTranscript);
}

void FloatingPanelWindow::showProblem(const QString& problem) {
    setAnswer(problem, UI::withOpacity(kSystemRed, 0.8));
    m_showsProblem = true;
}

void FloatingPanelWindow::askAgain() {
    m_askAgain->hide();
    m_session->askAgain();
}

void FloatingPanelWindow::clearProblem() {
    if (!m_showsProblem) return;
    m_askAgain->hide();
    setAnswer(m_session->isRunning() ? QStringLiteral("Listening...") : QString(startPrompt),
              UI::white(0.4));
}

void FloatingPanelWindow::showOffer(const QString& text, std::function<void()> onAccept,
                                    std::function<void()> onDismiss,
                                    std::function<void()> onNever) {
    // A button does not wrap its title: the line is broken where it would run out of room.
    const int room = std::max(200, m_container->width() - 150);
    const QFontMetrics metrics(m_offer->font());
    QString wrapped;
    QString line;
    for (const auto& word : text.split(' ')) {
        const auto longer = line.isEmpty() ? word : line + ' ' + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > room) {
            wrapped += line + '\n';
            line = word;
        } else {
            line = longer;
        }
    }
    m_offer->setText(wrapped + line);
    m_offer->setEnabled(static_cast<bool>(onAccept));
    m_acceptOffer = std::move(onAccept);
    m_declineOffer = std::move(onDismiss);
    m_neverOffer->setVisible(static_cast<bool>(onNever));
    m_neverAgain = std::move(onNever);
    m_offerRow->show();
}

void FloatingPanelWindow::hideOffer() {
    m_acceptOffer = nullptr;
    m_declineOffer = nullptr;
    m_neverAgain = nullptr;
    m_offerRow->hide();
}

void FloatingPanelWindow::setAnswer(const QString& text, const QColor& color) {
    m_showsProblem = false;
    m_answerView->showPlain(text, color);
}

void FloatingPanelWindow::showAnswer(const QString& markdown) {
    m_showsProblem = false;
    m_answerView->showMarkdown(markdown, UI::white(0.92));
}

void FloatingPanelWindow::setStatus(const QString& text, const QColor& color) {
    m_statusLabel->setText(text);
    paintLabel(m_statusLabel, color);
}

void FloatingPanelWindow::setDot(bool visible, const QColor& color) {
    m_statusDotColor = color;
    m_statusDot->setVisible(visible);
    m_statusDot->update();
}

void FloatingPanelWindow::showLook(const PanelLook& look) {
    if (look.startStop) {
        const bool starts = look.startStop->symbol == QStringLiteral("play.fill");
        m_playPause->setDescription(QStringLiteral("%1 the session (%2)")
                                        .arg(starts ? "Start" : "Stop", keyText("start-stop")));
        m_playPause->setSymbol(look.startStop->symbol);
        m_playPause->setColors(look.startStop->fill, look.startStop->border);
        m_playPause->setTint(look.startStop->tint);
    }
    setDot(look.light == PanelLook::Light::asBefore ? m_statusDot->isVisible()
                                                    : look.light == PanelLook::Light::on,
           look.lightColor);
    setStatus(look.status, look.statusColor);
}

void FloatingPanelWindow::presentLook(SessionManager::State state) {
    showLook(PanelLook::of(state, !m_session->isRunning() || m_session->isHearing()));
}

void FloatingPanelWindow::presentState(SessionManager::State state) {
    // A new question takes the panel back to the live state.
    if (state == SessionManager::State::processing) m_pagedBack = false;
    if (!m_pagedBack) presentLook(state);
    switch (state) {
        case SessionManager::State::idle:
            stopClock();
            break;
        case SessionManager::State::listening:
            if (!m_sessionTimer) startClock();
            break;
        case SessionManager::State::processing:
            if (m_answerView->isMarkdown() || m_answerView->text() != kThinking) {
                m_beforeQuestion = Shown{m_answerView->text(), m_answerView->isMarkdown(),
                                         m_answerView->textColor()};
            }
            setAnswer(kThinking, UI::white(0.4));
            break;
    }
}

void FloatingPanelWindow::toggleSession() {
    if (m_session->state() == SessionManager::State::idle) {
        setAnswer("Listening...", UI::white(0.4));
        m_liveTranscript.clear();
        m_candidateLine.clear();
        showHeard();
        m_session->startSession();
        return;
    }
    m_session->stopSession();
    stopClock();
    m_hearingLabel->setFullText("");
    m_timerLabel->clear();
    setAnswer(startPrompt, UI::white(0.35));
    showLook(PanelLook::of(SessionManager::State::idle, true));
    updateHistoryUI();
}

void FloatingPanelWindow::stopSession() {
    m_session->stopSession();
    stopClock();
}

void FloatingPanelWindow::stepAsideWhileShared(const QString& how) {
    m_stepsAside = true;
    m_isStealth = true;
    m_stealth->setSymbol("eye.slash");
    m_stealth->setDescription(
        QStringLiteral("Stealth: Orvane hides while the screen is shared, seen from %1.").arg(how));
}

void FloatingPanelWindow::toggleStealth() {
    if (!m_canHideFromCapture && !m_stepsAside) {
        // Nothing to toggle here; say why instead of pretending.
        const auto previousText = m_statusLabel->text();
        const auto previousColor = m_statusLabel->palette().color(QPalette::WindowText);
        setStatus(stealthAdvice, UI::withOpacity(kSystemOrange, 0.8));
        m_mainQueue.postAfter(kStealthNoticeSeconds,
                              [panel = QPointer(this), previousText, previousColor] {
                                  if (panel && panel->m_statusLabel->text() == stealthAdvice) {
                                      panel->setStatus(previousText, previousColor);
                                  }
                              });
        return;
    }
    m_isStealth = !m_isStealth;
    if (m_canHideFromCapture) m_workspace.setExcludedFromCapture(winId(), m_isStealth);
    m_stealth->setSymbol(m_isStealth ? "eye.slash" : "eye");
    if (onStealthChanged) onStealthChanged(m_isStealth);
}

void FloatingPanelWindow::startClock() {
    m_sessionStart = m_mainQueue.now();
    m_timerLabel->setText("00:00");
    m_sessionTimer = m_mainQueue.scheduleTimer(1.0, true, [panel = QPointer(this)] {
        if (panel) panel->tick();
    });
}

void FloatingPanelWindow::stopClock() {
    m_sessionTimer.reset();
    m_sessionStart.reset();
}

void FloatingPanelWindow::tick() {
    if (!m_sessionStart) return;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::seconds>(m_mainQueue.now() - *m_sessionStart)
            .count();
    m_timerLabel->setText(QString::asprintf("%02lld:%02lld", static_cast<long long>(elapsed / 60),
                                            static_cast<long long>(elapsed % 60)));
}

void FloatingPanelWindow::copyAnswer() {
    // The answer as it was received, Markdown and all: it pastes into notes and editors whole.
    const auto& text = m_answerView->text();
    if (text.isEmpty() || text == startPrompt) return;
    copyWithFeedback(text);
}

std::optional<QString> FloatingPanelWindow::shownCode() const {
    if (!m_answerView->isMarkdown()) return std::nullopt;
    const auto code = text::lastCodeBlock(m_answerView->text().toStdString());
    if (!code || code->empty()) return std::nullopt;
    return QString::fromStdString(*code);
}

void FloatingPanelWindow::copyCodeBlock() {
    if (const auto code = shownCode()) copyWithFeedback(*code);
}

void FloatingPanelWindow::copyWithFeedback(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    const auto previousText = m_statusLabel->text();
    const auto previousColor = m_statusLabel->palette().color(QPalette::WindowText);
    setStatus("COPIED", UI::withOpacity(kSystemGreen, 0.7));
    setDot(true, UI::withOpacity(kSystemGreen, 0.9));
    m_mainQueue.postAfter(kCopyFeedbackSeconds,
                          [panel = QPointer(this), previousText, previousColor] {
                              if (!panel || panel->m_statusLabel->text() != "COPIED") return;
                              panel->setStatus(previousText, previousColor);
                              if (previousText.isEmpty()) panel->m_statusDot->hide();
                          });
}

namespace {

// Whether the event is the key the table gives the action on the panel.
bool isKeyOf(const QKeyEvent* event, std::string_view id) {
    const auto keys = keysFor(id);
    return !keys.empty() &&
           QKeySequence(QString::fromUtf8(keys.data(), static_cast<int>(keys.size()))) ==
               QKeySequence(event->keyCombination());
}

}  // namespace

void FloatingPanelWindow::keyPressEvent(QKeyEvent* event) {
    const auto& history = m_session->history();
    if (isKeyOf(event, shortcut::pushToTalk) && !event->isAutoRepeat() &&
        m_session->state() != SessionManager::State::idle) {
        beginPushToTalk();
    } else if (isKeyOf(event, shortcut::screenshot)) {
        takeScreenshot();
    } else if (isKeyOf(event, shortcut::copyAnswer)) {
        copyAnswer();
    } else if (isKeyOf(event, "copy-code")) {
        copyCodeBlock();
    } else if (isKeyOf(event, "previous-answer") && history.count() >= 2) {
        m_session->history().previous();
    } else if (isKeyOf(event, "next-answer") && history.count() >= 2) {
        m_session->history().next();
    } else if (isKeyOf(event, "start-stop")) {
        toggleSession();
    } else if (isKeyOf(event, "ask-again") && m_session->canAskAgain()) {
        askAgain();
    } else if (isKeyOf(event, "settings-menu")) {
        handleGear();
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void FloatingPanelWindow::keyReleaseEvent(QKeyEvent* event) {
    // A release whose press was not accepted never stops push-to-talk.
    if (isKeyOf(event, shortcut::pushToTalk) && !event->isAutoRepeat() && m_isPushToTalking) {
        releasePushToTalk();
        event->accept();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void FloatingPanelWindow::changeEvent(QEvent* event) {
    // The release of a key held while the panel loses the keyboard never reaches it.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && m_isPushToTalking) {
        releasePushToTalk();
    }
    QWidget::changeEvent(event);
}

void FloatingPanelWindow::focusOutEvent(QFocusEvent* event) {
    if (m_isPushToTalking) releasePushToTalk();
    QWidget::focusOutEvent(event);
}

void FloatingPanelWindow::beginPushToTalk() {
    if (m_isPushToTalking || m_session->state() == SessionManager::State::idle) return;
    m_isPushToTalking = true;
    m_session->startPushToTalk();
    m_pttIndicator->show();
}

void FloatingPanelWindow::endPushToTalk() {
    if (m_isPushToTalking) releasePushToTalk();
}

void FloatingPanelWindow::takeScreenshot() {
    m_session->captureScreenshot(static_cast<std::uint32_t>(winId()));
}

void FloatingPanelWindow::releasePushToTalk() {
    m_isPushToTalking = false;
    m_session->stopPushToTalk();
    m_pttIndicator->hide();
}

void FloatingPanelWindow::updateHistoryUI() {
    const auto& history = m_session->history();
    const int count = history.count();
    const bool paging = count >= 2;
    m_prev->setVisible(paging);
    m_historyLabel->setVisible(paging);
    m_next->setVisible(paging);
    if (paging)
        m_historyLabel->setText(QStringLiteral("%1/%2").arg(history.currentIndex() + 1).arg(count));
}

void FloatingPanelWindow::showScreenshotCount(int count) {
    m_screenshotBadge->setVisible(count > 0);
    m_screenshotBadge->setText(QString::number(count));
    m_send->setVisible(count > 0);
    if (count >= 1) {
        m_send->setColors(UI::withOpacity(UI::bookCloth(), 0.15),
                          UI::withOpacity(UI::bookCloth(), 0.3));
        m_send->setTint(UI::bookCloth());
    }
}

void FloatingPanelWindow::sendScreenshots() {
    m_session->sendScreenshots("");
}
void FloatingPanelWindow::historyPrev() {
    m_session->history().previous();
}
void FloatingPanelWindow::historyNext() {
    m_session->history().next();
}

QMenu* FloatingPanelWindow::buildSettingsMenu() {
    const auto forward = [this](std::function<void()> FloatingPanelWindow::*callback) {
        return [this, callback] {
            if (this->*callback) (this->*callback)();
        };
    };
    SettingsMenu::Actions actions;
    actions.canCopyCode = shownCode().has_value();
    actions.copyCode = [this] { copyCodeBlock(); };
    actions.openContext = forward(&FloatingPanelWindow::onOpenContext);
    actions.openPreferences = forward(&FloatingPanelWindow::onOpenPreferences);
    actions.signOut = forward(&FloatingPanelWindow::onSignOut);
    if (onAbout) actions.about = forward(&FloatingPanelWindow::onAbout);
    if (onQuit) actions.quit = forward(&FloatingPanelWindow::onQuit);
    if (tierModels) actions.tierModels = tierModels();
    actions.styleChosen = [this] { showAnswerStyle(); };
    return SettingsMenu::build(this, *m_session, std::move(actions));
}

void FloatingPanelWindow::showAnswerStyle() {
    const auto name = SessionManager::displayName(m_session->answerStyle());
    m_styleLabel->setText(QString::fromUtf8(name.data(), static_cast<int>(name.size())).toUpper());
}

void FloatingPanelWindow::handleGear() {
    auto* menu = buildSettingsMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Opens upwards from just above the gear's top-left corner.
    const auto anchor = m_gear->mapToGlobal(QPoint(0, -4));
    menu->popup(anchor - QPoint(0, menu->sizeHint().height()));
}

}  // namespace orvane
