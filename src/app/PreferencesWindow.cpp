// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/PreferencesWindow.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>
#include <thread>
#include <tuple>

#include "accounts/AuthManager.h"
#include "app/AnswersView.h"
#include "app/TranscriptionServerView.h"
#include "orvane/BuildConfig.h"
#include "overlay/FloatingPanelWindow.h"
#include "overlay/LineLimitedLabel.h"
#include "overlay/UIHelpers.h"
#include "session/DesktopShortcuts.h"

namespace orvane {

namespace {

constexpr int kWidth = 500;
constexpr int kHeight = 800;

// "tiny.en: 75 MB, English only, about 0.4 s a question here"
QString describe(const CatalogModel& model) {
    const auto seconds = model.estimatedSeconds(std::thread::hardware_concurrency());
    return QStringLiteral("%1: %2 MB, %3, about %4 s a question here")
        .arg(QString::fromStdString(model.name))
        .arg(model.megabytes)
        .arg(model.englishOnly ? "English only" : "many languages")
        .arg(seconds < 1 ? QString::number(seconds, 'f', 1) : QString::number(seconds, 'f', 0));
}

QString describe(const std::string& id) {
    for (const auto& binding : keyBindings()) {
        if (binding.id == id)
            return QString::fromUtf8(binding.action.data(), binding.action.size());
    }
    return QString::fromStdString(id);
}

QString serviceNote(AnswerSettings::Source source) {
    using Source = AnswerSettings::Source;
    switch (source) {
        case Source::offline:
            return "Answers come from the offline samples of Orvane's own answer service on this "
                   "computer: no API key is needed.";
        case Source::anthropic:
        case Source::openai:
            return QStringLiteral(
                       "Answers come from %1 through Orvane's own answer service on this "
                       "computer, paid with your API key below.")
                .arg(QString::fromUtf8(AnswerSettings::title(source).data()));
        case Source::openaiCompatible:
            return "Answers come from the model server below, through Orvane's own answer "
                   "service; give a key only if that server asks for one.";
    }
    return {};
}

// The text of the panel's own keys, from the key table.
QString panelKeys() {
    QStringList lines = {"Keys on the panel:"};
    for (const auto& binding : keyBindings()) {
        if (binding.where != KeyBinding::Where::panel) continue;
        lines << QStringLiteral("    %1: %2")
                     .arg(QString::fromUtf8(binding.action.data(), binding.action.size()),
                          FloatingPanelWindow::keyText(binding.id));
    }
    return lines.join('\n');
}

}  // namespace

PreferencesWindow::PreferencesWindow(const AuthManager& auth, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    setWindowTitle("Preferences");
    moveByBackground(this);
    setupContent(auth);
    fitToScreen();
}

void PreferencesWindow::fitToScreen() {
    // Its usual size where that fits, with room for the desktop's title bar; the content scrolls
    // on a smaller (or more scaled) screen.
    const auto* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, kWidth, kHeight);
    constexpr int kTitleBar = 40;
    const QSize size(std::min(kWidth, available.width() - 16),
                     std::min(kHeight, available.height() - kTitleBar - 16));
    setMinimumWidth(std::min(380, size.width()));
    resize(size);
    const QPoint centred = available.center() - QPoint(size.width() / 2, size.height() / 2);
    move(std::max(centred.x(), available.left()),
         std::max(centred.y(), available.top() + kTitleBar));
}

void PreferencesWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreferencesWindow::setupContent(const AuthManager& auth) {
    m_account = UI::label("Account", 22, QFont::Bold, UI::labelColor());
    const auto name = auth.userName().value_or("User");
    m_signedIn = UI::label(QString::fromStdString("Signed in as " + name), 14, QFont::Medium,
                           UI::secondaryLabelColor());
    m_service = new LineLimitedLabel(3);
    m_service->setFont(UI::ubuntu(13, QFont::Normal));
    QPalette palette = m_service->palette();
    palette.setColor(QPalette::WindowText, UI::tertiaryLabelColor());
    m_service->setPalette(palette);
    m_service->setFullText(
        QString::fromUtf8("AI chat is powered by the Orvane backend.\n"
                          "No API key required \u2014 your account handles it."));
    m_answers = new AnswersView;
    m_transcription = new TranscriptionServerView;
    // What is true for the answers chosen: a key is the user's to give where the source needs one.
    m_answers->onSourceShown = [this](AnswerSettings::Source source) {
        m_service->setFullText(serviceNote(source));
    };
    m_version =
        UI::label(QStringLiteral("Orvane Desktop v%1")
                      .arg(QString::fromUtf8(buildconfig::version.data(),
                                             static_cast<int>(buildconfig::version.size()))),
                  11, QFont::Normal, UI::tertiaryLabelColor());
    m_shortcuts = UI::label(panelKeys() + "\nGlobal shortcuts: waiting for the desktop...", 12,
                            QFont::Normal, UI::secondaryLabelColor());
    m_shortcuts->setTextFormat(Qt::PlainText);
    m_shortcuts->setWordWrap(true);
    m_sharing = UI::label("", 12, QFont::Normal, UI::secondaryLabelColor());
    m_sharing->setTextFormat(Qt::PlainText);
    m_sharing->setWordWrap(true);
    m_testShare = new QPushButton("Test a Share");
    m_testShare->setFont(UI::ubuntu(12, QFont::Normal));
    m_testShare->hide();
    connect(m_testShare, &QPushButton::clicked, this, [this] {
        if (onTestShare) onTestShare();
    });
    m_shareTest = UI::label("", 12, QFont::Normal, UI::secondaryLabelColor());
    m_shareTest->setTextFormat(Qt::PlainText);
    m_shareTest->setWordWrap(true);
    m_hearing = UI::label("Hearing: PocketSphinx", 12, QFont::Normal, UI::secondaryLabelColor());
    m_hearing->setTextFormat(Qt::PlainText);
    m_hearing->setWordWrap(true);
    m_speechModels = new QComboBox;
    m_speechModels->setFont(UI::ubuntu(12, QFont::Normal));
    m_speechModels->setAccessibleName("Second pass");
    m_addModel = new QPushButton("Add Model File...");
    m_addModel->setFont(UI::ubuntu(12, QFont::Normal));
    askForModelFile = [this]() -> std::optional<std::filesystem::path> {
        const auto file = QFileDialog::getOpenFileName(this, "Add a Whisper Model", QString(),
                                                       "Whisper models (*.bin);;All files (*)");
        if (file.isEmpty()) return std::nullopt;
        return std::filesystem::path(file.toStdString());
    };
    connect(m_speechModels, &QComboBox::activated, this, [this](int index) {
        if (m_listingModels || !onChooseSpeechModel) return;
        const auto path = m_speechModels->itemData(index).toString();
        onChooseSpeechModel(path.isEmpty()
                                ? std::nullopt
                                : std::optional(std::filesystem::path(path.toStdString())));
    });
    connect(m_addModel, &QPushButton::clicked, this, [this] {
        if (!askForModelFile) return;
        if (const auto file = askForModelFile(); file && onAddSpeechModelFile) {
            onAddSpeechModelFile(*file);
        }
    });
    m_outputs = new QComboBox;
    m_inputs = new QComboBox;
    for (auto [box, name] : {std::pair{m_outputs, "Hear the computer from"},
                             std::pair{m_inputs, "Push-to-talk microphone"}}) {
        box->setFont(UI::ubuntu(12, QFont::Normal));
        box->setAccessibleName(name);
        box->addItem("Default (follows the system)", QString());
        connect(box, &QComboBox::activated, this, [this] { chooseSoundDevices(); });
    }
    m_hearMeToo = new QCheckBox("Hear me too");
    m_hearMeToo->setFont(UI::ubuntu(12, QFont::Normal));
    m_hearMeToo->setStyleSheet(
        QStringLiteral("QCheckBox { color: %1; }").arg(UI::labelColor().name(QColor::HexArgb)));
    m_hearMeToo->setToolTip(
        "While a session runs, the microphone is heard too, with the computer's sound taken out. "
        "What you say shows as \"You: ...\" and follow-ups are answered knowing it; it never "
        "asks a question by itself.");
    connect(m_hearMeToo, &QCheckBox::toggled, this, [this] { chooseSoundDevices(); });
    auto* devices = new QGridLayout;
    devices->setHorizontalSpacing(8);
    devices->setColumnStretch(1, 1);
    devices->addWidget(UI::label("Interviewer", 12, QFont::Normal, UI::secondaryLabelColor()), 0,
                       0);
    devices->addWidget(m_outputs, 0, 1);
    devices->addWidget(UI::label("Microphone", 12, QFont::Normal, UI::secondaryLabelColor()), 1, 0);
    devices->addWidget(m_inputs, 1, 1);
    // A thin meter: enough to see that the call's voice is what is heard.
    m_level = new QProgressBar;
    m_level->setRange(0, 100);
    m_level->setTextVisible(false);
    m_level->setFixedHeight(6);
    m_level->setAccessibleName("Level of what Orvane hears");
    m_level->setStyleSheet(
        "QProgressBar { background: rgba(255,255,255,20); border: none; border-radius: 3px; }"
        "QProgressBar::chunk { background: rgba(204,120,92,220); border-radius: 3px; }");
    devices->addWidget(UI::label("Level", 12, QFont::Normal, UI::secondaryLabelColor()), 2, 0);
    devices->addWidget(m_level, 2, 1);
    m_lastHeard = UI::label("", 12, QFont::Normal, UI::tertiaryLabelColor());
    m_lastHeard->setTextFormat(Qt::PlainText);
    m_lastHeard->setWordWrap(true);
    devices->addWidget(m_lastHeard, 3, 0, 1, 2);
    devices->addWidget(m_hearMeToo, 4, 0, 1, 2);
    auto* modelRow = new QHBoxLayout;
    modelRow->setSpacing(8);
    modelRow->addWidget(m_speechModels, 1);
    modelRow->addWidget(m_addModel);

    m_downloadModels = new QComboBox;
    m_downloadModels->setFont(UI::ubuntu(12, QFont::Normal));
    m_downloadModels->setAccessibleName("Model to download");
    m_downloadProgress = new QProgressBar;
    m_downloadProgress->setFont(UI::ubuntu(12, QFont::Normal));
    m_downloadProgress->hide();
    m_download = new QPushButton("Download");
    m_download->setFont(UI::ubuntu(12, QFont::Normal));
    connect(m_download, &QPushButton::clicked, this, [this] {
        if (m_downloading) {
            if (onCancelSpeechModelDownload) onCancelSpeechModelDownload();
            return;
        }
        const auto name = m_downloadModels->currentData().toString();
        if (!name.isEmpty() && onDownloadSpeechModel) onDownloadSpeechModel(name.toStdString());
    });
    // A model's long description must not widen the window past the screen: the list shows it.
    for (auto* box : {m_speechModels, m_downloadModels}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(16);
    }
    auto* downloadRow = new QHBoxLayout;
    downloadRow->setSpacing(8);
    downloadRow->addWidget(m_downloadModels, 1);
    downloadRow->addWidget(m_downloadProgress, 1);
    downloadRow->addWidget(m_download);

    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(32, 24, 32, 24);
    stack->setSpacing(0);
    stack->addWidget(m_account);
    stack->addSpacing(16);
    stack->addWidget(m_signedIn);
    stack->addSpacing(16);
    stack->addWidget(m_service);
    stack->addSpacing(16);
    stack->addWidget(m_answers);
    stack->addSpacing(20);
    stack->addWidget(m_hearing);
    stack->addSpacing(8);
    stack->addLayout(devices);
    stack->addSpacing(8);
    stack->addLayout(modelRow);
    stack->addSpacing(8);
    stack->addLayout(downloadRow);
    stack->addSpacing(12);
    stack->addWidget(m_transcription);
    stack->addSpacing(20);
    stack->addWidget(m_shortcuts);
    stack->addSpacing(20);
    stack->addWidget(m_sharing);
    stack->addSpacing(8);
    auto* shareTestRow = new QHBoxLayout;
    shareTestRow->setSpacing(8);
    shareTestRow->addWidget(m_testShare);
    shareTestRow->addWidget(m_shareTest, 1);
    stack->addLayout(shareTestRow);
    stack->addSpacing(20);
    stack->addWidget(m_version);
    stack->addStretch();

    auto* scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(scroll);
    // Inputs as dark as the window they sit in; the desktop's own are often light.
    setStyleSheet(
        "QComboBox, QLineEdit { background: #2a2725; color: rgba(255,255,255,220); border: 1px "
        "solid rgba(255,255,255,40); border-radius: 5px; padding: 3px 6px; }"
        "QComboBox QAbstractItemView { background: #2a2725; color: rgba(255,255,255,220); "
        "selection-background-color: rgba(204,120,92,120); }"
        "QComboBox:focus, QLineEdit:focus { border-color: rgba(230,150,120,230); }"
        "QPushButton { background: #34302d; color: rgba(255,255,255,220); border: 1px solid "
        "rgba(255,255,255,50); border-radius: 5px; padding: 4px 12px; }"
        "QPushButton:focus { border-color: rgba(230,150,120,230); }"
        "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }");
}

void PreferencesWindow::showLevel(double level) {
    m_level->setValue(static_cast<int>(std::lround(level * 100)));
}

void PreferencesWindow::showLastHeard(const QString& question) {
    m_lastHeard->setText(question.isEmpty()
                             ? QString()
                             : QStringLiteral("Last heard: \u201c%1\u201d").arg(question));
}

void PreferencesWindow::showSoundProblem(const QString& problem) {
    m_level->setValue(0);
    m_lastHeard->setText(UI::breakable("Nothing can be heard: " + problem));
}

void PreferencesWindow::showSharing(const QString& note, bool testable) {
    m_sharing->setText(note);
    m_testShare->setVisible(testable);
    if (testable && m_shareTest->text().isEmpty()) {
        m_shareTest->setText("Shares the screen for a few seconds, as a call would.");
    }
}

void PreferencesWindow::showShareTest(const QString& line, bool running) {
    m_shareTest->setText(line);
    m_testShare->setText(running ? "Stop the Test" : "Test a Share");
}

void PreferencesWindow::showShortcuts(const ShortcutBindings& bindings) {
    QStringList lines = {panelKeys()};
    lines << (bindings.via.empty() ? QStringLiteral("Global shortcuts: none on this desktop")
                                   : QStringLiteral("Global shortcuts, through %1:")
                                         .arg(QString::fromStdString(bindings.via)));
    for (const auto& wanted : desktopShortcuts()) {
        QString keys = "not bound";
        for (const auto& bound : bindings.bound) {
            if (bound.id == wanted.id) keys = QString::fromStdString(bound.trigger);
        }
        if (bindings.via.empty()) continue;
        lines << QStringLiteral("    %1: %2").arg(describe(wanted.id), keys);
    }
    if (!bindings.problem.empty()) lines << QString::fromStdString(bindings.problem);
    if (bindings.bound.size() < desktopShortcuts().size()) {
        lines << "In the desktop's keyboard settings, keys can run orvane --screenshot, "
                 "--copy-answer or --toggle-panel instead.";
    }
    m_shortcuts->setText(lines.join('\n'));
}

void PreferencesWindow::showHearing(const SpeechEngines::Status& status) {
    QString text = QStringLiteral("Hearing: %1").arg(QString::fromStdString(status.engines));
    if (status.loading) text += "\nLoading the Whisper model...";
    if (!status.problem.empty()) text += "\n" + QString::fromStdString(status.problem);
    m_hearing->setText(UI::breakable(text));
    m_listingModels = true;
    m_speechModels->clear();
    m_speechModels->addItem("PocketSphinx alone", QString());
    auto models = status.models;
    if (status.selected &&
        std::find(models.begin(), models.end(), *status.selected) == models.end()) {
        models.push_back(*status.selected);
    }
    for (const auto& model : models) {
        m_speechModels->addItem(QStringLiteral("Then Whisper: %1")
                                    .arg(QString::fromStdString(model.filename().string())),
                                QString::fromStdString(model.string()));
        if (status.selected == model) m_speechModels->setCurrentIndex(m_speechModels->count() - 1);
    }
    if (!status.selected) m_speechModels->setCurrentIndex(0);
    m_listingModels = false;

    // The catalog's models not yet installed, to download; while one downloads, its progress.
    m_downloading = status.download.has_value();
    const auto wanted = m_downloadModels->currentData().toString();
    m_downloadModels->clear();
    for (const auto& model : ModelCatalog::models()) {
        const bool installed =
            std::any_of(status.models.begin(), status.models.end(),
                        [&](const auto& path) { return path.filename() == model.fileName(); });
        if (installed) continue;
        m_downloadModels->addItem(describe(model), QString::fromStdString(model.name));
        if (wanted == QString::fromStdString(model.name)) {
            m_downloadModels->setCurrentIndex(m_downloadModels->count() - 1);
        }
    }
    m_downloadModels->setVisible(!m_downloading);
    m_downloadProgress->setVisible(m_downloading);
    m_download->setText(m_downloading ? "Cancel" : "Download");
    m_download->setEnabled(m_downloading || m_downloadModels->count() > 0);
    if (m_downloading) {
        const auto& download = *status.download;
        const auto name = [](const auto& d) { return QString::fromStdString(d.model); };
        const int percent = download.total && *download.total > 0
                                ? static_cast<int>(download.bytes * 100 / *download.total)
                                : 0;
        m_downloadProgress->setRange(0, 100);
        m_downloadProgress->setValue(percent);
        // "%p" is the bar's own percentage.
        m_downloadProgress->setFormat(
            download.total ? QStringLiteral("Downloading %1: %p%").arg(name(download))
                           : QStringLiteral("Downloading %1: %2 MB")
                                 .arg(name(download))
                                 .arg(download.bytes >> 20));
    }
}

void PreferencesWindow::showSoundDevices(const std::vector<SoundDevice>& outputs,
                                         const std::vector<SoundDevice>& inputs,
                                         const SoundChoice& chosen) {
    m_listingModels = true;
    for (auto [box, devices, name] :
         {std::tuple{m_outputs, &outputs, &chosen.output}, {m_inputs, &inputs, &chosen.input}}) {
        while (box->count() > 1) box->removeItem(1);
        bool listed = name->empty();
        for (const auto& device : *devices) {
            box->addItem(QString::fromStdString(device.description),
                         QString::fromStdString(device.name));
            listed = listed || device.name == *name;
        }
        // A chosen device that is away (a headset unplugged) stays chosen, and says so.
        if (!listed) {
            box->addItem(QStringLiteral("%1 (not connected)").arg(QString::fromStdString(*name)),
                         QString::fromStdString(*name));
        }
        box->setCurrentIndex(std::max(0, box->findData(QString::fromStdString(*name))));
    }
    m_hearMeToo->setChecked(chosen.hearMeToo);
    m_listingModels = false;
}

void PreferencesWindow::chooseSoundDevices() {
    if (m_listingModels || !onChooseSoundDevices) return;
    onChooseSoundDevices({m_outputs->currentData().toString().toStdString(),
                          m_inputs->currentData().toString().toStdString(),
                          m_hearMeToo->isChecked()});
}

void PreferencesWindow::paintEvent(QPaintEvent*) {
    // The desktop draws the title bar; the content sits on Orvane's dark fill.
    QPainter painter(this);
    painter.fillRect(rect(), UI::withOpacity(UI::panelBg(), 1.0));
}

void PreferencesWindow::closeEvent(QCloseEvent* event) {
    if (onClose) onClose();
    event->accept();
}

}  // namespace orvane
