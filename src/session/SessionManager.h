// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "platform/SpeechRecognizer.h"
#include "protocol/ChatBody.h"
#include "protocol/ConversationTurn.h"
#include "session/AnswerHistory.h"
#include "session/InterviewRecord.h"

namespace orvane {

class AudioSource;
class AuthManager;
class BackgroundQueue;
class CandidateListener;
class EchoCanceller;
class MainQueue;
class MicCapture;
class Microphone;
class ScreenSource;
class ScreenshotCapture;
class SystemAudioCapture;
class Timer;
class Workspace;

// The platform services a session runs on; all outlive every session.
struct SessionServices {
    MainQueue& mainQueue;
    BackgroundQueue& background;
    HttpClient& http;
    SpeechService& speech;
    AudioSource& audioSource;
    Microphone& microphone;
    ScreenSource& screenSource;
    Workspace& workspace;
    AuthManager& auth;
    // Takes the computer's sound out of what the microphone hears while the candidate is heard;
    // without one, only lines that repeat the interviewer's words are left out.
    EchoCanceller* echoCanceller = nullptr;
    // What hears the candidate, when not the speech service: one that never holds up the
    // interviewer's hearing (the first pass alone, where the second is shared).
    SpeechService* candidateSpeech = nullptr;
};

struct SessionConfig {
    std::string apiBase;  // an origin with no trailing slash
    double silenceThreshold = 1.5;
    // Screenshots are left out of a request that would grow larger than this.
    std::size_t maxRequestBytes = 16 * 1024 * 1024;
    // Once the transcript has not changed for this long, the question is sent ahead, unseen, so
    // that its answer is on its way when the silence rule asks it; 0 sends nothing ahead.
    double prefetchDelay = 0.7;

    // The values compiled into this build.
    static SessionConfig fromBuild();
};

// One listening session's spine: system audio feeds the recogniser, 1.5 s of silence ends an
// utterance, a long enough utterance becomes a question, and its streamed answer is recorded.
// Push-to-talk and screenshot questions enter at sendToLLM.
//
// Every public operation is called on the main thread, and every callback is made there.
class SessionManager : public std::enable_shared_from_this<SessionManager> {
public:
    enum class State { idle, listening, processing };
    enum class Model { nano, mini, standard, vision };
    static constexpr std::array<Model, 4> allModels = {Model::nano, Model::mini, Model::standard,
                                                       Model::vision};
    static std::string_view rawValue(Model model);
    static std::string_view displayName(Model model);
    static std::optional<Model> modelFromRawValue(std::string_view raw);
    // The shape of answer asked for; brief unless the user chooses another.
    enum class AnswerStyle { brief, detailed, story, codeFirst };
    static constexpr std::array<AnswerStyle, 4> allAnswerStyles = {
        AnswerStyle::brief, AnswerStyle::detailed, AnswerStyle::story, AnswerStyle::codeFirst};
    static std::string_view rawValue(AnswerStyle style);
    static std::string_view displayName(AnswerStyle style);

    static const std::vector<std::string>& contextualStrings();

    static std::shared_ptr<SessionManager> create(
        const SessionServices& services, SessionConfig config = SessionConfig::fromBuild());
    ~SessionManager();
    SessionManager(const SessionManager&) = delete;
    SessionManager& operator=(const SessionManager&) = delete;

    std::function<void(State)> onStateChanged;
    // The live transcript; push-to-talk text carries the prefix "[You] ".
    std::function<void(const std::string&)> onTranscript;
    // While the candidate is heard too: the words of their line being heard; "" once it ended.
    std::function<void(const std::string&)> onCandidateTranscript;
    // "" when an answer starts, the growing text while it streams, the trimmed text at the end.
    std::function<void(const std::string&)> onAnswer;
    std::function<void(const std::string&)> onError;
    // While the session runs: whether the computer's sound reaches the recogniser. False while
    // the sound server is away; the capture reconnects by itself.
    std::function<void(bool hearing)> onHearingChanged;
    // The number of screenshots waiting for the next question, after every change.
    std::function<void(int count)> onScreenshotsChanged;
    // The answer to the last question was "[SKIP]" (the model took it for small talk): nothing
    // was recorded, the question was withdrawn from the conversation, and what was shown before
    // it may be shown again.
    std::function<void()> onAnswerSkipped;
    // The recorded answer now shown, its index and the number recorded: after every new answer
    // and every move through the history.
    std::function<void(const std::optional<QAPair>& shown, int index, int count)> onHistoryShown;

    // Starts hearing the computer's sound. A question still being answered goes on.
    void startSession();
    // Stops hearing and drops every answer still on its way.
    void stopSession();
    // Whether the candidate's microphone is heard too while the session runs: what they say
    // enters the conversation as their own turn, and never asks anything by itself. A line that
    // repeats the interviewer's words, or a word or two said over them, is left out.
    void setHearsCandidate(bool hears);
    bool hearsCandidate() const { return m_hearsCandidate; }
    void startPushToTalk();
    void stopPushToTalk();
    void captureScreenshot(std::optional<std::uint32_t> excludingWindow);
    // Asks about the queued screenshots; an empty prompt asks what they show.
    void sendScreenshots(const std::string& prompt);
    // Asks one question. One question is answered at a time: a new one supersedes the one still
    // being answered, whose answer so far is kept, marked as cut short.
    void sendToLLM(const std::string& question);
    // The last question asked failed (a refused key, a server away) and nothing was asked
    // since: it can be asked again as it was, with its screenshots.
    bool canAskAgain() const { return m_failedQuestion.has_value(); }
    void askAgain();
    // Ends one answer: records it unless it is empty or begins with "[SKIP]", keeps the last 20
    // turns and returns to listening, or to idle when the session is not hearing.
    void completeAssistantMessage(const std::string& text);
    // Whether a streamed answer could still turn out to be the small-talk marker; such text is
    // never shown.
    static bool couldBeSkipMarker(std::string_view answerSoFar);
    // An answer that did not arrive whole, marked so that reader and model both know.
    static std::string cutShort(const std::string& answer, const std::string& reason);

    State state() const { return m_state; }
    // Whether the computer's sound is being heard: from a granted start until the stop. A
    // question asked while stopped is answered without this turning true.
    bool isRunning() const { return m_running; }
    bool isHearing() const { return m_running && m_hearing; }
    // Whether a question sent is still being answered.
    bool isAwaitingAnswer() const { return m_exchange.has_value(); }
    // Whether a question is out ahead of the silence rule, unseen.
    bool isPrefetching() const { return m_prefetch.has_value(); }
    Model selectedModel() const { return m_selectedModel; }
    void setSelectedModel(Model model) { m_selectedModel = model; }
    AnswerStyle answerStyle() const { return m_answerStyle; }
    void setAnswerStyle(AnswerStyle style) { m_answerStyle = style; }
    const std::string& systemContext() const { return m_systemContext; }
    void setSystemContext(std::string context) { m_systemContext = std::move(context); }
    const std::string& transcriptionLocale() const { return m_transcriptionLocale; }
    // Takes effect when recognition next starts.
    void setTranscriptionLocale(const std::string& localeIdentifier);
    // Whether speech in this language can be recognised here (its model is installed).
    bool canTranscribe(const std::string& localeIdentifier) const;

    AnswerHistory& history() { return m_history; }
    ScreenshotCapture& screenshots() { return *m_screenshots; }
    SystemAudioCapture& audioCapture() { return *m_audioCapture; }
    MicCapture& mic() { return *m_mic; }
    CandidateListener& candidate() { return *m_candidate; }
    const std::vector<ConversationTurn>& conversationHistory() const {
        return m_conversationHistory;
    }
    const std::string& lastQuestion() const { return m_lastQuestion; }
    // The session now running or the last one: every question and what became of it.
    const InterviewRecord& interview() const { return m_interview; }
    const std::optional<std::string>& failedQuestion() const { return m_failedQuestion; }
    const std::string& currentTranscript() const { return m_currentTranscript; }
    const std::string& apiBase() const { return m_config.apiBase; }
    double silenceThreshold() const { return m_config.silenceThreshold; }

    static constexpr const char* defaultLocale = "en-US";
    static constexpr std::size_t maxConversationTurns = 20;
    static constexpr double recognitionRestartDelay = 0.3;
    // At most this much sound is kept for the next recognition while none runs.
    static constexpr double maxGapAudioSeconds = 5;
    // How long after the silence rule the words of speech heard by timing alone may take.
    static constexpr double wordsWaitSeconds = 3;

private:
    SessionManager(const SessionServices& services, SessionConfig config);

    // The session is the one listener of its parts' events; it passes them on.
    void setupMic();
    void setupScreenshots();
    void setupHistory();
    void setupCandidate();
    // A line the candidate said: recorded, and in the conversation after the answer on its way.
    void handleCandidateLine(const std::string& line);
    void appendCandidateLines();
    // Keeps the last maxConversationTurns.
    void keepRecentTurns();
    void beginCapture();
    void feedRecognition(AudioBuffer buffer);
    void startRecognition();
    void stopRecognition();
    void restartRecognition();
    void resetSilenceTimer();
    void handleUtteranceEnd();
    void handleRecognition(std::uint64_t recognition,
                           const std::optional<SpeechRecognitionResult>& result,
                           const std::optional<SpeechRecognitionError>& error);
    void setState(State state);

    // How an answer ended, kept while it was sent ahead and replayed when it is adopted.
    struct Ending {
        enum class Kind { stop, failure, broken } kind;
        std::string text;  // the answer, the message, or the reason
        int status = 0;
    };
    // The question on its way to the backend, kept so that it can be cancelled, withdrawn and,
    // once, sent again with a renewed access token.
    struct Exchange {
        std::uint64_t id = 0;
        // Bumped at every sending: reports of a transfer that was replaced are dropped.
        std::uint64_t attempt = 0;
        HttpRequest request;
        std::string accessToken;
        std::shared_ptr<HttpTask> task;
        bool renewed = false;
        // The answer as it arrives (owned by the transfer, grown on the main thread).
        std::shared_ptr<const std::string> answer = std::make_shared<std::string>();
        // The question asked before this one, which is the last again if this one is withdrawn.
        std::string previousQuestion;
        // Sent ahead, unseen, until the silence rule adopts it; how it ended meanwhile.
        bool isPrefetch = false;
        std::string question;
        std::optional<Ending> ending;
    };
    Exchange* exchangeFor(std::uint64_t id);
    // What is asked with this conversation: the model, the context and the answer style chosen.
    chat::RequestView requestFor(const std::vector<ConversationTurn>& conversation) const;
    // The request a question would go out as now, with these screenshots.
    std::optional<HttpRequest> questionRequest(const std::string& question,
                                               std::vector<std::string> images,
                                               const std::string& token) const;
    // Everything asking does but the sending: state, the cleared answer, the user turn.
    void beginQuestion(const std::string& question, Exchange& exchange);
    void sendExchange(Exchange& exchange);
    void handleUnauthorized(std::uint64_t id);
    void endExchange(std::uint64_t id, Ending ending);
    void applyEnding(const Ending& ending);
    void handleBroken(const std::string& reason);
    void finishExchange(const std::optional<std::string>& failure, const std::string& answer);
    // Takes the question back out of the conversation, as if it had not been asked; its
    // screenshots wait for the next question again unless they were what the server refused.
    void withdrawQuestion(const Exchange& exchange, bool keepScreenshots);
    // Notes what became of the last question in the interview record.
    void record(const std::string& answer,
                InterviewRecord::Outcome outcome = InterviewRecord::Outcome::answered);
    void supersedeExchange();
    void cancelExchange();
    // Sends the question ahead this long from now (the prefetch delay unless told).
    void schedulePrefetch(std::optional<double> after = std::nullopt);
    bool liveWordsMayBeAQuestion() const;
    void prefetch();
    bool adoptPrefetch(const std::string& utterance);
    void cancelPrefetch();
    static bool passesUtteranceRule(const std::string& utterance);

    SessionServices m_services;
    SessionConfig m_config;
    State m_state = State::idle;
    bool m_running = false;
    bool m_hearing = true;
    Model m_selectedModel = Model::mini;
    AnswerStyle m_answerStyle = AnswerStyle::brief;
    std::string m_systemContext;
    std::shared_ptr<SystemAudioCapture> m_audioCapture;
    std::shared_ptr<SpeechRecognizer> m_speechRecognizer;
    std::shared_ptr<SpeechRecognitionRequest> m_recognitionRequest;
    std::shared_ptr<SpeechRecognitionTask> m_recognitionTask;
    std::string m_transcriptionLocale = defaultLocale;
    std::shared_ptr<MicCapture> m_mic;
    std::shared_ptr<CandidateListener> m_candidate;
    bool m_hearsCandidate = false;
    // Read on the capture thread: whether the computer's sound goes to the echo canceller.
    std::shared_ptr<std::atomic<bool>> m_feedsEchoCanceller =
        std::make_shared<std::atomic<bool>>(false);
    // The candidate's lines said while an answer was on its way, which follow it.
    std::vector<std::string> m_candidateLinesWaiting;
    std::shared_ptr<ScreenshotCapture> m_screenshots;
    AnswerHistory m_history;
    std::string m_currentTranscript;
    // What the live recogniser heard, before any second pass revised it.
    std::string m_liveTranscript;
    // The live recogniser heard speech whose words have not come yet (it only times speech in a
    // language it does not know); and the silence rule fired meanwhile.
    bool m_wordsBehind = false;
    bool m_askWhenTheWordsCome = false;
    std::unique_ptr<Timer> m_silenceTimer;
    std::vector<ConversationTurn> m_conversationHistory;
    std::string m_lastQuestion;
    MainQueue::TimePoint m_lastQuestionAt{};
    InterviewRecord m_interview;
    std::optional<std::string> m_failedQuestion;
    // Identifies the running recognition, so that a late report of one already ended is ignored.
    std::uint64_t m_recognitionNumber = 0;
    // Identifies the start waiting for speech authorisation; a stop in between cancels it.
    std::uint64_t m_pendingStart = 0;
    std::uint64_t m_startNumber = 0;
    std::optional<Exchange> m_exchange;
    std::optional<Exchange> m_prefetch;
    std::unique_ptr<Timer> m_prefetchTimer;
    // When the transcript last changed with new speech.
    std::optional<MainQueue::TimePoint> m_lastSpeech;
    std::uint64_t m_exchangeNumber = 0;
    // Sound that arrives while recognition restarts, fed to the next recognition first so that
    // the first words of a question asked straight after another are heard.
    std::vector<AudioBuffer> m_gapAudio;
    std::size_t m_gapFrames = 0;
};

}  // namespace orvane
