// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane-gallery: builds Orvane's windows in their interesting states with scripted data and
// writes one PNG per state, for looking at the UI without running a session.
//   orvane-gallery OUTPUT_DIR

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScrollArea>

#include <iostream>

#include "accounts/AuthManager.h"
#include "adapters/null/NullPlatform.h"
#include "adapters/std/SteppedMainQueue.h"
#include "adapters/std/WorkerQueue.h"
#include "app/AnswersView.h"
#include "app/PreferencesWindow.h"
#include "app/ShareCheck.h"
#include "app/TranscriptionServerView.h"
#include "capture/ScreenshotCapture.h"
#include "overlay/ContextSheet.h"
#include "overlay/FloatingPanelWindow.h"
#include "overlay/MarkdownView.h"
#include "overlay/SymbolIcons.h"
#include "platform/HttpClient.h"
#include "session/SessionMessages.h"

namespace {

using namespace orvane;

class NoNetwork : public HttpClient {
public:
    std::shared_ptr<HttpTask> stream(HttpRequest, std::shared_ptr<HttpStreamDelegate>) override {
        return nullptr;
    }
    std::shared_ptr<HttpTask> send(HttpRequest, Completion) override { return nullptr; }
};

// A workspace where hiding from capture works, as on desktops that support it.
class HidingWorkspace : public NullWorkspace {
public:
    bool setExcludedFromCapture(std::uint64_t, bool) override { return true; }
};

bool save(QWidget& widget, const QDir& dir, const QString& name) {
    QApplication::processEvents();
    const auto path = dir.filePath(name + ".png");
    const bool ok = widget.grab().save(path);
    std::cout << (ok ? "wrote " : "could not write ") << path.toStdString() << "\n";
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: orvane-gallery OUTPUT_DIR\n";
        return 2;
    }
    QDir dir(argv[1]);
    if (!dir.mkpath(".")) {
        std::cerr << "orvane-gallery: cannot create " << argv[1] << "\n";
        return 1;
    }
    registerBundledFonts();

    SteppedMainQueue mainQueue;
    WorkerQueue background;
    NoNetwork http;
    NullSpeechService speech;
    NullAudioSource audio;
    NullMicrophone microphone;
    NullScreenSource screen;
    HidingWorkspace workspace;
    AuthManager auth;
    auth.setAccessToken("gallery");
    auto session = SessionManager::create(
        {mainQueue, background, http, speech, audio, microphone, screen, workspace, auth});
    FloatingPanelWindow panel(session, mainQueue, workspace);
    panel.show();
    bool ok = save(panel, dir, "01-fresh");

    session->onStateChanged(SessionManager::State::listening);
    session->onTranscript("so tell me how you would design a rate limiter for a public api");
    mainQueue.advance(754);
    panel.showOffer(
        QString::fromUtf8(
            "Hear better: download Whisper tiny.en, 75 MB \u2014 recommended for this computer"),
        [] {}, [] {}, [] {});
    ok &= save(panel, dir, "02-listening");
    panel.hideOffer();

    session->onStateChanged(SessionManager::State::processing);
    session->onAnswer("");
    session->onCandidateTranscript("I would start from who is limited: per key or per user");
    ok &= save(panel, dir, "03-thinking-you-speaking");
    session->onCandidateTranscript("");
    session->onAnswer(
        "Use a token bucket per API key, kept in Redis so every server shares it. Refill at the "
        "plan's rate, allow short bursts up to the bucket size, and answer 429 with Retry-After "
        "when it is empty.");
    ok &= save(panel, dir, "04-answer-streaming");

    session->onAnswer(
        "**Reverse it in place** with three pointers, one pass:\n\n"
        "```python\n"
        "def reverse(head):\n"
        "    prev = None\n"
        "    while head:\n"
        "        head.next, prev, head = prev, head, head.next\n"
        "    return prev\n"
        "```\n\n"
        "- `O(n)` time, `O(1)` space\n"
        "- say why the recursive version risks a *stack overflow*");
    panel.answerView()->flush();
    ok &= save(panel, dir, "05-markdown-answer-with-code");

    session->onError(messages::sessionExpired);
    ok &= save(panel, dir, "06-error");

    session->onStateChanged(SessionManager::State::listening);
    session->history().append("What is a B-tree?", "A balanced search tree with wide nodes.");
    session->history().append("What is sharding?", "Splitting data across servers by a key.");
    session->history().append("What is CAP?", "Consistency or availability under partition.");
    session->history().previous();
    session->screenshots().setQueue({"a", "b", "c"});
    session->onScreenshotsChanged(3);
    mainQueue.runUntilIdle();
    ok &= save(panel, dir, "07-history-and-screenshots");

    std::unique_ptr<QMenu> menu(panel.buildSettingsMenu());
    menu->popup(panel.mapToGlobal(QPoint(400, 100)));
    QApplication::processEvents();
    ok &= save(*menu, dir, "08-settings-menu");
    menu->hide();
    for (auto* action : menu->actions()) {
        if (action->text() == "Story (STAR)") action->trigger();
    }
    session->onStateChanged(SessionManager::State::idle);
    panel.showOffer(
        QString::fromUtf8("Save this interview\u2026"), [] {}, [] {});
    ok &= save(panel, dir, "08-save-offer");
    panel.hideOffer();

    ContextSheet sheet;
    sheet.show();
    sheet.companyField()->setText("Acme Robotics");
    sheet.roleField()->setText("Senior Backend Engineer");
    sheet.notesField()->setPlainText(
        "Panel interview, system design round.\nThey use Go and Postgres.");
    sheet.readDocumentsWith([](const auto&, const auto&) {});
    sheet.cvBox()->editor()->setPlainText(
        "Alex Doe, backend engineer\n\nInitech (2021-2025): led the payments API in Go, cut p99 "
        "latency from 900 to 120 ms, moved billing to Postgres with zero downtime.");
    sheet.jobBox()->editor()->setPlainText(
        "Senior Backend Engineer, Acme Robotics. Own the fleet API; Go, Postgres, Kafka.");
    ok &= save(sheet, dir, "09-context-sheet");

    AuthManager account;
    account.setUser(nlohmann::json{{"firstName", "Alex"}});
    PreferencesWindow preferences(account);
    SpeechEngines::Status hearing;
    hearing.engines = "PocketSphinx";
    hearing.download = SpeechEngines::Status::Download{"base.en", 61 << 20, 142 << 20};
    preferences.showHearing(hearing);
    preferences.showLevel(0.62);
    preferences.showLastHeard("how would you design a rate limiter for a public api");
    preferences.showSoundDevices({}, {}, {"", "", true});
    auto* answers = preferences.answersView();
    answers->showSettings({AnswerSettings::Source::openaiCompatible,
                           AnswerSettings::ollamaBaseUrl,
                           {{"vision", "llava:7b"}}},
                          false);
    answers->showModels(std::vector<std::string>{"llama3.2:latest", "qwen2.5:7b", "llava:7b"});
    answers->showTestResult({true, "Good luck with your interview!"});
    answers->showNote(
        "Orvane's own answer service runs on this computer: OpenAI-compatible "
        "server.");
    preferences.show();
    ok &= save(preferences, dir, "10-preferences-answers");
    answers->showSettings({AnswerSettings::Source::anthropic, "", {}}, true);
    answers->showTestResult(
        {false, "The model provider refused the request: the API key was not accepted."});
    ok &= save(preferences, dir, "11-preferences-anthropic");
    hearing.engines = "PocketSphinx, then Groq (whisper-large-v3-turbo)";
    hearing.download.reset();
    preferences.showHearing(hearing);
    auto* transcription = preferences.transcriptionView();
    transcription->showSettings({TranscriptionServer::Service::groq}, true);
    transcription->showResult("It hears: a second of quiet came back in 0.38 s.");
    QApplication::processEvents();  // laid out anew, so the scroll reaches the section
    if (auto* scroll = preferences.findChild<QScrollArea*>()) {
        scroll->ensureWidgetVisible(transcription->applyButton(), 0, 80);
    }
    ok &= save(preferences, dir, "12-preferences-transcription-server");
    preferences.showSharing(shareCases({false, "the screen-sharing streams in PipeWire", true}),
                            true);
    preferences.showShareTest(
        "Test share: Orvane's windows left it before its first frame, and "
        "came back when it ended.",
        false);
    QApplication::processEvents();
    if (auto* scroll = preferences.findChild<QScrollArea*>()) {
        scroll->ensureWidgetVisible(preferences.testShareButton(), 0, 80);
    }
    ok &= save(preferences, dir, "13-preferences-screen-sharing");
    return ok ? 0 : 1;
}
