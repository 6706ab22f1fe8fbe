// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "overlay/PanelLook.h"
#include "platform/MainQueue.h"
#include "session/SessionManager.h"

namespace orvane {

class MainQueue;
class ElidingLabel;
class MarkdownView;
class PillButton;
class Timer;
class Workspace;

// The overlay: a small dark, rounded, always-on-top panel showing the answer in large type, what
// is being heard, the session clock and a status light, with controls to start and stop, page
// answers, send screenshots, hide from screen capture and open the settings menu. It owns the
// signed-in user's session and presents its callbacks.
class FloatingPanelWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* startPrompt = "Start a session to begin.";
    // X11 and Wayland let any program with the screen see every window: what helps is what the
    // user shares.
    static constexpr const char* stealthUnavailable =
        "This desktop cannot hide the panel from screen capture. In the call, share a window "
        "(the browser tab, the editor), not the whole screen, and the panel stays out of it.";
    static constexpr const char* stealthAdvice = "SHARE A WINDOW, NOT THE WHOLE SCREEN";

    FloatingPanelWindow(std::shared_ptr<SessionManager> session, MainQueue& mainQueue,
                        Workspace& workspace, QWidget* parent = nullptr);
    ~FloatingPanelWindow() override;

    std::function<void()> onSignOut;
    std::function<void()> onOpenPreferences;
    std::function<void()> onOpenContext;
    std::function<void(SessionManager::State)> onSessionStateChanged;
    // Set where the desktop shows no status icon: the settings menu then also offers About and
    // Quit, which would otherwise be out of reach.
    std::function<void()> onAbout;
    std::function<void()> onQuit;
    // The model each tier asks for, for the settings menu to name beside it.
    std::function<std::map<std::string, std::string>()> tierModels;

    SessionManager& session() { return *m_session; }
    // Stops the session and the clock; the view follows the state change.
    void stopSession();

    void toggleSession();
    void toggleStealth();
    // Where the desktop cannot leave the panel out of captures but can tell when the screen is
    // shared (`how`: by what): stealth is on again and means stepping aside during a share.
    void stepAsideWhileShared(const QString& how);
    std::function<void(bool stealth)> onStealthChanged;
    // Says, in the answer area, why answers cannot be had.
    void showProblem(const QString& problem);
    // Takes the problem shown away (the interview context was saved, or the sound is back).
    void clearProblem();
    bool showsProblem() const { return m_showsProblem; }
    // Asks the question that failed again, as "Ask again" under its error does.
    void askAgain();
    // The keys of an action of the key table, as the desktop writes them ("Ctrl+Shift+S").
    static QString keyText(std::string_view id);
    // A line above the answer offering something the user may take or turn down for good (a
    // better model to hear with). A click on it calls onAccept; its cross, onDismiss; either
    // hides it. Without onAccept the line only says how what was taken goes.
    void showOffer(const QString& text, std::function<void()> onAccept,
                   std::function<void()> onDismiss, std::function<void()> onNever = nullptr);
    void hideOffer();
    void sendScreenshots();
    void historyPrev();
    void historyNext();
    // The panel's keys, also reachable from global shortcuts while another program has the
    // keyboard. Push-to-talk starts only while a session runs.
    void beginPushToTalk();
    void endPushToTalk();
    void takeScreenshot();
    void copyAnswer();
    // Copies the last code block of the answer shown, fences left out.
    void copyCodeBlock();
    // The settings menu as it would open now (the caller owns it).
    QMenu* buildSettingsMenu();
    void handleGear();

    // For the window's own presentation and for tests.
    MarkdownView* answerView() const { return m_answerView; }
    ElidingLabel* hearingLabel() const { return m_hearingLabel; }
    QLabel* timerLabel() const { return m_timerLabel; }
    QLabel* statusLabel() const { return m_statusLabel; }
    QWidget* statusDot() const { return m_statusDot; }
    QColor statusDotColor() const { return m_statusDotColor; }
    QLabel* pttIndicator() const { return m_pttIndicator; }
    QLabel* historyLabel() const { return m_historyLabel; }
    QLabel* styleLabel() const { return m_styleLabel; }
    QLabel* screenshotBadge() const { return m_screenshotBadge; }
    PillButton* playPauseButton() const { return m_playPause; }
    PillButton* stealthButton() const { return m_stealth; }
    PillButton* gearButton() const { return m_gear; }
    PillButton* sendButton() const { return m_send; }
    PillButton* prevButton() const { return m_prev; }
    PillButton* nextButton() const { return m_next; }
    QPushButton* offerButton() const { return m_offer; }
    PillButton* dismissOfferButton() const { return m_dismissOffer; }
    // Given with onNever: turns the offer down for good, where the cross only puts it off.
    QPushButton* neverOfferButton() const { return m_neverOffer; }
    QPushButton* askAgainButton() const { return m_askAgain; }
    bool isStealth() const { return m_isStealth; }
    bool canHideFromCapture() const { return m_canHideFromCapture; }
    bool isPushToTalking() const { return m_isPushToTalking; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void buildViews();
    void bindSession();
    void presentState(SessionManager::State state);
    void presentLook(SessionManager::State state);
    void showPage(const std::optional<QAPair>& pair);
    void showHeard();
    // Prompts and messages are drawn as they are; answers as Markdown.
    void setAnswer(const QString& text, const QColor& color);
    void showAnswer(const QString& markdown);
    void copyWithFeedback(const QString& text);
    // The last code block of the answer shown, when it has one with something in it.
    std::optional<QString> shownCode() const;
    void setStatus(const QString& text, const QColor& color);
    void setDot(bool visible, const QColor& color);
    void startClock();
    void stopClock();
    void tick();
    void releasePushToTalk();
    void updateHistoryUI();
    void showScreenshotCount(int count);
    void showAnswerStyle();
    void showLook(const PanelLook& look);
    PillButton* makePillButton(const QString& symbol, std::function<void()> action);

    std::shared_ptr<SessionManager> m_session;
    MainQueue& m_mainQueue;
    Workspace& m_workspace;

    QWidget* m_container = nullptr;
    MarkdownView* m_answerView = nullptr;
    QWidget* m_offerRow = nullptr;
    QPushButton* m_offer = nullptr;
    PillButton* m_dismissOffer = nullptr;
    QPushButton* m_neverOffer = nullptr;
    std::function<void()> m_neverAgain;
    QPushButton* m_askAgain = nullptr;
    bool m_showsProblem = false;
    // The user paged back to an earlier answer, which the panel shows with its own question.
    bool m_pagedBack = false;
    QString m_liveTranscript;
    // "You: ..." while the candidate's own words are being heard; shown before the live line.
    QString m_candidateLine;
    std::function<void()> m_acceptOffer;
    std::function<void()> m_declineOffer;
    ElidingLabel* m_hearingLabel = nullptr;
    QLabel* m_timerLabel = nullptr;
    QWidget* m_statusDot = nullptr;
    QColor m_statusDotColor = Qt::transparent;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_pttIndicator = nullptr;
    QLabel* m_styleLabel = nullptr;
    QLabel* m_historyLabel = nullptr;
    QLabel* m_screenshotBadge = nullptr;
    PillButton* m_prev = nullptr;
    PillButton* m_next = nullptr;
    PillButton* m_send = nullptr;
    PillButton* m_playPause = nullptr;
    PillButton* m_stealth = nullptr;
    PillButton* m_gear = nullptr;

    // What the answer area showed when the last question went out, shown again if the model
    // takes the question for small talk.
    struct Shown {
        QString text;
        bool isMarkdown = false;
        QColor color;
    };
    std::optional<Shown> m_beforeQuestion;

    bool m_isStealth = true;
    bool m_canHideFromCapture = true;
    bool m_stepsAside = false;
    std::unique_ptr<Timer> m_sessionTimer;
    std::optional<MainQueue::TimePoint> m_sessionStart;
    bool m_isPushToTalking = false;
};

}  // namespace orvane
