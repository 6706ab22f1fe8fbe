// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTest>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "accounts/ui/LoginWindow.h"
#include "app/AppDelegate.h"
#include "app/PreferencesWindow.h"
#include "app/SpeechEngines.h"
#include "capture/ScreenshotCapture.h"
#include "fakes/EventStream.h"
#include "overlay/ContextSheet.h"
#include "overlay/FloatingPanelWindow.h"
#include "overlay/PillButton.h"
#include "overlay/UIHelpers.h"
#include "platform/ShareWatcher.h"
#include "session/DesktopShortcuts.h"
#include "ui/AppHarness.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

using State = SessionManager::State;

QAction* command(QWidget* window, const QKeySequence& keys) {
    for (auto* action : window->actions()) {
        if (action->shortcut() == keys) return action;
    }
    return nullptr;
}

class Shell : public ::testing::Test {
protected:
    Shell() : app(h.services(), AppHarness::sessionConfig()) {
        app.onQuit = [this] { ++quits; };
        app.onSessionCreated = [this](SessionManager& session) { sessions.push_back(&session); };
    }
    ~Shell() override { AppHarness::releaseDroppedWindows(); }

    // Launched with an access token held: the panel shows at once.
    void launchSignedIn() {
        h.auth.setAccessToken("held");
        app.applicationDidFinishLaunching();
    }
    void startListening() {
        app.floatingPanel()->toggleSession();
        h.mainQueue.runUntilIdle();
        h.background.runAll();
        h.mainQueue.runUntilIdle();
    }
    // The panel's offer line as one line, however it wraps.
    QString offerText() const {
        return app.floatingPanel()->offerButton()->text().replace('\n', ' ');
    }
    void signInThroughTheLoginWindow(const std::string& name = "Ada") {
        ASSERT_NE(app.loginWindow(), nullptr);
        app.loginWindow()->signInGoogle();
        h.completeGoogleSignIn({{"id", "u1"}, {"firstName", name}});
        h.mainQueue.advance(LoginWindow::welcomeDelaySeconds);
    }

    AppHarness h;
    // Outlives the delegate, as the application's own shortcuts do.
    ScriptedGlobalShortcuts shortcuts;
    AppDelegate app;
    int quits = 0;
    std::vector<SessionManager*> sessions;
};

// Signed out, in, out and in again: the login window alone, then the panel following its session,
// then a new login window with the panel and preferences gone, then a new, empty panel.
TEST_F(Shell, ALaunchSignedOutSignsInAndOutAndInAgain) {
    app.applicationDidFinishLaunching();
    ASSERT_NE(app.loginWindow(), nullptr);
    EXPECT_TRUE(app.loginWindow()->isVisible());
    EXPECT_EQ(app.floatingPanel(), nullptr);
    EXPECT_FALSE(app.statusIcon().isInstalled());
    EXPECT_EQ(app.statusIcon().state(), StatusIcon::State::idle);

    signInThroughTheLoginWindow();
    ASSERT_NE(app.floatingPanel(), nullptr);
    EXPECT_TRUE(app.floatingPanel()->isVisible());
    const QPointer<LoginWindow> firstLogin = app.loginWindow();
    ASSERT_FALSE(firstLogin.isNull()) << "the login window is hidden, not released";
    EXPECT_FALSE(firstLogin->isVisible());
    EXPECT_TRUE(app.statusIcon().isInstalled());
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0], &app.floatingPanel()->session());
    app.floatingPanel()->toggleSession();
    h.mainQueue.runUntilIdle();
    h.background.runAll();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(app.floatingPanel()->session().state(), State::listening);
    EXPECT_EQ(app.statusIcon().state(), StatusIcon::State::listening);
    EXPECT_EQ(app.statusIcon().startStopItem()->text(), "Stop Session");
    app.floatingPanel()->session().history().append("What is CAP?", "A trade-off.");

    app.showPreferences();
    app.showContextSheet();
    const QPointer<PreferencesWindow> preferences = app.preferencesWindow();
    const QPointer<FloatingPanelWindow> panel = app.floatingPanel();
    const QPointer<ContextSheet> sheet = app.contextSheet();
    app.handleSignOut();
    EXPECT_FALSE(h.auth.isAuthenticated());
    EXPECT_EQ(app.floatingPanel(), nullptr);
    EXPECT_EQ(app.preferencesWindow(), nullptr);
    ASSERT_NE(app.loginWindow(), nullptr);
    EXPECT_NE(app.loginWindow(), firstLogin.data());
    EXPECT_TRUE(app.loginWindow()->isVisible());
    EXPECT_EQ(app.statusIcon().state(), StatusIcon::State::idle);
    // The status icon stays; the windows go once the event loop runs.
    EXPECT_TRUE(app.statusIcon().isInstalled());
    AppHarness::releaseDroppedWindows();
    EXPECT_TRUE(panel.isNull());
    EXPECT_TRUE(preferences.isNull());
    EXPECT_TRUE(firstLogin.isNull());
    ASSERT_FALSE(sheet.isNull()) << "an open context sheet survives";
    EXPECT_TRUE(sheet->isVisible());
    sheet->handleSave();  // with no panel, only releases it
    AppHarness::releaseDroppedWindows();
    EXPECT_TRUE(sheet.isNull());

    signInThroughTheLoginWindow("Grace");
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(app.floatingPanel()->session().history().count(), 0);
    EXPECT_EQ(app.floatingPanel()->session().state(), State::idle);
}

// Launched with a token, the panel shows at once. The status icon, a reopen and a second launch
// bring a closed window back and change nothing else; signing out from the panel's own menu is
// safe.
TEST_F(Shell, ALaunchWithATokenShowsThePanelAndEveryWayBackFindsTheWindow) {
    launchSignedIn();
    EXPECT_EQ(app.loginWindow(), nullptr);
    auto* panel = app.floatingPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(app.statusIcon().isInstalled());
    for (int closed = 0; closed < 2; ++closed) {
        if (closed) panel->close();
        app.statusIcon().startStopItem()->trigger();
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(panel->session().state(), State::idle) << "only brought back";
    }
    panel->hide();
    EXPECT_FALSE(app.applicationShouldHandleReopen());
    EXPECT_TRUE(panel->isVisible());

    panel->onSignOut();
    AppHarness::releaseDroppedWindows();
    EXPECT_EQ(app.floatingPanel(), nullptr);
    auto* login = app.loginWindow();
    ASSERT_NE(login, nullptr);
    login->close();
    EXPECT_TRUE(app.handleMessage("activate"));
    EXPECT_TRUE(login->isVisible());
    login->hide();
    EXPECT_FALSE(app.applicationShouldHandleReopen());
    EXPECT_FALSE(login->isVisible()) << "without a panel a reopen does nothing";
}

// Open, Preferences shows how loud what Orvane hears is, from a capture of its own that stops
// with the window.
TEST_F(Shell, PreferencesOpenOnceAndAfreshAfterClosing) {
    launchSignedIn();
    app.showPreferences();
    auto* first = app.preferencesWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    app.handlePreferencesMenu();
    EXPECT_EQ(app.preferencesWindow(), first);
    h.background.runAll();
    ASSERT_EQ(h.audioSource.opens, 1);
    h.audioSource.handlers.onBuffer(AudioBuffer{48000, 1, {0.01f, -0.5f, 0.2f}});  // -6 dBFS
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(first->levelMeter()->value(), 90);

    first->close();
    // Let go only once the close has finished.
    EXPECT_EQ(app.preferencesWindow(), first);
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(app.preferencesWindow(), nullptr);
    h.background.runAll();
    EXPECT_EQ(*h.audioSource.streamStops[0], 2) << "the check's capture stopped and released";
    AppHarness::releaseDroppedWindows();
    app.showPreferences();
    ASSERT_NE(app.preferencesWindow(), nullptr);
    EXPECT_TRUE(app.preferencesWindow()->isVisible());
}

TEST_F(Shell, TheContextSheetSetsTheSessionsContextAndIsReleased) {
    launchSignedIn();
    app.floatingPanel()->onOpenContext();
    const QPointer<ContextSheet> first = app.contextSheet();
    ASSERT_FALSE(first.isNull());
    EXPECT_TRUE(first->isVisible());

    // A second sheet neither reuses nor closes the first.
    app.showContextSheet();
    const QPointer<ContextSheet> second = app.contextSheet();
    EXPECT_NE(first.data(), second.data());
    EXPECT_TRUE(first->isVisible());

    second->companyField()->setText("Acme");
    second->roleField()->setText("SRE");
    second->handleSave();
    EXPECT_EQ(app.floatingPanel()->session().systemContext(), "Company: Acme\nRole: SRE");
    AppHarness::releaseDroppedWindows();
    EXPECT_TRUE(second.isNull());
    EXPECT_EQ(app.contextSheet(), nullptr);
    EXPECT_FALSE(first.isNull());

    first->handleSkip();
    EXPECT_EQ(app.floatingPanel()->session().systemContext(), "");
}

// Nothing is kept on disk unless the user saves the interview that ended, to a file only they
// can read.
TEST_F(Shell, ASessionThatEndsOffersToSaveItsInterview) {
    launchSignedIn();
    auto* panel = app.floatingPanel();
    panel->session().setSystemContext("Company: Acme");
    const auto stop = [&] {
        panel->toggleSession();
        h.mainQueue.runUntilIdle();
    };
    startListening();
    stop();
    EXPECT_FALSE(panel->offerButton()->isVisibleTo(panel)) << "nothing was asked";

    startListening();
    panel->session().sendToLLM("what is a heap");
    h.mainQueue.runUntilIdle();
    const auto& call = h.http.streams.back();
    call.respond(200);
    call.feed(answerEvents("A tree with an order."));
    call.finish();
    h.mainQueue.runUntilIdle();
    stop();
    ASSERT_TRUE(panel->offerButton()->isVisibleTo(panel));
    EXPECT_EQ(offerText(), QString::fromUtf8("Save this interview\u2026"));

    const auto directory =
        std::filesystem::temp_directory_path() / ("orvane-interview-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    std::filesystem::create_symlink("/dev/null", directory / "planted.md");
    QString suggested;
    QString chosen = QString::fromStdString((directory / "planted.md").string());
    app.chooseInterviewFile = [&](const QString& offered) {
        suggested = offered;
        return chosen;
    };
    panel->offerButton()->click();
    EXPECT_TRUE(suggested.endsWith(".md")) << suggested.toStdString();
    EXPECT_TRUE(offerText().startsWith("Not saved.")) << "no link is followed";

    chosen = QString::fromStdString((directory / "interview.md").string());
    panel->offerButton()->click();
    EXPECT_TRUE(offerText().startsWith("Saved to "));
    std::ifstream saved(directory / "interview.md");
    const std::string text((std::istreambuf_iterator<char>(saved)), {});
    EXPECT_THAT(text, HasSubstr("> Company: Acme"));
    EXPECT_THAT(text, HasSubstr("what is a heap\n\nA tree with an order."));
    EXPECT_EQ(std::filesystem::status(directory / "interview.md").permissions() &
                  std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::remove_all(directory);

    startListening();
    EXPECT_FALSE(panel->offerButton()->isVisibleTo(panel)) << "the next interview begins";
}

// Where the desktop cannot leave Orvane out of a share but can tell of one, its windows step aside
// while stealth is on, and come back after.
TEST_F(Shell, WhileTheScreenIsSharedTheWindowsStepAside) {
    struct ScriptedShares : ShareWatcher {
        std::string method() const override { return "the test's sharing bar"; }
        void watch(std::function<void(bool)> changed) override { onChanged = std::move(changed); }
        std::function<void(bool)> onChanged;
    } shares;
    struct ScriptedTrial : ShareTrial {
        bool available() const override { return true; }
        void start(std::function<void()> sharing,
                   std::function<void(const std::string&)> ended) override {
            onSharing = std::move(sharing);
            onEnded = std::move(ended);
        }
        void stop() override { ++stops; }
        std::function<void()> onSharing;
        std::function<void(const std::string&)> onEnded;
        int stops = 0;
    } trial;
    h.workspace.canExcludeFromCapture = false;
    app.useShareWatcher(shares);
    app.useShareTrial(trial);
    launchSignedIn();
    auto* panel = app.floatingPanel();
    ASSERT_TRUE(panel->isStealth()) << "stealth means something here again";
    EXPECT_TRUE(panel->stealthButton()->toolTip().contains("the test's sharing bar"));
    app.showPreferences();
    EXPECT_TRUE(app.preferencesWindow()->sharingLabel()->text().contains("the test's sharing bar"));
    app.preferencesWindow()->hide();
    app.showContextSheet();
    shares.onChanged(true);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(app.contextSheet()->isVisible());
    EXPECT_EQ(app.statusIcon().note(), AppDelegate::hiddenWhileShared);
    app.showPreferences();
    EXPECT_FALSE(app.preferencesWindow()->isVisible()) << "opened during the share, shown after";
    shares.onChanged(false);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(app.contextSheet()->isVisible());
    EXPECT_TRUE(app.preferencesWindow()->isVisible());
    EXPECT_EQ(app.statusIcon().note(), "");

    // A test share from Preferences: the windows leave it as they leave a call's, and it ends by
    // itself, saying how it went; one Orvane does not see says what that means.
    auto* preferences = app.preferencesWindow();
    const auto testShare = [&](bool seen) {
        preferences->testShareButton()->click();
        EXPECT_EQ(preferences->testShareButton()->text(), "Stop the Test");
        trial.onSharing();
        h.mainQueue.advance(0.04);
        if (seen) shares.onChanged(true);
        EXPECT_EQ(preferences->isVisible(), !seen);
        h.mainQueue.advance(ShareTest::seconds);
        if (seen) shares.onChanged(false);
        EXPECT_TRUE(preferences->isVisible());
        return preferences->shareTestLabel()->text();
    };
    EXPECT_EQ(testShare(true),
              "Test share: Orvane's windows left it 0.04 s after its first frame, "
              "and came back when it ended.");
    EXPECT_THAT(testShare(false).toStdString(), HasSubstr("did not see it"));
    EXPECT_EQ(trial.stops, 2);

    panel->toggleStealth();
    shares.onChanged(true);
    EXPECT_TRUE(panel->isVisible()) << "stealth off: nothing hides";
    panel->toggleStealth();
    EXPECT_FALSE(panel->isVisible()) << "on again during the share";
}

TEST_F(Shell, WindowsAndTheStatusIconCarryTheApplicationsCommandsAndClosingNeverQuits) {
    launchSignedIn();
    auto* panel = app.floatingPanel();
    for (const char* keys : {"Ctrl+,", "Ctrl+Q", "Ctrl+M", "Ctrl+W"}) {
        EXPECT_NE(command(panel, QKeySequence(keys)), nullptr) << keys;
    }
    command(panel, QKeySequence("Ctrl+W"))->trigger();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(app.floatingPanel(), panel);

    command(panel, QKeySequence("Ctrl+,"))->trigger();
    ASSERT_NE(app.preferencesWindow(), nullptr);
    EXPECT_NE(command(app.preferencesWindow(), QKeySequence("Ctrl+Q")), nullptr);
    command(app.preferencesWindow(), QKeySequence("Ctrl+Q"))->trigger();
    EXPECT_EQ(quits, 1);

    app.preferencesWindow()->close();
    h.mainQueue.runUntilIdle();
    auto& icon = app.statusIcon();
    icon.onPreferences();
    EXPECT_NE(app.preferencesWindow(), nullptr);
    icon.onAbout();
    ASSERT_NE(app.aboutBox(), nullptr);
    EXPECT_EQ(app.aboutBox()->windowTitle(), "About Orvane");
    EXPECT_TRUE(app.aboutBox()->text().contains("Version 0.2.0 (2)"));
    EXPECT_TRUE(app.aboutBox()->text().contains(
        QString::fromUtf8("AI overlay assistant \u2014 invisible to screen recorders.")));
    icon.onQuit();
    EXPECT_EQ(quits, 2);
    icon.onSignOut();
    EXPECT_EQ(app.floatingPanel(), nullptr);
    EXPECT_NE(app.loginWindow(), nullptr);
}

TEST_F(Shell, MessagesFromAnotherLaunchAreCarriedOut) {
    QString redirected;
    app.onRedirect = [&](const QString& url) {
        redirected = url;
        return true;
    };
    app.applicationDidFinishLaunching();
    EXPECT_TRUE(app.handleMessage("open scheme:/oauth2redirect/google?code=1"));
    EXPECT_EQ(redirected, "scheme:/oauth2redirect/google?code=1");

    EXPECT_TRUE(app.handleMessage("sign-in"));
    EXPECT_EQ(h.webAuth.sessions.size(), 1u);
    h.completeGoogleSignIn({{"firstName", "Ada"}});
    h.mainQueue.advance(1.0);
    ASSERT_NE(app.floatingPanel(), nullptr);

    EXPECT_TRUE(app.handleMessage("toggle-session"));
    h.mainQueue.runUntilIdle();
    h.background.runAll();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(app.floatingPanel()->session().state(), State::listening);

    EXPECT_TRUE(app.handleMessage("screenshot"));
    h.background.runAll();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(h.screenSource.captures.size(), 1u);
    EXPECT_EQ(app.floatingPanel()->session().screenshots().queue().size(), 1u);
    EXPECT_TRUE(app.handleMessage("toggle-panel"));
    EXPECT_FALSE(app.floatingPanel()->isVisible());
    EXPECT_TRUE(app.handleMessage("toggle-panel"));
    EXPECT_TRUE(app.floatingPanel()->isVisible());
    EXPECT_FALSE(app.handleMessage("push-to-talk")) << "a held key cannot come by message";

    EXPECT_TRUE(app.handleMessage("sign-out"));
    EXPECT_EQ(app.floatingPanel(), nullptr);
    EXPECT_TRUE(app.handleMessage("screenshot")) << "known, with no panel to act on";
    EXPECT_FALSE(app.handleMessage("format-disk"));
}

class ShellWithShortcuts : public Shell {
protected:
    ShellWithShortcuts() { app.useGlobalShortcuts(shortcuts); }
    ShortcutBindings allBut(const std::string& missing) {
        ShortcutBindings bindings{{}, "X11 key grabs", "Another program already uses Ctrl+Alt+C."};
        for (const auto& wanted : shortcuts.asked) {
            if (wanted.id != missing) {
                bindings.bound.push_back({wanted.id, readableTrigger(wanted.preferredTrigger)});
            }
        }
        return bindings;
    }
};

TEST_F(ShellWithShortcuts, TheDesktopsKeysWorkThePanelWhileTheCallHasTheKeyboard) {
    app.applicationDidFinishLaunching();
    ASSERT_EQ(shortcuts.asked.size(), 4u) << "asked for at launch, signed in or not";
    shortcuts.press("push-to-talk");
    shortcuts.press("toggle-panel");  // no panel yet: nothing to do, nothing breaks
    signInThroughTheLoginWindow();
    auto* panel = app.floatingPanel();
    ASSERT_NE(panel, nullptr);

    shortcuts.press("push-to-talk");
    EXPECT_FALSE(panel->isPushToTalking()) << "no session is running";
    startListening();
    shortcuts.press("push-to-talk");
    EXPECT_TRUE(panel->isPushToTalking());
    EXPECT_TRUE(panel->pttIndicator()->isVisibleTo(panel));
    shortcuts.release("push-to-talk");
    EXPECT_FALSE(panel->isPushToTalking());

    shortcuts.press("screenshot");
    h.background.runAll();
    h.mainQueue.runUntilIdle();
    ASSERT_EQ(h.screenSource.captures.size(), 1u);
    ASSERT_EQ(h.screenSource.captures[0].excluded.size(), 0u)
        << "the scripted desktop does not list the panel, so nothing is left out";

    shortcuts.press("push-to-talk");
    shortcuts.press("toggle-panel");
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(panel->isPushToTalking()) << "hiding the panel lets go of the microphone";
    shortcuts.press("toggle-panel");
    EXPECT_TRUE(panel->isVisible());
}

TEST_F(ShellWithShortcuts, PreferencesListWhatIsBoundAndWhatIsMissing) {
    launchSignedIn();
    app.showPreferences();
    auto* label = app.preferencesWindow()->shortcutsLabel();
    EXPECT_TRUE(
        label->text().startsWith("Keys on the panel:\n    Push to talk: hold to ask a "
                                 "question: Space\n"))
        << "the key table, as the panel reads it";
    EXPECT_TRUE(label->text().endsWith("Global shortcuts: waiting for the desktop..."));
    shortcuts.answer(allBut("copy-answer"));
    EXPECT_TRUE(label->text().contains("Global shortcuts, through X11 key grabs:"));
    EXPECT_TRUE(label->text().contains("    Push to talk: hold to ask a question: Ctrl+Alt+Space"));
    EXPECT_TRUE(label->text().contains("    Copy the answer: not bound"));
    EXPECT_TRUE(label->text().contains("Another program already uses Ctrl+Alt+C."));
    EXPECT_TRUE(label->text().contains("orvane --screenshot")) << "says what to do instead";

    const auto listed = label->text();
    app.preferencesWindow()->close();
    h.mainQueue.runUntilIdle();
    ASSERT_EQ(app.preferencesWindow(), nullptr);
    app.showPreferences();
    EXPECT_EQ(app.preferencesWindow()->shortcutsLabel()->text(), listed)
        << "a window opened later shows the same answer";
}

TEST_F(ShellWithShortcuts, ADesktopWithoutShortcutsIsSaidPlainly) {
    launchSignedIn();
    shortcuts.answer({{}, "", "This desktop offers no global shortcuts to programs."});
    app.showPreferences();
    const auto text = app.preferencesWindow()->shortcutsLabel()->text();
    EXPECT_TRUE(text.contains("\nGlobal shortcuts: none on this desktop"));
    EXPECT_FALSE(text.contains("not bound")) << "no list of keys that were never possible";
    EXPECT_TRUE(text.contains("This desktop offers no global shortcuts to programs."));
    EXPECT_TRUE(text.contains("--toggle-panel"));
}

TEST_F(Shell, WhereTheWindowManagerCannotKeepThePanelAboveItIsLeftUnmanaged) {
    launchSignedIn();
    EXPECT_FALSE(app.floatingPanel()->windowFlags() & Qt::X11BypassWindowManagerHint);
    EXPECT_TRUE(app.floatingPanel()->windowFlags() & Qt::WindowStaysOnTopHint);

    app.handleSignOut();
    app.panelBypassesWindowManager = true;
    signInThroughTheLoginWindow();
    ASSERT_NE(app.floatingPanel(), nullptr);
    EXPECT_TRUE(app.floatingPanel()->windowFlags() & Qt::X11BypassWindowManagerHint);
    EXPECT_TRUE(app.floatingPanel()->isVisible());
}

TEST_F(Shell, WithoutAStatusAreaThePanelsMenuReachesAboutAndQuit) {
    const auto titles = [](QMenu* menu) {
        QStringList found;
        for (auto* action : menu->actions()) found << action->text();
        delete menu;
        return found;
    };
    h.auth.setAccessToken("held");
    app.statusAreaAvailable = [] { return true; };
    app.applicationDidFinishLaunching();
    auto shown = titles(app.floatingPanel()->buildSettingsMenu());
    EXPECT_FALSE(shown.contains("About Orvane"));
    EXPECT_FALSE(shown.contains("Quit Orvane"));

    app.handleSignOut();
    app.statusAreaAvailable = [] { return false; };
    signInThroughTheLoginWindow();
    auto* menu = app.floatingPanel()->buildSettingsMenu();
    QAction* quit = nullptr;
    QAction* about = nullptr;
    for (auto* action : menu->actions()) {
        if (action->text() == "Quit Orvane") quit = action;
        if (action->text() == "About Orvane") about = action;
    }
    ASSERT_NE(about, nullptr);
    ASSERT_NE(quit, nullptr);
    EXPECT_TRUE(titles(app.floatingPanel()->buildSettingsMenu()).contains("Sign Out"));
    about->trigger();
    EXPECT_NE(app.aboutBox(), nullptr);
    quit->trigger();
    EXPECT_EQ(quits, 1);
    delete menu;
}

// A session started while PocketSphinx hears alone offers a Whisper model on the panel, once;
// nothing downloads until it is clicked, and then the line follows the download.
class ShellWithEngines : public Shell {
protected:
    ShellWithEngines() {
        engines.cores = 2;
        app.useSpeechEngines(engines);
    }
    ~ShellWithEngines() override { std::filesystem::remove_all(root); }
    // The engines of Orvane's next launch, reading what this one kept.
    std::unique_ptr<SpeechEngines> nextRun() {
        auto engines = std::make_unique<SpeechEngines>(
            speech, h.mainQueue, modelWork,
            SpeechEngines::Places{root / "models", root / "config" / "speech-model"}, nullptr,
            nullptr, [](const auto&, const auto&, const auto&) {
                return std::pair<std::optional<std::filesystem::path>, std::string>(std::nullopt,
                                                                                    "");
            });
        engines->start();
        return engines;
    }

    std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("orvane-offer-" + std::to_string(::getpid()));
    TwoPassSpeechService speech{h.speech};
    ManualBackgroundQueue modelWork;
    std::vector<std::string> downloads;
    SpeechEngines engines{
        speech,
        h.mainQueue,
        modelWork,
        {root / "models", root / "config" / "speech-model"},
        [](const auto&) {
            return std::pair<std::shared_ptr<UtteranceTranscriber>, std::string>(nullptr, "");
        },
        [](const auto&, const auto&) {
            return std::pair<std::optional<std::filesystem::path>, std::string>(std::nullopt, "");
        },
        [this](const CatalogModel& model, const auto& progress, const auto&) {
            downloads.push_back(model.name);
            progress(ModelInstaller::Progress{40, 100});
            return std::pair<std::optional<std::filesystem::path>, std::string>(
                std::nullopt, "The model's SHA-256 is " + std::string(64, 'a') + ", not " +
                                  std::string(64, 'b') + ": the file is damaged.");
        }};
};

TEST_F(ShellWithEngines, APanelHearingWithoutWhisperOffersItOnceAndFollowsItsDownload) {
    launchSignedIn();
    auto* panel = app.floatingPanel();
    EXPECT_FALSE(panel->offerButton()->isVisibleTo(panel)) << "not before a session starts";
    startListening();
    ASSERT_TRUE(panel->offerButton()->isVisibleTo(panel));
    EXPECT_EQ(offerText(),
              QString::fromUtf8("Hear better: download Whisper tiny.en, 75 MB \u2014 recommended "
                                "for this computer"));
    modelWork.runAll();
    EXPECT_TRUE(downloads.empty()) << "nothing downloads without the click";

    panel->offerButton()->click();
    EXPECT_EQ(offerText(), "Downloading Whisper tiny.en...");
    EXPECT_FALSE(panel->offerButton()->isEnabled());
    modelWork.runAll();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(downloads, std::vector<std::string>{"tiny.en"});
    EXPECT_EQ(offerText(),
              "The Whisper model arrived damaged, not installed: Preferences can try again.")
        << "the sums are for Preferences";
    panel->dismissOfferButton()->button()->click();
    EXPECT_FALSE(panel->offerButton()->isVisibleTo(panel));

    // Stopped and started again in the same run: not offered twice. The interview's context is
    // offered instead, once, and opens the sheet.
    panel->toggleSession();
    h.mainQueue.runUntilIdle();
    startListening();
    EXPECT_EQ(offerText(), "Tell Orvane about this interview: company, role, notes");
    panel->offerButton()->click();
    ASSERT_NE(app.contextSheet(), nullptr);
    EXPECT_EQ(app.contextSheet()->startButton()->findChild<QLabel*>()->text(), "Save")
        << "a session runs: nothing to start, and Cancel drops nothing";
    panel->toggleSession();
    h.mainQueue.runUntilIdle();
    startListening();
    EXPECT_FALSE(panel->offerButton()->isVisibleTo(panel));
}

// The cross puts the offer off to the next run; "Never" turns it down for good.
TEST_F(ShellWithEngines, AnOfferPutOffComesBackTheNextRun) {
    launchSignedIn();
    startListening();
    app.floatingPanel()->dismissOfferButton()->button()->click();
    EXPECT_TRUE(nextRun()->downloadToOffer());
}

TEST_F(ShellWithEngines, AnOfferTurnedDownIsNotMadeAgain) {
    launchSignedIn();
    startListening();
    app.floatingPanel()->neverOfferButton()->click();
    EXPECT_TRUE(downloads.empty());
    EXPECT_FALSE(nextRun()->downloadToOffer());
}

}  // namespace
}  // namespace orvane::testing
