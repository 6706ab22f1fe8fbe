// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pocketsphinx/PocketSphinxSpeech.h"

#include <malloc.h>
#include <pthread.h>

#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <sstream>
#include <utility>

#include "adapters/pocketsphinx/DecoderPool.h"
#include "adapters/pocketsphinx/HypothesisReporter.h"
#include "adapters/pocketsphinx/StreamResampler.h"
#include "text/Text.h"

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

// How a recognition's words are written: the decoder speaks lower case, the hints and the
// interview's own words say how a term is spelt, and the first word takes a capital. A hint that
// is also ordinary English keeps the decoder's case: "let's go" is heard far more often than the
// language, and a misheard "so far" must not show as "Go far".
class Spelling {
public:
    explicit Spelling(const std::vector<std::string>& hints) {
        for (const auto& hint : hints) {
            if (!text::isOrdinaryWord(hint)) m_spelling.emplace(normalised(hint), hint);
        }
    }
    void add(const std::vector<std::string>& terms) {
        for (const auto& term : terms) m_spelling.emplace(normalised(term), term);
    }
    std::string format(const std::string& hypothesis) const {
        std::istringstream words(hypothesis);
        std::string out;
        for (std::string word; words >> word;) {
            const auto known = m_spelling.find(normalised(word));
            if (!out.empty()) out += ' ';
            out += known != m_spelling.end() ? known->second : word;
        }
        if (!out.empty()) {
            out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
        }
        return out;
    }

private:
    std::map<std::string, std::string> m_spelling;
};

}  // namespace

// One recognition: what its callers hand in (under Shared::mutex) and what the decoding thread
// keeps of it (touched there only).
struct Recognition {
    explicit Recognition(const RecognitionOptions& options)
        : interviewTerms(options.interviewTerms), spelling(options.contextualStrings) {}

    // Under Shared::mutex.
    std::deque<AudioBuffer> blocks;
    bool ended = false;
    bool cancelled = false;
    bool started = false;  // a task was made for it

    // Held while a report is handed over, so that once cancel() returns no result follows.
    std::mutex deliverMutex;
    RecognitionHandler handler;
    bool finished = false;         // under deliverMutex
    bool cancelRequested = false;  // under deliverMutex

    // The decoding thread's own.
    std::vector<std::string> interviewTerms;
    Spelling spelling;
    std::shared_ptr<PocketSphinxDecoder> decoder;
    StreamResampler resampler;
    HypothesisReporter reporter;
    std::size_t sinceHypothesis = 0;

    // Hands a report to the handler; after a cancel() only the cancellation itself. A report
    // that ends the recognition is its last.
    void deliver(std::optional<SpeechRecognitionResult> result,
                 std::optional<SpeechRecognitionError> error, bool last) {
        std::lock_guard lock(deliverMutex);
        const bool isCancellation = error && error->kind == SpeechRecognitionError::Kind::cancelled;
        if (finished || (cancelRequested && !isCancellation)) return;
        if (last) finished = true;
        if (handler) handler(std::move(result), std::move(error));
    }
};

struct PocketSphinxSpeechService::Shared {
    SpeechModelPaths paths;
    PocketSphinxDecoder::Tuning tuning;
    // Decoders for the latest interview's words (none before the first interview). The decoding
    // thread's own.
    std::vector<std::string> poolTerms;
    // Read by the first decoder, shared by every one after it; the decoding thread's own.
    std::shared_ptr<PocketSphinxDecoder::LanguageModels> models;
    std::unique_ptr<DecoderPool<PocketSphinxDecoder>> pool;

    std::mutex mutex;
    std::condition_variable work;
    std::condition_variable idle;
    std::list<std::shared_ptr<Recognition>> running;
    std::size_t undecodedBlocks = 0;
    bool stopping = false;
    bool letGoRequested = false;

    Shared(SpeechModelPaths p, PocketSphinxDecoder::Tuning t)
        : paths(std::move(p)), tuning(std::move(t)), pool(poolFor({})) {}

    void notify() { work.notify_all(); }
    std::unique_ptr<DecoderPool<PocketSphinxDecoder>> poolFor(std::vector<std::string> terms) {
        return std::make_unique<DecoderPool<PocketSphinxDecoder>>([this, terms = std::move(terms)] {
            return PocketSphinxDecoder::load(paths, tuning, terms, &models);
        });
    }
    // A warm decoder for these words. A new interview's words take a new decoder (a moment's
    // load, once) and let the old ones go; a recognition without words of its own (push-to-talk)
    // hears with the current interview's.
    std::shared_ptr<PocketSphinxDecoder> acquire(const std::vector<std::string>& terms) {
        if (!terms.empty() && terms != poolTerms) {
            poolTerms = terms;
            pool = poolFor(terms);
        }
        return pool->acquire();
    }
    void decodeUntilStopped();
    // On the decoding thread: a decoder lent out goes when it comes back, and the models once no
    // decoder holds them; the heap they took goes back to the system, which glibc would otherwise
    // keep for the process.
    void letGoOfIdleDecoders() {
        pool = poolFor(poolTerms);
        models.reset();
        malloc_trim(0);
    }
    // One turn of one recognition on the decoding thread; false once it is over.
    bool step(Recognition& recognition, std::deque<AudioBuffer> blocks, bool ended, bool cancelled);
};

namespace {

using Shared = PocketSphinxSpeechService::Shared;

class Request : public SpeechRecognitionRequest {
public:
    Request(std::shared_ptr<Recognition> recognition, std::shared_ptr<Shared> shared)
        : m_recognition(std::move(recognition)), m_shared(std::move(shared)) {}

    void append(const AudioBuffer& buffer) override {
        {
            std::lock_guard lock(m_shared->mutex);
            if (m_recognition->ended || m_recognition->cancelled) return;
            m_recognition->blocks.push_back(buffer);
            if (m_recognition->started) ++m_shared->undecodedBlocks;
        }
        m_shared->notify();
    }
    void endAudio() override {
        {
            std::lock_guard lock(m_shared->mutex);
            m_recognition->ended = true;
        }
        m_shared->notify();
    }
    const std::shared_ptr<Recognition>& recognition() const { return m_recognition; }

private:
    std::shared_ptr<Recognition> m_recognition;
    std::shared_ptr<Shared> m_shared;
};

class Task : public SpeechRecognitionTask {
public:
    Task(std::shared_ptr<Recognition> recognition, std::shared_ptr<Shared> shared)
        : m_recognition(std::move(recognition)), m_shared(std::move(shared)) {}

    // The cancellation itself is reported by the decoding thread; no result is reported after
    // this returns.
    void cancel() override {
        {
            std::lock_guard lock(m_shared->mutex);
            m_recognition->cancelled = true;
        }
        {
            std::lock_guard lock(m_recognition->deliverMutex);
            m_recognition->cancelRequested = true;
        }
        m_shared->notify();
    }

private:
    std::shared_ptr<Recognition> m_recognition;
    std::shared_ptr<Shared> m_shared;
};

class Recognizer : public SpeechRecognizer {
public:
    explicit Recognizer(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {}

    bool isAvailable() const override { return m_shared->paths.exist(); }

    std::shared_ptr<SpeechRecognitionRequest> makeRequest(RecognitionOptions options) override {
        return std::make_shared<Request>(std::make_shared<Recognition>(options), m_shared);
    }

    std::shared_ptr<SpeechRecognitionTask> recognitionTask(
        std::shared_ptr<SpeechRecognitionRequest> request, RecognitionHandler handler) override {
        auto recognition = std::static_pointer_cast<Request>(request)->recognition();
        recognition->handler = std::move(handler);
        {
            std::lock_guard lock(m_shared->mutex);
            recognition->started = true;
            m_shared->undecodedBlocks += recognition->blocks.size();
            m_shared->running.push_back(recognition);
        }
        m_shared->notify();
        return std::make_shared<Task>(std::move(recognition), m_shared);
    }

private:
    std::shared_ptr<Shared> m_shared;
};

}  // namespace

void Shared::decodeUntilStopped() {
    pthread_setname_np(pthread_self(), "orvane-decode");
    // Loaded before the first recognition asks for it: loading takes a moment, and a fresh
    // decoder would otherwise hold up the first words.
    pool->acquire();
    std::unique_lock lock(mutex);
    while (!stopping) {
        work.wait(lock, [this] {
            if (stopping || letGoRequested) return true;
            for (const auto& recognition : running) {
                if (!recognition->blocks.empty() || recognition->ended || recognition->cancelled) {
                    return true;
                }
            }
            return false;
        });
        if (stopping) break;
        if (std::exchange(letGoRequested, false)) {
            lock.unlock();
            letGoOfIdleDecoders();
            lock.lock();
        }
        // One turn each, so push-to-talk and the session's hearing share the thread fairly.
        for (auto it = running.begin(); it != running.end() && !stopping;) {
            auto recognition = *it;
            std::deque<AudioBuffer> blocks;
            blocks.swap(recognition->blocks);
            const bool ended = recognition->ended;
            const bool cancelled = recognition->cancelled;
            lock.unlock();
            const bool goesOn = step(*recognition, std::move(blocks), ended, cancelled);
            lock.lock();
            it = goesOn ? std::next(it) : running.erase(it);
        }
        idle.notify_all();
    }
    running.clear();
    idle.notify_all();
}

bool Shared::step(Recognition& recognition, std::deque<AudioBuffer> blocks, bool ended,
                  bool cancelled) {
    const auto decoded = [&] {
        std::lock_guard lock(mutex);
        undecodedBlocks -= std::min(undecodedBlocks, blocks.size());
    };
    if (cancelled) {
        recognition.decoder.reset();  // back to the pool, warm
        recognition.deliver(std::nullopt,
                            SpeechRecognitionError{SpeechRecognitionError::Kind::cancelled,
                                                   "Recognition request was canceled"},
                            true);
        decoded();
        return false;
    }
    if (!recognition.decoder) {
        recognition.decoder = acquire(recognition.interviewTerms);
        if (!recognition.decoder) {
            recognition.deliver(
                std::nullopt,
                SpeechRecognitionError{SpeechRecognitionError::Kind::modelUnavailable,
                                       "The speech model could not be loaded."},
                true);
            decoded();
            return false;
        }
        recognition.spelling.add(recognition.decoder->termSpellings());
        recognition.decoder->startUtterance();
    }
    std::vector<std::int16_t> samples;
    for (const auto& block : blocks) recognition.resampler.process(block, samples);
    if (ended) recognition.resampler.finish(samples);
    recognition.decoder->process(samples.data(), samples.size());
    recognition.sinceHypothesis += samples.size();
    if (recognition.sinceHypothesis >= kSamplesBetweenHypotheses && !ended) {
        recognition.sinceHypothesis = 0;
        if (auto text = recognition.reporter.offer(recognition.decoder->hypothesis())) {
            recognition.deliver(SpeechRecognitionResult{recognition.spelling.format(*text), false},
                                std::nullopt, false);
        }
    }
    if (ended) {
        recognition.decoder->endUtterance();
        // The end is reported even when nothing was heard: whoever ended the audio waits for it.
        const auto text = recognition.spelling.format(recognition.decoder->hypothesis());
        recognition.decoder.reset();
        recognition.deliver(SpeechRecognitionResult{text, true}, std::nullopt, true);
    }
    // Counted as decoded only once any result they produced has been handed on.
    decoded();
    return !ended;
}

PocketSphinxSpeechService::PocketSphinxSpeechService(SpeechModelPaths paths,
                                                     PocketSphinxDecoder::Tuning tuning)
    : m_shared(std::make_shared<Shared>(std::move(paths), std::move(tuning))),
      m_thread([shared = m_shared] { shared->decodeUntilStopped(); }) {}

PocketSphinxSpeechService::~PocketSphinxSpeechService() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
    }
    m_shared->notify();
    m_thread.join();
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

void PocketSphinxSpeechService::letGoOfIdleDecoders() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->letGoRequested = true;
    }
    m_shared->notify();
}

bool PocketSphinxSpeechService::waitUntilIdle(double timeoutSeconds) {
    std::unique_lock lock(m_shared->mutex);
    return m_shared->idle.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                                   [this] { return m_shared->undecodedBlocks == 0; });
}

}  // namespace orvane
