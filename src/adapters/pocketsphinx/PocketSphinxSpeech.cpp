// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pocketsphinx/PocketSphinxSpeech.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <deque>
#include <map>
#include <sstream>
#include <thread>

#include "adapters/pocketsphinx/HypothesisReporter.h"
#include "adapters/pocketsphinx/StreamResampler.h"

namespace orvane {

namespace {

// How much decoded audio passes between two looks at the hypothesis: often enough for a live
// transcript, rarely enough to keep the decoder's cost down.
constexpr std::size_t kSamplesBetweenHypotheses = 3200;  // 0.2 s at 16 kHz

std::string normalised(std::string_view term) {
    std::string key;
    for (unsigned char c : term) {
        if (std::isalnum(c)) key += static_cast<char>(std::tolower(c));
    }
    return key;
}

}  // namespace

struct PocketSphinxSpeechService::Shared {
    SpeechModelPaths paths;
    PocketSphinxDecoder::Tuning tuning;
    DecoderPool<PocketSphinxDecoder> pool;
    std::mutex mutex;
    std::condition_variable changed;
    int runningTasks = 0;
    // Tasks told to stop whose decoder is about to come back to the pool.
    int finishingTasks = 0;
    std::size_t undecodedBlocks = 0;

    Shared(SpeechModelPaths p, PocketSphinxDecoder::Tuning t)
        : paths(std::move(p)),
          tuning(std::move(t)),
          pool([this] { return PocketSphinxDecoder::load(paths, tuning); }) {}
};

namespace {

using Shared = PocketSphinxSpeechService::Shared;

class Request : public SpeechRecognitionRequest {
public:
    Request(RecognitionOptions options, std::shared_ptr<Shared> shared)
        : m_shared(std::move(shared)) {
        // The decoder speaks lower case; hints say how a term is written.
        for (const auto& term : options.contextualStrings) m_spelling[normalised(term)] = term;
    }

    void append(const AudioBuffer& buffer) override {
        {
            std::lock_guard lock(m_mutex);
            if (m_ended || m_closed) return;
            m_blocks.push_back(buffer);
        }
        {
            std::lock_guard lock(m_shared->mutex);
            ++m_shared->undecodedBlocks;
        }
        m_wake.notify_all();
    }
    void endAudio() override {
        {
            std::lock_guard lock(m_mutex);
            m_ended = true;
        }
        beginFinishing();
        m_wake.notify_all();
    }

    // Its recognition is winding down (audio ended or cancelled): a decoder is about to come back
    // to the pool, and a recognition starting now should wait for it rather than load another.
    void beginFinishing() {
        std::lock_guard lock(m_shared->mutex);
        if (!m_decoding || m_finishing) return;
        m_finishing = true;
        ++m_shared->finishingTasks;
    }
    void decodingStarted() {
        std::lock_guard lock(m_shared->mutex);
        m_decoding = true;
    }
    // Called with the shared mutex held.
    void decodingEndedLocked() {
        if (m_finishing) --m_shared->finishingTasks;
        m_decoding = false;
        m_finishing = false;
    }
    void interrupt() { m_wake.notify_all(); }

    // The recognition is over: audio still queued or appended later is dropped, and no longer
    // counts as waiting to be decoded.
    void close() {
        std::size_t dropped;
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
            dropped = m_blocks.size();
            m_blocks.clear();
        }
        std::lock_guard lock(m_shared->mutex);
        m_shared->undecodedBlocks -= std::min(m_shared->undecodedBlocks, dropped);
    }

    // Waits for audio; returns the blocks, and whether the audio has ended.
    std::deque<AudioBuffer> take(bool& ended, const std::function<bool()>& stop) {
        std::unique_lock lock(m_mutex);
        m_wake.wait_for(lock, std::chrono::milliseconds(100),
                        [&] { return !m_blocks.empty() || m_ended || stop(); });
        ended = m_ended;
        std::deque<AudioBuffer> blocks;
        blocks.swap(m_blocks);
        return blocks;
    }

    std::string format(const std::string& hypothesis) const {
        std::istringstream words(hypothesis);
        std::string out;
        for (std::string word; words >> word;) {
            const auto known = m_spelling.find(normalised(word));
            if (!out.empty()) out += ' ';
            out += known != m_spelling.end() ? known->second : word;
        }
        if (!out.empty())
            out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
        return out;
    }

private:
    std::shared_ptr<Shared> m_shared;
    std::map<std::string, std::string> m_spelling;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<AudioBuffer> m_blocks;
    bool m_ended = false;
    bool m_closed = false;
    // Guarded by the shared mutex.
    bool m_decoding = false;
    bool m_finishing = false;
};

// One recognition. Its thread owns the decoder while it runs; results reach the handler under
// a lock that cancel() also takes, so once cancel() has returned only the cancellation follows.
class Task : public SpeechRecognitionTask {
public:
    struct State {
        std::shared_ptr<Shared> shared;
        std::shared_ptr<Request> request;
        RecognitionHandler handler;
        std::mutex deliverMutex;
        bool cancelled = false;
        bool finished = false;
        std::atomic<bool> stopRequested{false};

        void deliver(std::optional<SpeechRecognitionResult> result,
                     std::optional<SpeechRecognitionError> error) {
            std::lock_guard lock(deliverMutex);
            if (cancelled || finished) return;
            if (result && result->isFinal) finished = true;
            handler(std::move(result), std::move(error));
        }
    };

    explicit Task(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    void cancel() override {
        {
            std::lock_guard lock(m_state->deliverMutex);
            if (m_state->cancelled) return;
            m_state->cancelled = true;
            m_state->stopRequested = true;
            if (!m_state->finished) {
                m_state->handler(std::nullopt,
                                 SpeechRecognitionError{SpeechRecognitionError::cancellationDomain,
                                                        1, "Recognition request was canceled"});
            }
        }
        m_state->request->beginFinishing();
        m_state->request->interrupt();
    }

private:
    std::shared_ptr<State> m_state;
};

void decode(std::shared_ptr<Task::State> state) {
    auto& shared = *state->shared;
    state->request->decodingStarted();
    {
        // A recognition restarted right after the last one ended would otherwise load a second
        // decoder (seconds) while the first is a moment from coming back warm.
        std::unique_lock lock(shared.mutex);
        shared.changed.wait_for(lock, std::chrono::seconds(3), [&] {
            return shared.finishingTasks == 0 || shared.pool.idleCount() > 0;
        });
    }
    auto decoder = shared.pool.acquire();
    if (!decoder) {
        state->deliver(
            std::nullopt,
            SpeechRecognitionError{"PocketSphinx", 2, "The speech model could not be loaded."});
    }
    StreamResampler resampler;
    HypothesisReporter reporter;
    std::vector<std::int16_t> samples;
    std::size_t sinceHypothesis = 0;
    if (decoder) decoder->startUtterance();
    bool ended = false;
    while (decoder && !ended && !state->stopRequested) {
        auto blocks = state->request->take(ended, [&] { return state->stopRequested.load(); });
        samples.clear();
        for (const auto& block : blocks) resampler.process(block, samples);
        if (ended) resampler.finish(samples);
        decoder->process(samples.data(), samples.size());
        sinceHypothesis += samples.size();
        if (sinceHypothesis >= kSamplesBetweenHypotheses || ended) {
            sinceHypothesis = 0;
            if (auto text = reporter.offer(decoder->hypothesis())) {
                state->deliver(SpeechRecognitionResult{state->request->format(*text), false},
                               std::nullopt);
            }
        }
        // Counted as decoded only once any result they produced has been handed on.
        if (!blocks.empty()) {
            std::lock_guard lock(shared.mutex);
            shared.undecodedBlocks -= std::min(shared.undecodedBlocks, blocks.size());
        }
        shared.changed.notify_all();
    }
    state->request->close();
    if (decoder) {
        decoder->endUtterance();
        // The end is reported even when nothing was heard: whoever ended the audio is waiting
        // for it.
        if (ended && !state->stopRequested) {
            state->deliver(
                SpeechRecognitionResult{state->request->format(decoder->hypothesis()), true},
                std::nullopt);
        }
    }
    decoder.reset();  // back to the pool before anyone waiting for it is woken
    {
        std::lock_guard lock(shared.mutex);
        --shared.runningTasks;
        state->request->decodingEndedLocked();
    }
    shared.changed.notify_all();
}

class Recognizer : public SpeechRecognizer {
public:
    explicit Recognizer(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

    bool isAvailable() const override { return m_shared->paths.exist(); }

    std::shared_ptr<SpeechRecognitionRequest> makeRequest(RecognitionOptions options) override {
        return std::make_shared<Request>(std::move(options), m_shared);
    }

    std::shared_ptr<SpeechRecognitionTask> recognitionTask(
        std::shared_ptr<SpeechRecognitionRequest> request, RecognitionHandler handler) override {
        auto state = std::make_shared<Task::State>();
        state->shared = m_shared;
        state->request = std::static_pointer_cast<Request>(request);
        state->handler = std::move(handler);
        {
            std::lock_guard lock(m_shared->mutex);
            ++m_shared->runningTasks;
        }
        std::thread(decode, state).detach();
        return std::make_shared<Task>(state);
    }

private:
    std::shared_ptr<Shared> m_shared;
};

}  // namespace

PocketSphinxSpeechService::PocketSphinxSpeechService(SpeechModelPaths paths,
                                                     PocketSphinxDecoder::Tuning tuning)
    : m_shared(std::make_shared<Shared>(std::move(paths), std::move(tuning))) {}

PocketSphinxSpeechService::~PocketSphinxSpeechService() {
    // Decoding threads hold the shared state; give running ones a moment to wind down.
    std::unique_lock lock(m_shared->mutex);
    m_shared->changed.wait_for(lock, std::chrono::seconds(2),
                               [this] { return m_shared->runningTasks == 0; });
}

void PocketSphinxSpeechService::requestAuthorization(
    std::function<void(SpeechAuthorizationStatus)> completion) {
    completion(SpeechAuthorizationStatus::authorized);
}

std::shared_ptr<SpeechRecognizer> PocketSphinxSpeechService::recognizer(
    const std::string& localeIdentifier) {
    if (localeIdentifier != "en-US" || !m_shared->paths.exist()) return nullptr;
    return std::make_shared<Recognizer>(m_shared);
}

bool PocketSphinxSpeechService::waitUntilIdle(double timeoutSeconds) {
    std::unique_lock lock(m_shared->mutex);
    return m_shared->changed.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                                      [this] { return m_shared->undecodedBlocks == 0; });
}

}  // namespace orvane
