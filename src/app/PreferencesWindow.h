// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <functional>

#include "app/SoundChoice.h"
#include "app/SpeechEngines.h"
#include "platform/GlobalShortcuts.h"
#include "platform/SoundDevices.h"

namespace orvane {

class AnswersView;
class TranscriptionServerView;
class AuthManager;
class LineLimitedLabel;

// A small window naming the signed-in user, saying where answers come from (and setting it),
// saying which engines hear (with the choice of a Whisper model), listing the global shortcuts and
// showing the version. The name is the one known when the
// window is built.
class PreferencesWindow : public QWidget {
    Q_OBJECT
public:
    explicit PreferencesWindow(const AuthManager& auth, QWidget* parent = nullptr);

    // Lists the global shortcuts the desktop bound, and says why any are missing.
    void showShortcuts(const ShortcutBindings& bindings);
    // What a screen share shows of Orvane on this desktop, and whether a test share can be made.
    void showSharing(const QString& note, bool testable);
    // Where the test share is; running: it can be stopped.
    void showShareTest(const QString& line, bool running);
    QLabel* sharingLabel() const { return m_sharing; }
    QPushButton* testShareButton() const { return m_testShare; }
    QLabel* shareTestLabel() const { return m_shareTest; }

    // Says which engines hear and lists the models to choose from.
    void showHearing(const SpeechEngines::Status& status);
    // Lists the outputs and inputs the sound server offers, the chosen ones selected (empty:
    // "Default").
    void showSoundDevices(const std::vector<SoundDevice>& outputs,
                          const std::vector<SoundDevice>& inputs, const SoundChoice& chosen);

    std::function<void()> onTestShare;
    // Called as the window closes, before it is hidden.
    std::function<void()> onClose;
    // The user chose a model (nullopt: PocketSphinx alone), or picked a model file to add.
    std::function<void(std::optional<std::filesystem::path>)> onChooseSpeechModel;
    std::function<void(std::filesystem::path)> onAddSpeechModelFile;
    // The user asked for a model of the catalog to be downloaded ("tiny.en"), or for the download
    // under way to stop.
    std::function<void(std::string)> onDownloadSpeechModel;
    std::function<void()> onCancelSpeechModelDownload;
    // The user chose where to hear from; empty names follow the defaults.
    std::function<void(SoundChoice)> onChooseSoundDevices;
    // Asks for a model file; a test puts its own in place of the file dialog.
    std::function<std::optional<std::filesystem::path>()> askForModelFile;

    QLabel* accountLabel() const { return m_account; }
    QLabel* signedInLabel() const { return m_signedIn; }
    LineLimitedLabel* serviceLabel() const { return m_service; }
    QLabel* versionLabel() const { return m_version; }
    QLabel* shortcutsLabel() const { return m_shortcuts; }
    QLabel* hearingLabel() const { return m_hearing; }
    // How loud what the computer plays is, now (0 to 1), and the last question heard; or why
    // nothing can be heard.
    void showLevel(double level);
    void showLastHeard(const QString& question);
    void showSoundProblem(const QString& problem);
    QProgressBar* levelMeter() const { return m_level; }
    QLabel* lastHeardLabel() const { return m_lastHeard; }
    QComboBox* speechModelBox() const { return m_speechModels; }
    QPushButton* addModelButton() const { return m_addModel; }
    QComboBox* downloadModelBox() const { return m_downloadModels; }
    QPushButton* downloadButton() const { return m_download; }
    QProgressBar* downloadProgress() const { return m_downloadProgress; }
    AnswersView* answersView() const { return m_answers; }
    TranscriptionServerView* transcriptionView() const { return m_transcription; }
    QComboBox* outputBox() const { return m_outputs; }
    QComboBox* inputBox() const { return m_inputs; }
    QCheckBox* hearMeTooBox() const { return m_hearMeToo; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Escape closes it.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setupContent(const AuthManager& auth);
    void fitToScreen();
    void chooseSoundDevices();

    QLabel* m_account = nullptr;
    QLabel* m_signedIn = nullptr;
    LineLimitedLabel* m_service = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_sharing = nullptr;
    QPushButton* m_testShare = nullptr;
    QLabel* m_shareTest = nullptr;
    QLabel* m_shortcuts = nullptr;
    QLabel* m_hearing = nullptr;
    QProgressBar* m_level = nullptr;
    QLabel* m_lastHeard = nullptr;
    QComboBox* m_speechModels = nullptr;
    QPushButton* m_addModel = nullptr;
    QComboBox* m_downloadModels = nullptr;
    QPushButton* m_download = nullptr;
    QProgressBar* m_downloadProgress = nullptr;
    bool m_downloading = false;
    AnswersView* m_answers = nullptr;
    TranscriptionServerView* m_transcription = nullptr;
    bool m_listingModels = false;
    QComboBox* m_outputs = nullptr;
    QComboBox* m_inputs = nullptr;
    QCheckBox* m_hearMeToo = nullptr;
};

}  // namespace orvane
