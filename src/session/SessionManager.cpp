// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "session/SessionManager.h"

#include <cctype>
#include <chrono>
#include <utility>

#include "accounts/AuthManager.h"
#include "capture/CandidateListener.h"
#include "capture/MicCapture.h"
#include "capture/ScreenshotCapture.h"
#include "capture/SystemAudioCapture.h"
#include "orvane/BuildConfig.h"
#include "platform/EchoCanceller.h"
#include "platform/HttpClient.h"
#include "platform/MainQueue.h"
#include "session/ChatRequest.h"
#include "session/SessionMessages.h"
#include "session/StreamDelegate.h"
#include "text/Text.h"

namespace orvane {

namespace {

constexpr std::string_view kSkipMarker = "[SKIP]";

}  // namespace

SessionConfig SessionConfig::fromBuild() {
    return SessionConfig{std::string(buildconfig::apiBase), buildconfig::silenceThreshold,
                         ChatRequest::maxBodyBytes};
}

std::string_view SessionManager::rawValue(Model model) {
    switch (model) {
        case Model::nano:
            return "nano";
        case Model::mini:
            return "mini";
        case Model::standard:
            return "standard";
        case Model::vision:
            return "vision";
    }
    return "mini";
}

std::string_view SessionManager::displayName(Model model) {
    switch (model) {
        case Model::nano:
            return "Nano";
        case Model::mini:
            return "Mini";
        case Model::standard:
            return "Standard";
        case Model::vision:
            return "Vision";
    }
    return "Mini";
}

std::string_view SessionManager::rawValue(AnswerStyle style) {
    switch (style) {
        case AnswerStyle::brief:
            return "brief";
        case AnswerStyle::detailed:
            return "detailed";
        case AnswerStyle::story:
            return "story";
        case AnswerStyle::codeFirst:
            return "code";
    }
    return chat::defaultAnswerStyle;
}

std::string_view SessionManager::displayName(AnswerStyle style) {
    switch (style) {
        case AnswerStyle::brief:
            return "Brief";
        case AnswerStyle::detailed:
            return "Detailed";
        case AnswerStyle::story:
            return "Story (STAR)";
        case AnswerStyle::codeFirst:
            return "Code first";
    }
    return "Brief";
}

std::optional<SessionManager::Model> SessionManager::modelFromRawValue(std::string_view raw) {
    for (auto model : allModels) {
        if (rawValue(model) == raw) return model;
    }
    return std::nullopt;
}

std::shared_ptr<SessionManager> SessionManager::create(const SessionServices& services,
                                                       SessionConfig config) {
    std::shared_ptr<SessionManager> manager(new SessionManager(services, std::move(config)));
    manager->setupMic();
    manager->setupScreenshots();
    manager->setupHistory();
    manager->setupCandidate();
    return manager;
}

SessionManager::SessionManager(const SessionServices& services, SessionConfig config)
    : m_services(services),
      m_config(std::move(config)),
      m_audioCapture(SystemAudioCapture::create(services.audioSource, services.background,
                                                services.mainQueue)),
      m_speechRecognizer(services.speech.recognizer(defaultLocale)),
      m_mic(MicCapture::create(services.microphone, services.speech, services.mainQueue)),
      m_candidate(CandidateListener::create(
          services.microphone,
          services.candidateSpeech ? *services.candidateSpeech : services.speech,
          services.mainQueue, services.echoCanceller, m_config.silenceThreshold)),
      m_screenshots(ScreenshotCapture::create(services.screenSource, services.background,
                                              services.mainQueue)),
      m_history([&queue = services.mainQueue] { return queue.now(); }) {}

SessionManager::~SessionManager() {
    // Recognition, capture and requests must not outlive the session that fed them.
    cancelPrefetch();
    cancelExchange();
    stopRecognition();
    if (m_running) m_audioCapture->stop();
    m_mic->cancelRecording();
    m_candidate->onLine = nullptr;
}

void SessionManager::setupMic() {
    auto& mainQueue = m_services.mainQueue;
    m_mic->onTranscript = [weak = weak_from_this(), &mainQueue](const std::string& text) {
        mainQueue.post([weak, text] {
            auto self = weak.lock();
            if (self && self->onTranscript) self->onTranscript("[You] " + text);
        });
    };
    // A push-to-talk question is sent whatever its length.
    m_mic->onFinished = [weak = weak_from_this(), &mainQueue](const std::string& text) {
        if (text.empty()) return;
        mainQueue.post([weak, text] {
            if (auto self = weak.lock()) self->sendToLLM(text);
        });
    };
}

void SessionManager::setupScreenshots() {
    m_screenshots->onError = [weak = weak_from_this()](const std::string& message) {
        auto self = weak.lock();
        if (self && self->onError) self->onError(message);
    };
    m_screenshots->onQueueChanged = [weak = weak_from_this()](int count) {
        auto self = weak.lock();
        if (self && self->onScreenshotsChanged) self->onScreenshotsChanged(count);
    };
}

void SessionManager::setupHistory() {
    m_history.onNavigated = [weak = weak_from_this()](std::optional<QAPair> shown, int index,
                                                      int count) {
        auto self = weak.lock();
        if (self && self->onHistoryShown) self->onHistoryShown(shown, index, count);
    };
}

void SessionManager::setupCandidate() {
    m_candidate->onTranscript = [weak = weak_from_this()](const std::string& text) {
        auto self = weak.lock();
        if (self && self->onCandidateTranscript) self->onCandidateTranscript(text);
    };
    m_candidate->onLine = [weak = weak_from_this()](const std::string& line) {
        if (auto self = weak.lock()) self->handleCandidateLine(line);
    };
}

void SessionManager::setHearsCandidate(bool hears) {
    m_hearsCandidate = hears;
    *m_feedsEchoCanceller = hears;
    if (!m_running) return;
    if (hears) {
        m_candidate->start();
    } else {
        m_candidate->stop();
    }
}

void SessionManager::handleCandidateLine(const std::string& line) {
    if (!m_running) return;
    // Heard on the speakers and again by the microphone: the interviewer's words, not theirs.
    if (text::mostlyRepeats(line,
                            m_currentTranscript + " " + m_liveTranscript + " " + m_lastQuestion)) {
        return;
    }
    // A word or two over the interviewer is a "mm-hm", or what echo cancellation left while it
    // was still finding the echo: nothing to answer by.
    const auto sinceInterviewer = std::chrono::duration<double>(
        m_services.mainQueue.now() - m_lastSpeech.value_or(MainQueue::TimePoint{}));
    if (sinceInterviewer.count() < 2 * m_config.silenceThreshold &&
        text::splitOmittingEmpty(line, ' ').size() <= 2) {
        return;
    }
    m_interview.add(
        {m_services.mainQueue.now(), line, "", InterviewRecord::Outcome::candidateSaid});
    m_candidateLinesWaiting.push_back(line);
    if (m_exchange) return;
    appendCandidateLines();
    keepRecentTurns();
}

void SessionManager::appendCandidateLines() {
    for (const auto& line : m_candidateLinesWaiting) {
        m_conversationHistory.push_back(candidateTurn(line));
    }
    m_candidateLinesWaiting.clear();
}

void SessionManager::keepRecentTurns() {
    if (m_conversationHistory.size() > maxConversationTurns) {
        m_conversationHistory.erase(
            m_conversationHistory.begin(),
            m_conversationHistory.end() - static_cast<std::ptrdiff_t>(maxConversationTurns));
    }
}

void SessionManager::startSession() {
    if (m_running || m_pendingStart != 0) return;
    if (!m_services.auth.isAuthenticated()) {
        if (onError) onError(messages::notSignedIn);
        return;
    }
    const auto start = ++m_startNumber;
    m_pendingStart = start;
    m_services.speech.requestAuthorization([weak = weak_from_this(),
                                            &mainQueue = m_services.mainQueue,
                                            start](SpeechAuthorizationStatus status) {
        mainQueue.post([weak, start, status] {
            auto self = weak.lock();
            if (!self || self->m_pendingStart != start) return;
            self->m_pendingStart = 0;
            if (status == SpeechAuthorizationStatus::authorized) {
                self->beginCapture();
            } else if (self->onError) {
                self->onError(status == SpeechAuthorizationStatus::denied
                                  ? messages::permissionDenied
                                  : messages::noSpeechHere);
            }
        });
    });
}

void SessionManager::beginCapture() {
    // Blocks reach the recognition request through the main queue, so the request (replaced on
    // every restart) is only ever touched on the main thread.
    m_audioCapture->onAudioBuffer = [weak = weak_from_this(), &mainQueue = m_services.mainQueue,
                                     echo = m_services.echoCanceller,
                                     feedsEcho = m_feedsEchoCanceller](AudioBuffer buffer) {
        if (echo && *feedsEcho) echo->playback(buffer);
        mainQueue.post([weak, buffer = std::move(buffer)]() mutable {
            if (auto self = weak.lock()) self->feedRecognition(std::move(buffer));
        });
    };
    m_audioCapture->onError = [weak = weak_from_this()](const std::string& message) {
        auto self = weak.lock();
        if (self && self->onError) self->onError(message);
    };
    m_audioCapture->onCapturingChanged = [weak = weak_from_this()](bool capturing) {
        auto self = weak.lock();
        if (!self || !self->m_running || self->m_hearing == capturing) return;
        self->m_hearing = capturing;
        if (self->onHearingChanged) self->onHearingChanged(capturing);
    };
    m_audioCapture->start();
    m_interview.begin(m_services.mainQueue.now());
    m_running = true;
    m_hearing = true;
    startRecognition();
    if (m_hearsCandidate) m_candidate->start();
    // An answer on its way keeps the session thinking; it returns to listening when it ends.
    if (m_state == State::idle) setState(State::listening);
}

void SessionManager::feedRecognition(AudioBuffer buffer) {
    if (m_recognitionRequest) {
        m_recognitionRequest->append(buffer);
        return;
    }
    if (!m_running) return;
    m_gapFrames += buffer.frameCount();
    m_gapAudio.push_back(std::move(buffer));
    // The oldest sound gives way: what matters is what was said just before hearing resumes.
    while (!m_gapAudio.empty() &&
           static_cast<double>(m_gapFrames - m_gapAudio.front().frameCount()) >=
               maxGapAudioSeconds * m_gapAudio.front().sampleRate) {
        m_gapFrames -= m_gapAudio.front().frameCount();
        m_gapAudio.erase(m_gapAudio.begin());
    }
}

void SessionManager::stopSession() {
    m_pendingStart = 0;
    m_running = false;
    cancelPrefetch();
    if (m_exchange && !couldBeSkipMarker(*m_exchange->answer)) {
        record(cutShort(*m_exchange->answer, "The session was stopped."));
    }
    cancelExchange();
    m_gapAudio.clear();
    m_gapFrames = 0;
    m_audioCapture->stop();
    m_mic->stopRecording();
    m_candidate->stop();
    m_candidateLinesWaiting.clear();
    stopRecognition();
    m_silenceTimer.reset();
    m_currentTranscript.clear();
    m_liveTranscript.clear();
    m_wordsBehind = m_askWhenTheWordsCome = false;
    m_conversationHistory.clear();
    m_screenshots->clear();
    setState(State::idle);
}

// Push-to-talk has the microphone to itself: what is said then is a question, not a line.
void SessionManager::startPushToTalk() {
    if (m_state == State::idle) return;
    m_candidate->stop();
    m_mic->startRecording();
}

void SessionManager::stopPushToTalk() {
    m_mic->stopRecording();
    if (m_running && m_hearsCandidate) m_candidate->start();
}

void SessionManager::captureScreenshot(std::optional<std::uint32_t> excludingWindow) {
    m_screenshots->capture(excludingWindow);
}

void SessionManager::sendScreenshots(const std::string& prompt) {
    sendToLLM(prompt.empty() ? messages::screenshotPrompt : prompt);
}

void SessionManager::setTranscriptionLocale(const std::string& localeIdentifier) {
    m_transcriptionLocale = localeIdentifier;
    m_speechRecognizer = m_services.speech.recognizer(localeIdentifier);
}

bool SessionManager::canTranscribe(const std::string& localeIdentifier) const {
    const auto recognizer = m_services.speech.recognizer(localeIdentifier);
    return recognizer && recognizer->isAvailable();
}

void SessionManager::setState(State state) {
    m_state = state;
    m_services.mainQueue.post([weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->onStateChanged) self->onStateChanged(self->m_state);
    });
}

void SessionManager::startRecognition() {
    if (!m_speechRecognizer || !m_speechRecognizer->isAvailable()) {
        if (onError) {
            onError("Speech recognition not available: no speech model for " +
                    m_transcriptionLocale + " is installed");
        }
        return;
    }
    // Two restarts in flight (an utterance end and a service error) must not leave an orphaned
    // recognition running beside the new one.
    stopRecognition();
    const auto recognition = ++m_recognitionNumber;
    m_recognitionRequest = m_speechRecognizer->makeRequest(
        {true, contextualStrings(), text::interviewTerms(m_systemContext)});
    m_recognitionTask = m_speechRecognizer->recognitionTask(
        m_recognitionRequest, [weak = weak_from_this(), &mainQueue = m_services.mainQueue,
                               recognition](std::optional<SpeechRecognitionResult> result,
                                            std::optional<SpeechRecognitionError> error) {
            mainQueue.post(
                [weak, recognition, result = std::move(result), error = std::move(error)] {
                    if (auto self = weak.lock())
                        self->handleRecognition(recognition, result, error);
                });
        });
    for (const auto& buffer : m_gapAudio) m_recognitionRequest->append(buffer);
    m_gapAudio.clear();
    m_gapFrames = 0;
}

void SessionManager::stopRecognition() {
    ++m_recognitionNumber;
    if (m_recognitionRequest) m_recognitionRequest->endAudio();
    if (m_recognitionTask) m_recognitionTask->cancel();
    m_recognitionRequest.reset();
    m_recognitionTask.reset();
}

void SessionManager::handleRecognition(std::uint64_t recognition,
                                       const std::optional<SpeechRecognitionResult>& result,
                                       const std::optional<SpeechRecognitionError>& error) {
    if (recognition != m_recognitionNumber) return;
    // A second pass hears the same audio with more imagination: words the live recogniser heard
    // as too short to be a question (a cough, "okay") are not made into one.
    if (result && result->isRevision && !liveWordsMayBeAQuestion()) return;
    if (result) {
        if (!result->isRevision) m_liveTranscript = result->formattedString;
        // Speech in a language the live recogniser does not know: it times the silence, and the
        // words come with the revision.
        const bool wordsWereBehind = std::exchange(m_wordsBehind, result->isTimingOnly);
        if (!result->isTimingOnly) {
            m_currentTranscript = result->formattedString;
            if (onTranscript) onTranscript(m_currentTranscript);
        }
        // A revision is the same speech heard again, not more of it: the silence goes on, and
        // what was sent ahead goes again if its words changed.
        if (result->isRevision) {
            const std::string revised(text::trimWhitespaceAndNewlines(m_currentTranscript));
            if ((m_prefetch && m_prefetch->question != revised) ||
                (!m_prefetch && wordsWereBehind)) {
                cancelPrefetch();
                const auto quiet = std::chrono::duration<double>(
                    m_services.mainQueue.now() - m_lastSpeech.value_or(MainQueue::TimePoint{}));
                if (quiet.count() >= m_config.prefetchDelay) {
                    prefetch();
                } else {
                    schedulePrefetch(m_config.prefetchDelay - quiet.count());
                }
            }
            if (std::exchange(m_askWhenTheWordsCome, false)) {
                m_silenceTimer.reset();
                handleUtteranceEnd();
            }
        } else {
            m_askWhenTheWordsCome = false;
            m_lastSpeech = m_services.mainQueue.now();
            cancelPrefetch();
            schedulePrefetch();
            resetSilenceTimer();
        }
    }
    // Recognition errors are never shown: a failed service is restarted, the rest ignored.
    if (error && error->kind == SpeechRecognitionError::Kind::serviceFailed) restartRecognition();
}

void SessionManager::resetSilenceTimer() {
    m_silenceTimer = m_services.mainQueue.scheduleTimer(m_config.silenceThreshold, false,
                                                        [weak = weak_from_this()] {
                                                            if (auto self = weak.lock())
                                                                self->handleUtteranceEnd();
                                                        });
}

// A live recogniser that only times the speech (its words all come as revisions) has none to
// judge by.
bool SessionManager::liveWordsMayBeAQuestion() const {
    const std::string live(text::trimWhitespaceAndNewlines(m_liveTranscript));
    return live.empty() || passesUtteranceRule(live);
}

bool SessionManager::passesUtteranceRule(const std::string& utterance) {
    const auto words = text::splitOmittingEmpty(utterance, ' ');
    return words.size() >= 2 || text::characterCount(utterance) >= 8;
}

void SessionManager::handleUtteranceEnd() {
    m_prefetchTimer.reset();
    if (m_wordsBehind) {
        // The silence passed before the words of what was said: they are asked when they come.
        if (!m_askWhenTheWordsCome && liveWordsMayBeAQuestion()) {
            m_askWhenTheWordsCome = true;
            m_silenceTimer = m_services.mainQueue.scheduleTimer(wordsWaitSeconds, false,
                                                                [weak = weak_from_this()] {
                                                                    if (auto self = weak.lock())
                                                                        self->handleUtteranceEnd();
                                                                });
            return;
        }
        // Too short to be a question, or its words never came (the second pass heard nothing it
        // trusts): nothing is asked.
        m_wordsBehind = m_askWhenTheWordsCome = false;
        m_currentTranscript.clear();
        m_liveTranscript.clear();
        cancelPrefetch();
        restartRecognition();
        return;
    }
    const std::string utterance(text::trimWhitespaceAndNewlines(m_currentTranscript));
    if (utterance.empty()) return;
    m_currentTranscript.clear();
    m_liveTranscript.clear();
    if (!passesUtteranceRule(utterance)) {
        cancelPrefetch();
    } else if (!adoptPrefetch(utterance)) {
        sendToLLM(utterance);
    }
    restartRecognition();
}

void SessionManager::schedulePrefetch(std::optional<double> after) {
    if (m_config.prefetchDelay <= 0) return;
    m_prefetchTimer = m_services.mainQueue.scheduleTimer(after.value_or(m_config.prefetchDelay),
                                                         false, [weak = weak_from_this()] {
                                                             if (auto self = weak.lock())
                                                                 self->prefetch();
                                                         });
}

// Sent ahead only when asking now would go out alone: an answer still streaming would be cut
// short by the question and change what it is asked with.
void SessionManager::prefetch() {
    m_prefetchTimer.reset();
    if (m_prefetch || m_exchange || m_wordsBehind || !m_running || m_config.prefetchDelay <= 0)
        return;
    const std::string utterance(text::trimWhitespaceAndNewlines(m_currentTranscript));
    const auto& token = m_services.auth.accessToken();
    if (!token || !passesUtteranceRule(utterance)) return;
    auto request = questionRequest(utterance, m_screenshots->queue(), *token);
    if (!request) return;
    ChatRequest::markAsPrefetch(*request);
    Exchange exchange;
    exchange.id = ++m_exchangeNumber;
    exchange.isPrefetch = true;
    exchange.question = utterance;
    exchange.request = std::move(*request);
    exchange.accessToken = *token;
    m_prefetch = std::move(exchange);
    sendExchange(*m_prefetch);
}

// The silence rule asks what was sent ahead, with the same conversation, screenshots, model and
// context: its answer, as far as it has come, is shown at once.
bool SessionManager::adoptPrefetch(const std::string& utterance) {
    if (!m_prefetch) return false;
    const auto& token = m_services.auth.accessToken();
    // Questions sent ahead have a budget of their own at the backend; one it refused is asked
    // as any question is.
    const bool refusedAhead = m_prefetch->ending &&
                              m_prefetch->ending->kind == Ending::Kind::failure &&
                              m_prefetch->ending->status == 429;
    const auto now = token && !m_exchange && !refusedAhead && m_prefetch->question == utterance
                         ? questionRequest(utterance, m_screenshots->queue(), *token)
                         : std::nullopt;
    if (!now || now->body != m_prefetch->request.body) {
        cancelPrefetch();
        return false;
    }
    auto exchange = std::move(*m_prefetch);
    m_prefetch.reset();
    exchange.isPrefetch = false;
    beginQuestion(utterance, exchange);
    m_exchange = std::move(exchange);
    if (const auto answer = *m_exchange->answer; !couldBeSkipMarker(answer)) {
        m_services.mainQueue.post([weak = weak_from_this(), answer] {
            auto self = weak.lock();
            if (self && self->onAnswer) self->onAnswer(answer);
        });
    }
    // An answer that ended while it was ahead ends after what was posted above: shown, then
    // recorded, as any answer is.
    if (auto ending = std::move(m_exchange->ending)) {
        m_services.mainQueue.post([weak = weak_from_this(), id = m_exchange->id, ending = *ending] {
            auto self = weak.lock();
            if (self && self->m_exchange && self->m_exchange->id == id) {
                self->applyEnding(ending);
            }
        });
    }
    return true;
}

void SessionManager::cancelPrefetch() {
    m_prefetchTimer.reset();
    if (!m_prefetch) return;
    auto task = std::move(m_prefetch->task);
    m_prefetch.reset();
    if (task) task->cancel();
}

std::optional<HttpRequest> SessionManager::questionRequest(const std::string& question,
                                                           std::vector<std::string> images,
                                                           const std::string& token) const {
    auto conversation = m_conversationHistory;
    conversation.push_back({"user", question, std::move(images)});
    ChatRequest::fitImages(conversation, rawValue(m_selectedModel), m_systemContext,
                           m_config.maxRequestBytes);
    return ChatRequest::make(m_config.apiBase, token, requestFor(conversation));
}

chat::RequestView SessionManager::requestFor(
    const std::vector<ConversationTurn>& conversation) const {
    return {rawValue(m_selectedModel), conversation, m_systemContext, rawValue(m_answerStyle)};
}

void SessionManager::restartRecognition() {
    stopRecognition();
    m_services.mainQueue.postAfter(recognitionRestartDelay, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->m_running) self->startRecognition();
    });
}

void SessionManager::sendToLLM(const std::string& question) {
    const auto& token = m_services.auth.accessToken();
    if (!token) {
        if (onError) onError(messages::signInAgain);
        return;
    }
    // Asked another way, the question sent ahead is not the one asked.
    cancelPrefetch();
    supersedeExchange();
    Exchange exchange;
    exchange.id = ++m_exchangeNumber;
    beginQuestion(question, exchange);
    auto request = ChatRequest::make(m_config.apiBase, *token, requestFor(m_conversationHistory));
    if (!request) {
        withdrawQuestion(exchange, true);
        if (onError) onError(messages::invalidApiUrl);
        completeAssistantMessage("");
        return;
    }
    exchange.request = std::move(*request);
    exchange.accessToken = *token;
    m_exchange = std::move(exchange);
    sendExchange(*m_exchange);
}

void SessionManager::askAgain() {
    if (!m_failedQuestion) return;
    const auto question = std::exchange(m_failedQuestion, std::nullopt);
    sendToLLM(*question);
}

void SessionManager::beginQuestion(const std::string& question, Exchange& exchange) {
    m_failedQuestion.reset();
    // A screenshot goes with the question it was taken for; the model has seen it since.
    for (auto& turn : m_conversationHistory) turn.images.clear();
    setState(State::processing);
    m_services.mainQueue.post([weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->onAnswer) self->onAnswer("");
    });
    exchange.previousQuestion = std::exchange(m_lastQuestion, question);
    m_lastQuestionAt = m_services.mainQueue.now();
    appendCandidateLines();
    ConversationTurn turn{"user", question, m_screenshots->flush()};
    const auto attached = turn.images.size();
    m_conversationHistory.push_back(std::move(turn));
    // A question's screenshots together may pass the server's limit, which would refuse it: the
    // oldest give way.
    const auto left = ChatRequest::fitImages(m_conversationHistory, rawValue(m_selectedModel),
                                             m_systemContext, m_config.maxRequestBytes);
    if (left > 0) {
        const auto message = std::to_string(left) + " of the " + std::to_string(attached) +
                             " screenshots were left out: together they are more than the server "
                             "takes in one question";
        m_services.mainQueue.post([weak = weak_from_this(), message] {
            auto self = weak.lock();
            if (self && self->onError) self->onError(message);
        });
    }
}

SessionManager::Exchange* SessionManager::exchangeFor(std::uint64_t id) {
    if (m_exchange && m_exchange->id == id) return &*m_exchange;
    if (m_prefetch && m_prefetch->id == id) return &*m_prefetch;
    return nullptr;
}

void SessionManager::sendExchange(Exchange& exchange) {
    if (exchange.task) exchange.task->cancel();
    const auto weak = weak_from_this();
    const auto id = exchange.id;
    const auto attempt = ++exchange.attempt;
    // Reports reach the session only while this very transfer is the one awaited.
    const auto live = [weak, id, attempt]() -> std::shared_ptr<SessionManager> {
        auto self = weak.lock();
        const auto* exchange = self ? self->exchangeFor(id) : nullptr;
        return exchange && exchange->attempt == attempt ? self : nullptr;
    };
    StreamDelegate::Receiver receiver;
    receiver.isAwaiting = [live] { return live() != nullptr; };
    receiver.onDelta = [live, id](const std::string& answer) {
        auto self = live();
        if (self && !self->exchangeFor(id)->isPrefetch && self->onAnswer &&
            !couldBeSkipMarker(answer)) {
            self->onAnswer(answer);
        }
    };
    receiver.onStop = [live, id](const std::string& answer) {
        if (auto self = live()) self->endExchange(id, {Ending::Kind::stop, answer});
    };
    receiver.onFailure = [live, id](const std::string& message, int status) {
        if (auto self = live()) self->endExchange(id, {Ending::Kind::failure, message, status});
    };
    receiver.onBroken = [live, id](const std::string& reason) {
        if (auto self = live()) self->endExchange(id, {Ending::Kind::broken, reason});
    };
    receiver.onUnauthorized = [live, id] {
        if (auto self = live()) self->handleUnauthorized(id);
    };
    auto delegate = std::make_shared<StreamDelegate>(std::move(receiver), m_services.mainQueue);
    exchange.answer = delegate->answerSoFar();
    exchange.task = m_services.http.stream(exchange.request, std::move(delegate));
}

// An answer sent ahead keeps its ending for the moment it is asked; one asked ends now.
void SessionManager::endExchange(std::uint64_t id, Ending ending) {
    auto* exchange = exchangeFor(id);
    if (!exchange) return;
    if (exchange->isPrefetch) {
        exchange->ending = std::move(ending);
        return;
    }
    applyEnding(ending);
}

void SessionManager::applyEnding(const Ending& ending) {
    switch (ending.kind) {
        case Ending::Kind::stop:
            finishExchange(std::nullopt, ending.text);
            break;
        case Ending::Kind::failure:
            // A server that fails after words have arrived (a model that stopped, an answer
            // stopped at its cap) leaves them read: they are kept, cut short with its reason.
            if (!couldBeSkipMarker(*m_exchange->answer)) {
                handleBroken(ending.text);
                break;
            }
            // Too large: the screenshots kept in the conversation would make every later
            // question too large as well.
            if (ending.status == 413) {
                for (auto& turn : m_conversationHistory) turn.images.clear();
            }
            finishExchange(ending.text, "");
            break;
        case Ending::Kind::broken:
            handleBroken(ending.text);
            break;
    }
}

// An access token runs out long before the sign-in does: renew it once and ask again, so the user
// never sees the expiry. A question sent ahead is renewed the same way, unseen.
void SessionManager::handleUnauthorized(std::uint64_t id) {
    auto& exchange = *exchangeFor(id);
    // The refused transfer is finished with: nothing it might still report can end the question.
    if (exchange.task) exchange.task->cancel();
    exchange.task.reset();
    auto& auth = m_services.auth;
    if (exchange.renewed || !auth.refreshToken()) {
        endExchange(id, {Ending::Kind::failure, StreamDelegate::messageForStatus(401), 401});
        return;
    }
    exchange.renewed = true;
    const auto resend = [weak = weak_from_this(), id] {
        auto self = weak.lock();
        auto* again = self ? self->exchangeFor(id) : nullptr;
        if (!again) return;
        const auto& token = self->m_services.auth.accessToken();
        if (!token) {
            self->endExchange(id, {Ending::Kind::failure, messages::signInAgain});
            return;
        }
        again->accessToken = *token;
        ChatRequest::setAccessToken(again->request, *token);
        self->sendExchange(*again);
    };
    // Another answer may have renewed the token since this request went out.
    if (auth.accessToken() && *auth.accessToken() != exchange.accessToken) {
        resend();
        return;
    }
    auth.refreshSession([weak = weak_from_this(), id, resend](AuthManager::RefreshResult result) {
        auto self = weak.lock();
        if (!self || !self->exchangeFor(id)) return;
        switch (result) {
            case AuthManager::RefreshResult::refreshed:
                resend();
                break;
            case AuthManager::RefreshResult::refused:
                self->endExchange(
                    id, {Ending::Kind::failure, StreamDelegate::messageForStatus(401), 401});
                break;
            case AuthManager::RefreshResult::failed:
                self->endExchange(id, {Ending::Kind::failure, messages::renewalFailed});
                break;
        }
    });
}

// A long answer that stops arriving keeps what came: the reader has it already.
void SessionManager::handleBroken(const std::string& reason) {
    const auto& answer = *m_exchange->answer;
    if (couldBeSkipMarker(answer)) {
        finishExchange("Stream error: " + reason, "");
    } else {
        finishExchange(std::nullopt, cutShort(answer, reason));
    }
}

void SessionManager::finishExchange(const std::optional<std::string>& failure,
                                    const std::string& answer) {
    auto exchange = std::move(*m_exchange);
    m_exchange.reset();
    if (failure) {
        // A refused question is asked again by the user: its screenshots wait for that.
        auto question = m_lastQuestion;
        record(*failure, InterviewRecord::Outcome::failed);
        withdrawQuestion(exchange, true);
        m_failedQuestion = std::move(question);
        if (onError) onError(*failure);
        completeAssistantMessage("");
        return;
    }
    // Small talk (or nothing at all) leaves the conversation as if it had not been sent.
    const bool skipped = couldBeSkipMarker(answer);
    if (skipped) {
        record("", InterviewRecord::Outcome::skipped);
        withdrawQuestion(exchange, true);
    }
    completeAssistantMessage(answer);
    if (skipped) {
        m_services.mainQueue.post([weak = weak_from_this()] {
            auto self = weak.lock();
            if (self && self->onAnswerSkipped) self->onAnswerSkipped();
        });
    }
}

void SessionManager::withdrawQuestion(const Exchange& exchange, bool keepScreenshots) {
    m_lastQuestion = exchange.previousQuestion;
    if (m_conversationHistory.empty() || m_conversationHistory.back().role != "user") return;
    auto images = std::move(m_conversationHistory.back().images);
    m_conversationHistory.pop_back();
    if (keepScreenshots) m_screenshots->putBack(std::move(images));
}

void SessionManager::supersedeExchange() {
    if (!m_exchange) return;
    auto exchange = std::move(*m_exchange);
    m_exchange.reset();
    if (exchange.task) exchange.task->cancel();
    if (couldBeSkipMarker(*exchange.answer)) {
        record("A new question was asked first.", InterviewRecord::Outcome::failed);
        withdrawQuestion(exchange, true);
        return;
    }
    // The model keeps the context of what it had said, and the reader can page back to it.
    const auto answer = cutShort(*exchange.answer, "A new question was asked.");
    m_conversationHistory.push_back({"assistant", answer, {}});
    m_history.append(m_lastQuestion, answer);
    record(answer);
}

void SessionManager::cancelExchange() {
    if (!m_exchange) return;
    auto task = std::move(m_exchange->task);
    m_exchange.reset();
    if (task) task->cancel();
}

bool SessionManager::couldBeSkipMarker(std::string_view answerSoFar) {
    const auto start = answerSoFar.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return true;
    const auto text = answerSoFar.substr(start);
    if (text.starts_with(kSkipMarker) || kSkipMarker.starts_with(text)) return true;
    // The marker alone as models also write it: in any case, in light Markdown ("**[SKIP]**",
    // "`skip`"), or without its brackets; or, while it streams, the start of one of those.
    constexpr std::string_view wrapping = " \t\r\n*_`~.";
    const auto first = text.find_first_not_of(wrapping);
    if (first == std::string_view::npos) return true;
    const auto last = text.find_last_not_of(wrapping);
    std::string core;
    for (const char c : text.substr(first, last - first + 1)) {
        core += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const bool wrappedAfter = last + 1 < text.size();
    for (const std::string_view marker : {"[skip]", "skip"}) {
        if (core == marker || (!wrappedAfter && marker.starts_with(core))) return true;
    }
    return false;
}

void SessionManager::record(const std::string& answer, InterviewRecord::Outcome outcome) {
    m_interview.add({m_lastQuestionAt, m_lastQuestion, answer, outcome});
}

std::string SessionManager::cutShort(const std::string& answer, const std::string& reason) {
    return std::string(text::trimWhitespaceAndNewlines(answer)) + "\n\n*(Cut short. " + reason +
           ")*";
}

void SessionManager::completeAssistantMessage(const std::string& text) {
    const std::string answer(text::trimWhitespaceAndNewlines(text));
    if (!couldBeSkipMarker(answer)) {
        m_conversationHistory.push_back({"assistant", answer, {}});
        m_services.mainQueue.post([weak = weak_from_this(), answer] {
            auto self = weak.lock();
            if (self && self->onAnswer) self->onAnswer(answer);
        });
        m_history.append(m_lastQuestion, answer);
        record(answer);
    }
    appendCandidateLines();
    keepRecentTurns();
    setState(m_running ? State::listening : State::idle);
}

}  // namespace orvane
