// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <fstream>
#include <map>

#include "capture/ScreenshotCapture.h"
#include "capture/SystemAudioCapture.h"
#include "fakes/SessionHarness.h"
#include "overlay/ContextSheet.h"
#include "overlay/ElidingLabel.h"
#include "overlay/FloatingPanelWindow.h"
#include "overlay/MarkdownView.h"
#include "overlay/PillButton.h"
#include "session/DesktopShortcuts.h"
#include "session/SessionMessages.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;

using State = SessionManager::State;

class Panel : public ::testing::Test {
protected:
    void build() {
        panel = std::make_unique<FloatingPanelWindow>(h.session, h.mainQueue, h.workspace);
    }
    void SetUp() override { build(); }
    void settle() { h.settle(); }
    void listen() {
        panel->toggleSession();
        settle();
    }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool autoRepeat = false) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, QString(), autoRepeat);
        QCoreApplication::sendEvent(panel.get(), &event);
    }
    void release(int key) {
        QKeyEvent event(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(panel.get(), &event);
    }
    void answer(const std::string& question, const std::string& text) {
        h.reply(h.ask(question), {answerEvents(text)});
    }

    SessionHarness h;
    std::unique_ptr<FloatingPanelWindow> panel;
};

TEST_F(Panel, AFreshPanelIsHiddenFromCaptureWaitsToStartAndTogglesStealth) {
    EXPECT_TRUE(panel->isStealth());
    EXPECT_EQ(h.workspace.exclusionRequests, (std::vector<bool>{true}));
    EXPECT_EQ(panel->stealthButton()->symbol(), "eye.slash");
    EXPECT_EQ(panel->answerView()->text(), "Start a session to begin.");
    EXPECT_TRUE(panel->statusDot()->isHidden());
    EXPECT_TRUE(panel->timerLabel()->text().isEmpty());
    for (QWidget* hidden : std::initializer_list<QWidget*>{
             panel->prevButton(), panel->nextButton(), panel->historyLabel(), panel->sendButton(),
             panel->screenshotBadge()}) {
        EXPECT_TRUE(hidden->isHidden());
    }
    for (QWidget* shown : std::initializer_list<QWidget*>{
             panel->playPauseButton(), panel->stealthButton(), panel->gearButton()}) {
        EXPECT_FALSE(shown->isHidden());
    }
    EXPECT_EQ(panel->minimumSize(), QSize(400, 200));
    EXPECT_TRUE(panel->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    // Where the desktop can hide windows, stealth toggles.
    panel->toggleStealth();
    EXPECT_FALSE(panel->isStealth());
    EXPECT_EQ(panel->stealthButton()->symbol(), "eye");
    panel->toggleStealth();
    EXPECT_TRUE(panel->isStealth());
    EXPECT_EQ(panel->stealthButton()->symbol(), "eye.slash");
    EXPECT_EQ(h.workspace.exclusionRequests, (std::vector<bool>{true, false, true}));
}

TEST_F(Panel, WhereTheDesktopCannotHideWindowsThePanelSaysSo) {
    h.workspace.canExcludeFromCapture = false;
    h.workspace.exclusionRequests.clear();
    build();
    EXPECT_FALSE(panel->isStealth());
    EXPECT_EQ(panel->stealthButton()->symbol(), "eye");
    EXPECT_EQ(panel->stealthButton()->toolTip(), FloatingPanelWindow::stealthUnavailable);
    panel->toggleStealth();
    EXPECT_FALSE(panel->isStealth());
    EXPECT_EQ(panel->stealthButton()->symbol(), "eye");
    EXPECT_EQ(panel->statusLabel()->text(), "SHARE A WINDOW, NOT THE WHOLE SCREEN");
    h.mainQueue.advance(4.0);
    EXPECT_EQ(panel->statusLabel()->text(), "");
    EXPECT_EQ(h.workspace.exclusionRequests, (std::vector<bool>{true})) << "nothing else asked";
}

TEST_F(Panel, StatesRepaintTheControlsTheLightAndTheClock) {
    std::vector<State> told;
    panel->onSessionStateChanged = [&](State s) { told.push_back(s); };
    panel->toggleSession();
    EXPECT_EQ(panel->answerView()->text(), "Listening...");
    settle();
    EXPECT_EQ(told, (std::vector<State>{State::listening}));
    EXPECT_EQ(panel->statusLabel()->text(), "LISTENING");
    EXPECT_FALSE(panel->statusDot()->isHidden());
    EXPECT_EQ(panel->playPauseButton()->symbol(), "stop.fill");
    EXPECT_EQ(panel->timerLabel()->text(), "00:00");
    h.mainQueue.advance(3725);
    EXPECT_EQ(panel->timerLabel()->text(), "62:05") << "minutes are not capped at 59";

    h.session->sendToLLM("what is a mutex");
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(panel->statusLabel()->text(), "THINKING");
    EXPECT_EQ(panel->answerView()->text(), "Thinking...");

    panel->toggleSession();  // stop while the answer streams
    EXPECT_EQ(panel->answerView()->text(), "Start a session to begin.");
    EXPECT_TRUE(panel->timerLabel()->text().isEmpty());
    EXPECT_TRUE(panel->statusDot()->isHidden());
    EXPECT_EQ(panel->playPauseButton()->symbol(), "play.fill");
    h.mainQueue.advance(5);
    EXPECT_TRUE(panel->timerLabel()->text().isEmpty()) << "the clock stopped";
}

TEST_F(Panel, AnswersTranscriptsAndErrorsArePainted) {
    listen();
    h.hear("what is");
    EXPECT_EQ(panel->hearingLabel()->fullText(), "what is");
    h.session->onTranscript("");
    EXPECT_EQ(panel->hearingLabel()->fullText(), "what is") << "an empty transcript is ignored";
    const QString longText(400, 'w');
    h.session->onTranscript(longText.toStdString());
    panel->hearingLabel()->resize(120, 20);
    EXPECT_TRUE(panel->hearingLabel()->text().endsWith(QChar(0x2026))) << "cut at the tail";
    answer("what is a deadlock", "Two threads wait on each other.");
    EXPECT_EQ(panel->answerView()->text(), "Two threads wait on each other.");
    h.session->onError(messages::sessionExpired);
    EXPECT_EQ(panel->answerView()->text(), messages::sessionExpired);
    EXPECT_GT(panel->answerView()->textColor().redF(), 0.9) << "errors are red";
    EXPECT_TRUE(panel->askAgainButton()->isHidden()) << "no question failed";

    // A question that failed is offered again, by a click or its key, until an answer starts.
    h.session->sendToLLM("what is a livelock");
    h.reply(h.lastStream(), {}, std::nullopt, 503);
    EXPECT_FALSE(panel->askAgainButton()->isHidden());
    press(Qt::Key_R, Qt::ControlModifier);
    settle();
    EXPECT_TRUE(panel->askAgainButton()->isHidden());
    EXPECT_EQ(h.body(h.lastStream())["messages"].back()["content"], "what is a livelock");
    h.reply(h.lastStream(), {}, std::nullopt, 503);
    panel->clearProblem();  // the interview context was saved
    EXPECT_EQ(panel->answerView()->text(), "Listening...");
    EXPECT_TRUE(panel->askAgainButton()->isHidden());
}

TEST_F(Panel, ListeningWithoutSoundSaysSoUntilTheSoundIsBack) {
    h.audioSource.nextStatus = AudioSource::OpenStatus::noDevice;
    h.audioSource.nextErrorText = "no sound server is running";
    listen();
    EXPECT_EQ(panel->statusLabel()->text(), "NO SOUND");
    EXPECT_TRUE(panel->answerView()->text().startsWith("Cannot hear the computer"));
    h.audioSource.nextStatus = AudioSource::OpenStatus::opened;
    h.mainQueue.advance(SystemAudioCapture::firstRetrySeconds);
    settle();
    EXPECT_EQ(panel->statusLabel()->text(), "LISTENING");
    EXPECT_EQ(panel->answerView()->text(), "Listening...") << "the red message goes with it";
}

TEST_F(Panel, SpaceIsPushToTalkOnlyWhileListening) {
    press(Qt::Key_Space);
    release(Qt::Key_Space);
    settle();
    EXPECT_TRUE(h.microphone.openedWith.empty());
    EXPECT_FALSE(panel->isPushToTalking());

    listen();
    press(Qt::Key_Space);
    press(Qt::Key_Space, Qt::NoModifier, true);
    press(Qt::Key_Space, Qt::NoModifier, true);
    settle();
    EXPECT_TRUE(panel->isPushToTalking());
    EXPECT_FALSE(panel->pttIndicator()->isHidden());
    EXPECT_EQ(h.microphone.openedWith.size(), 1u) << "auto-repeat starts nothing more";
    release(Qt::Key_Space);
    EXPECT_TRUE(panel->pttIndicator()->isHidden());
    EXPECT_TRUE(*h.microphone.streamsStopped[0]);
}

TEST_F(Panel, CopyingShowsCopiedForASecondUnlessTheStateMovesOn) {
    press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_NE(panel->statusLabel()->text(), "COPIED") << "the start prompt is not copied";

    listen();
    answer("what is TCP", "A reliable byte stream.");
    h.mainQueue.runUntilIdle();
    QGuiApplication::clipboard()->clear();
    press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "A reliable byte stream.");
    EXPECT_EQ(panel->statusLabel()->text(), "COPIED");
    h.mainQueue.advance(1.0);
    EXPECT_EQ(panel->statusLabel()->text(), "LISTENING");

    press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    h.session->sendToLLM("next question please");
    h.mainQueue.runUntilIdle();
    h.mainQueue.advance(1.0);
    EXPECT_EQ(panel->statusLabel()->text(), "THINKING") << "the state change wins";
}

TEST_F(Panel, ArrowsPageOnlyWithTwoOrMoreAnswers) {
    listen();
    answer("first q", "first answer");
    press(Qt::Key_Left);
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(panel->historyLabel()->isHidden());
    answer("second q", "second answer");
    answer("third q", "third answer");
    h.mainQueue.runUntilIdle();
    EXPECT_FALSE(panel->historyLabel()->isHidden());
    EXPECT_EQ(panel->historyLabel()->text(), "3/3");
    press(Qt::Key_Left);
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(panel->historyLabel()->text(), "2/3");
    EXPECT_EQ(panel->answerView()->text(), "second answer") << "the answer, never the question";
    panel->historyNext();
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(panel->historyLabel()->text(), "3/3");

    // Small talk while an earlier answer is read: the panel shows it again, just as it was.
    press(Qt::Key_Left);
    h.mainQueue.runUntilIdle();
    answer("okay great, sounds good", "[SKIP]");
    EXPECT_EQ(panel->answerView()->text(), "second answer");
    EXPECT_TRUE(panel->answerView()->isMarkdown());
    EXPECT_EQ(panel->historyLabel()->text(), "2/3");
    EXPECT_EQ(panel->statusLabel()->text(), "LISTENING");
}

TEST_F(Panel, QueuedScreenshotsShowTheBadgeAndTheSendButton) {
    for (int i = 0; i < 3; ++i) {
        press(Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
        settle();
    }
    EXPECT_EQ(h.screenSource.captures.size(), 3u);
    EXPECT_FALSE(panel->screenshotBadge()->isHidden());
    EXPECT_EQ(panel->screenshotBadge()->text(), "3");
    EXPECT_FALSE(panel->sendButton()->isHidden());
    EXPECT_NEAR(panel->sendButton()->tint().redF(), 0.8, 0.01);
    panel->sendScreenshots();
    h.mainQueue.runUntilIdle();
    EXPECT_TRUE(panel->screenshotBadge()->isHidden());
    EXPECT_TRUE(panel->sendButton()->isHidden());
    EXPECT_EQ(nlohmann::json::parse(*h.lastStream().request.body)["messages"][0]["images"].size(),
              3u);
}

QAction* menuItem(QMenu& menu, const QString& title) {
    for (auto* action : menu.actions()) {
        if (action->text() == title) return action;
    }
    ADD_FAILURE() << "no item " << title.toStdString();
    return new QAction(&menu);
}

TEST_F(Panel, TheSettingsMenuShowsAndSetsTheChoices) {
    h.session->setSelectedModel(SessionManager::Model::standard);
    h.session->setTranscriptionLocale("de-DE");
    h.speech.recognizers["lb-LU"] = std::make_shared<ScriptedRecognizer>();
    std::unique_ptr<QMenu> menu(panel->buildSettingsMenu());
    QStringList titles, checked;
    for (auto* action : menu->actions()) {
        titles << (action->isSeparator() ? "-" : action->text());
        if (action->isChecked()) checked << action->text();
    }
    EXPECT_EQ(titles, (QStringList{"Model",
                                   "Nano",
                                   "Mini",
                                   "Standard",
                                   "Vision",
                                   "-",
                                   "Answer Style",
                                   "Brief",
                                   "Detailed",
                                   "Story (STAR)",
                                   "Code first",
                                   "-",
                                   "Language",
                                   "English",
                                   "German (not installed)",
                                   "French (not installed)",
                                   "Spanish (not installed)",
                                   "Portuguese (not installed)",
                                   "Luxembourgish",
                                   "-",
                                   "Copy Code Block",
                                   "Interview Prep...",
                                   "Preferences...",
                                   "-",
                                   "Sign Out"}));
    EXPECT_EQ(checked, (QStringList{"Standard", "Brief", "German (not installed)"}));
    EXPECT_FALSE(menuItem(*menu, "Model")->isEnabled());
    EXPECT_FALSE(menuItem(*menu, "German (not installed)")->isEnabled())
        << "a language nothing can hear is not offered";

    menuItem(*menu, "Nano")->trigger();
    EXPECT_EQ(h.session->selectedModel(), SessionManager::Model::nano);
    menuItem(*menu, "Luxembourgish")->trigger();
    EXPECT_EQ(h.session->transcriptionLocale(), "lb-LU");

    // The style is shown on the panel and asked for with the next question.
    EXPECT_EQ(panel->styleLabel()->text(), "BRIEF");
    menuItem(*menu, "Story (STAR)")->trigger();
    EXPECT_EQ(panel->styleLabel()->text(), "STORY (STAR)");
    h.ask("tell me about a time you failed");
    EXPECT_EQ(h.body(h.lastStream())["answerStyle"], "story");

    int signOuts = 0, preferences = 0, context = 0;
    panel->onSignOut = [&] { ++signOuts; };
    panel->onOpenPreferences = [&] { ++preferences; };
    panel->onOpenContext = [&] { ++context; };
    EXPECT_FALSE(menuItem(*menu, "Copy Code Block")->isEnabled()) << "no answer, no code to copy";
    menuItem(*menu, "Interview Prep...")->trigger();
    menuItem(*menu, "Preferences...")->trigger();
    menuItem(*menu, "Sign Out")->trigger();
    EXPECT_EQ(std::tuple(context, preferences, signOuts), std::tuple(1, 1, 1));

    // The tiers name the models Preferences has them ask for.
    panel->tierModels = [] { return std::map<std::string, std::string>{{"mini", "qwen2.5"}}; };
    menu.reset(panel->buildSettingsMenu());
    EXPECT_EQ(menu->actions()[2]->text(), QString::fromUtf8("Mini \u00b7 qwen2.5"));
    EXPECT_EQ(menuItem(*menu, "Preferences...")->shortcut(), QKeySequence("Ctrl+,"))
        << "from the key table";

    h.session->setTranscriptionLocale("en-GB");
    menu.reset(panel->buildSettingsMenu());
    checked.clear();
    for (auto* action : menu->actions()) {
        if (action->isChecked()) checked << action->text();
    }
    EXPECT_EQ(checked, (QStringList{"Nano", "Story (STAR)"}))
        << "a locale outside the table checks no language";
}

// The panel shown and active on screen, keys arriving the way the window system delivers them: to
// whichever widget has the keyboard focus.
class ShownPanel : public Panel {
protected:
    void SetUp() override {
        Panel::SetUp();
        panel->show();
        panel->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel.get()));
    }
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(panel->windowHandle(), key, modifiers);
        h.mainQueue.runUntilIdle();
    }
};

// An earlier page shows its own question and says which it is; the latest shows the live state.
TEST_F(ShownPanel, ArrowKeysPageTheHistory) {
    listen();
    answer("first q", "first answer");
    answer("second q", "second answer");
    h.hear("what about");
    type(Qt::Key_Left);
    EXPECT_EQ(panel->historyLabel()->text(), "1/2");
    EXPECT_EQ(panel->answerView()->text(), "first answer");
    EXPECT_EQ(panel->hearingLabel()->fullText(), "Q: first q");
    EXPECT_EQ(panel->statusLabel()->text(), "ANSWER 1 OF 2");
    type(Qt::Key_Right);
    EXPECT_EQ(panel->historyLabel()->text(), "2/2");
    EXPECT_EQ(panel->hearingLabel()->fullText(), "what about");
    EXPECT_EQ(panel->statusLabel()->text(), "LISTENING");

    // Thinking until the first words, answering while they stream.
    h.session->sendToLLM("third q");
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(panel->statusLabel()->text(), "THINKING");
    h.lastStream().respond(200);
    h.lastStream().feed(deltaEvent("Third"));
    h.mainQueue.runUntilIdle();
    EXPECT_EQ(panel->statusLabel()->text(), "ANSWERING");
}

// Every key the table gives the panel, and its buttons from the keyboard: Tab reaches them,
// Enter presses them, and the panel's keys still work while one has the focus.
TEST_F(ShownPanel, TheKeyTableDrivesThePanelAndItsButtonsTakeTheKeyboard) {
    type(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(h.session->state(), State::listening);
    EXPECT_TRUE(panel->playPauseButton()->toolTip().startsWith("Stop the session"));
    panel->playPauseButton()->button()->setFocus();
    type(Qt::Key_Return);
    EXPECT_EQ(h.session->state(), State::idle) << "Enter presses the focused button";
    EXPECT_FALSE(panel->gearButton()->button()->accessibleName().isEmpty());
    type(Qt::Key_Return, Qt::ControlModifier);
    QTest::keyPress(panel->windowHandle(), Qt::Key_Space);
    EXPECT_TRUE(panel->isPushToTalking()) << "space is push-to-talk, not a click";
    QTest::keyRelease(panel->windowHandle(), Qt::Key_Space);
    EXPECT_EQ(h.session->state(), State::listening);
}

// The README's table of keys is the code's, row for row.
TEST(KeyTable, TheReadmeListsEveryKeyAsTheCodeHasIt) {
    std::ifstream readme(ORVANE_README_PATH);
    const std::string text(std::istreambuf_iterator<char>(readme), {});
    const std::map<KeyBinding::Where, std::string> where = {
        {KeyBinding::Where::panel, "the panel"},
        {KeyBinding::Where::menu, "the menus"},
        {KeyBinding::Where::desktop, "the desktop (global)"}};
    std::size_t rows = 0;
    for (std::size_t at = text.find("\n| the "); at != std::string::npos;
         at = text.find("\n| the ", at + 1)) {
        ++rows;
    }
    EXPECT_EQ(rows, keyBindings().size());
    for (const auto& binding : keyBindings()) {
        const auto row = "| " + where.at(binding.where) + " | " + std::string(binding.keys) +
                         " | " + std::string(binding.action) + " |";
        EXPECT_THAT(text, HasSubstr(row)) << row;
    }
}

TEST_F(ShownPanel, PushToTalkEndsWhenThePanelLosesTheKeyboard) {
    listen();
    QTest::keyPress(panel->windowHandle(), Qt::Key_Space);
    settle();
    ASSERT_TRUE(panel->isPushToTalking());
    QWidget call;  // the video call the user clicks into, space still held
    call.show();
    call.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&call));
    EXPECT_FALSE(panel->isPushToTalking());
    EXPECT_TRUE(panel->pttIndicator()->isHidden());
    EXPECT_TRUE(*h.microphone.streamsStopped[0]);
}

TEST_F(ShownPanel, AnswersAreDrawnAsMarkdownAndCopiedAsReceived) {
    listen();
    const std::string text =
        "Use **EXPLAIN** first:\n\n```sql\nEXPLAIN ANALYZE\nSELECT * FROM orders;\n```\n\n"
        "then add an index. <b>Not markup</b>";
    answer("how do I speed up a query", text);
    const auto shown = panel->answerView()->document()->toPlainText();
    EXPECT_FALSE(shown.contains("**"));
    EXPECT_FALSE(shown.contains("```"));
    EXPECT_TRUE(shown.contains("<b>Not markup</b>")) << "raw HTML is text";

    QGuiApplication::clipboard()->clear();
    type(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), text) << "the source, exactly";
    h.mainQueue.advance(1.0);
    type(Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "EXPLAIN ANALYZE\nSELECT * FROM orders;");
    EXPECT_EQ(panel->statusLabel()->text(), "COPIED");

    std::unique_ptr<QMenu> menu(panel->buildSettingsMenu());
    QGuiApplication::clipboard()->clear();
    EXPECT_TRUE(menuItem(*menu, "Copy Code Block")->isEnabled());
    menuItem(*menu, "Copy Code Block")->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "EXPLAIN ANALYZE\nSELECT * FROM orders;");
}

TEST_F(ShownPanel, MessagesAndAnswersWithoutCodeAreNotMarkdown) {
    listen();
    answer("what is TCP", "A **reliable** byte stream.");
    QGuiApplication::clipboard()->setText("before");
    type(Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before") << "no code block, nothing copied";

    h.session->onError("<h1>502 Bad Gateway</h1> **upstream**");
    EXPECT_FALSE(panel->answerView()->isMarkdown());
    EXPECT_EQ(panel->answerView()->document()->toPlainText(),
              "<h1>502 Bad Gateway</h1> **upstream**");
    h.hear("<b>heard</b>");
    EXPECT_EQ(panel->hearingLabel()->textFormat(), Qt::PlainText);
    EXPECT_EQ(panel->statusLabel()->textFormat(), Qt::PlainText);
}

// The panel and the interview sheet have no frame: their edges resize them and their
// backgrounds move them.
TEST_F(ShownPanel, DraggingAnEdgeResizesThePanelButNotBelowItsMinimum) {
    const auto start = panel->geometry();
    const auto dragOn = [](QWidget* window, QPoint from, QPoint by) {
        QMouseEvent press(QEvent::MouseButtonPress, from, window->mapToGlobal(from), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &press);
        QMouseEvent move(QEvent::MouseMove, from + by, window->mapToGlobal(from) + by, Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, from + by, window->mapToGlobal(from) + by,
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &release);
    };
    const auto drag = [&](QPoint from, QPoint by) { dragOn(panel.get(), from, by); };
    const QPoint bottomRight(start.width() - 2, start.height() - 2);
    drag(bottomRight, QPoint(60, 40));
    EXPECT_EQ(panel->size(), start.size() + QSize(60, 40));
    EXPECT_EQ(panel->pos(), start.topLeft()) << "the opposite corner stays put";

    drag(QPoint(2, 100), QPoint(1000, 0));  // the left edge, far past the right one
    EXPECT_EQ(panel->width(), 400);
    EXPECT_EQ(panel->geometry().right(), start.right() + 60);

    drag(QPoint(200, panel->height() - 1), QPoint(0, -1000));
    EXPECT_EQ(panel->height(), 200);
    drag(QPoint(200, 150), QPoint(30, 0));  // not an edge: the panel moves, keeping its size
    EXPECT_EQ(panel->size(), QSize(400, 200));

    ContextSheet sheet;
    sheet.show();
    const auto sheetStart = sheet.geometry();
    dragOn(&sheet, QPoint(sheetStart.width() - 1, 200), QPoint(40, 0));
    EXPECT_EQ(sheet.geometry(), sheetStart.adjusted(0, 0, 40, 0));
    dragOn(&sheet, QPoint(200, 12), QPoint(-30, 25));
    EXPECT_EQ(sheet.size(), sheetStart.size() + QSize(40, 0));
}

// What each state shows in the status line, the light and the start/stop button.
TEST(PanelLookTest, EachStateShowsItsStatusLightAndButton) {
    using Light = PanelLook::Light;
    struct Case {
        State state;
        bool hearing;
        const char* status;
        Light light;
        const char* button;  // empty: left as it was
    };
    for (const auto& c : {Case{State::idle, true, "", Light::off, "play.fill"},
                          Case{State::listening, true, "LISTENING", Light::on, "stop.fill"},
                          Case{State::listening, false, "NO SOUND", Light::on, "stop.fill"},
                          Case{State::processing, true, "THINKING", Light::asBefore, ""}}) {
        const auto look = PanelLook::of(c.state, c.hearing);
        EXPECT_EQ(look.status, c.status);
        EXPECT_EQ(look.light, c.light) << c.status;
        EXPECT_EQ(look.startStop ? look.startStop->symbol : "", c.button) << c.status;
        EXPECT_EQ(look.statusColor.alpha() > 0, !look.status.isEmpty()) << c.status;
    }
    EXPECT_NE(PanelLook::of(State::listening, false).lightColor,
              PanelLook::of(State::listening, true).lightColor)
        << "no sound is told apart by its light";
}

}  // namespace
}  // namespace orvane::testing
