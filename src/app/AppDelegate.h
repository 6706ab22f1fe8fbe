// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/ShareCheck.h"
#include "app/SoundCheck.h"
#include "app/SoundChoice.h"
#include "app/SpeechEngines.h"
#include "app/StatusIcon.h"
#include "overlay/ContextSheet.h"
#include "platform/BackgroundQueue.h"
#include "platform/DocumentReader.h"
#include "platform/GlobalShortcuts.h"
#include "platform/ShareWatcher.h"
#include "platform/SoundDevices.h"
#include "session/SessionManager.h"

namespace orvane {

class Answers;
class TranscriptionServers;
class FloatingPanelWindow;
class LoginWindow;
class PreferencesWindow;

// Windows are released with deleteLater, so one may be dropped from inside its own callback.
struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};
template <class Window>
using WindowPtr = std::unique_ptr<Window, DeleteLater>;

// The application's controller: shows the sign-in window or the overlay, wires the windows and
// the status icon to each other, and creates and releases the windows. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Everything a session needs; the services outlive the delegate.
    AppDelegate(SessionServices services, SessionConfig sessionConfig);
    ~AppDelegate() override;

    // Each session once its panel is built, before it is shown (for tracing).
    std::function<void(SessionManager&)> onSessionCreated;
    std::function<void()> onSignedOut;
    // A sign-in redirect handed over by another `orvane URL`; answers whether a sign-in took it.
    std::function<bool(const QString& url)> onRedirect;
    // Ends the application; by default the Qt event loop quits.
    std::function<void()> onQuit;
    // Whether the desktop shows status icons; where it does not, the panel's menu takes over
    // About and Quit.
    std::function<bool()> statusAreaAvailable;
    // Where the window manager does not keep a window above the others (wlroots desktops, seen
    // through XWayland), the panel is left out of its management, where nothing covers it.
    bool panelBypassesWindowManager = false;
    // Asks where to save the interview that ended, starting from the suggested file; empty when
    // the user thinks better of it. A file dialog unless set.
    std::function<QString(const QString& suggested)> chooseInterviewFile;

    // Binds the panel's global shortcuts through these once launched. Call before launching;
    // the shortcuts outlive the delegate.
    void useGlobalShortcuts(GlobalShortcuts& shortcuts) { m_shortcuts = &shortcuts; }
    // Says which engines hear in Preferences, and lets the user choose there; starts them once
    // launched. The engines outlive the delegate.
    void useSpeechEngines(SpeechEngines& engines) { m_speechEngines = &engines; }
    // The server the question may be heard with, set in Preferences.
    void useTranscriptionServers(TranscriptionServers& servers) { m_transcription = &servers; }
    // Where sound can be heard from, and the file the user's choice is kept in.
    void useSoundDevices(SoundDevices& devices, std::filesystem::path choiceFile);
    void chooseSoundDevices(SoundChoice choice);
    const SoundChoice& soundChoice() const { return m_soundChoice; }
    // Tells when the screen is shared, so that Orvane's windows step aside where the desktop
    // cannot leave them out of it. Call before launching; the watcher outlives the delegate.
    void useShareWatcher(ShareWatcher& watcher) { m_shareWatcher = &watcher; }
    static constexpr const char* hiddenWhileShared = "Hidden while your screen is shared";
    // Lets Preferences start a test share, where the desktop can make one; the trial outlives the
    // delegate.
    void useShareTrial(ShareTrial& trial) { m_shareTrial = &trial; }
    // Reads the CV and job description the context sheet is given, on the queue; both outlive
    // the delegate.
    void useDocumentReader(DocumentReader& reader, BackgroundQueue& queue) {
        m_documentReader = &reader;
        m_documentQueue = &queue;
    }
    // Where answers come from, set in Preferences.
    void useAnswers(Answers& answers) { m_answers = &answers; }
    // Says on the panel (or the sign-in window) why answers cannot be had.
    void showServiceProblem(const QString& problem);
    // What the desktop bound, once it has answered.
    const std::optional<ShortcutBindings>& shortcutBindings() const { return m_bindings; }

    void applicationDidFinishLaunching();
    // The user asked for Orvane again (a second launch): the panel comes forward when there is
    // one. Always answers false.
    bool applicationShouldHandleReopen();
    // A second launch while signed out also brings the sign-in window back if it was closed.
    void handleActivation();

    // A message from another `orvane` process: "open URL", "activate", "sign-in",
    // "toggle-session", "sign-out", or a panel command: "screenshot", "copy-answer",
    // "toggle-panel". Answers false for a message it does not know.
    bool handleMessage(const QString& message);

    void showLogin();
    void transitionToPanel();
    void showPreferences();
    void showContextSheet();
    void toggleSession();
    void handleSignOut();
    void handlePreferencesMenu();
    void showAbout();
    void quit();
    // Hides the panel, or brings it back.
    void togglePanel();

    LoginWindow* loginWindow() const { return m_loginWindow.get(); }
    FloatingPanelWindow* floatingPanel() const { return m_floatingPanel.get(); }
    PreferencesWindow* preferencesWindow() const { return m_preferencesWindow.get(); }
    ContextSheet* contextSheet() const { return m_contextSheet; }
    QMessageBox* aboutBox() const { return m_aboutBox; }
    StatusIcon& statusIcon() { return m_statusIcon; }

    static QString aboutText();

private:
    // Ctrl+, Ctrl+Q, Ctrl+M and Ctrl+W on one of Orvane's windows.
    void installWindowCommands(QWidget* window);
    void bringToFront(QWidget* window);
    void bindGlobalShortcuts();
    void startSpeechEngines();
    // A session started while PocketSphinx hears alone: the panel offers a Whisper model, and
    // once the user takes it, says how its download goes.
    void offerSpeechModel();
    void offerOnFirstSession();
    void followTakenOffer(const SpeechEngines::Status& status);
    // A session that ended with questions in it offers, on the panel, to be saved.
    void offerToSaveInterview();
    void watchForShares();
    QString sharingNote() const;
    // Starts a test share from Preferences, or stops the one under way.
    void testShare();
    // Hides the windows that are open while stealth is on and a share is seen; brings them back
    // after.
    void stepAsideFromShares();
    // Shows in Preferences how loud what Orvane hears is, from the output chosen now.
    void checkSound();
    bool hidesFromShare() const;
    void saveInterview();
    // A shortcut or command for the panel; false for one it does not know.
    bool runPanelCommand(const std::string& command);

    SessionServices m_services;
    SessionConfig m_sessionConfig;
    WindowPtr<LoginWindow> m_loginWindow;
    WindowPtr<FloatingPanelWindow> m_floatingPanel;
    WindowPtr<PreferencesWindow> m_preferencesWindow;
    QPointer<ContextSheet> m_contextSheet;
    QPointer<QMessageBox> m_aboutBox;
    StatusIcon m_statusIcon;
    GlobalShortcuts* m_shortcuts = nullptr;
    std::optional<ShortcutBindings> m_bindings;
    SpeechEngines* m_speechEngines = nullptr;
    TranscriptionServers* m_transcription = nullptr;
    SoundDevices* m_soundDevices = nullptr;
    std::filesystem::path m_soundChoiceFile;
    SoundChoice m_soundChoice;
    bool m_offerTaken = false;
    bool m_contextOffered = false;
    bool m_interviewOffered = false;
    Answers* m_answers = nullptr;
    DocumentReader* m_documentReader = nullptr;
    ShareWatcher* m_shareWatcher = nullptr;
    bool m_shareSeen = false;
    ShareTrial* m_shareTrial = nullptr;
    std::unique_ptr<ShareTest> m_shareTest;
    std::vector<QPointer<QWidget>> m_steppedAside;
    // While Preferences is open.
    std::unique_ptr<SoundCheck> m_soundCheck;
    BackgroundQueue* m_documentQueue = nullptr;
};

}  // namespace orvane
