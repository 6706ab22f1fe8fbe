// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/TwoPassRecognizer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "capture/MonoAudio.h"
#include "capture/ReportGate.h"
#include "capture/StreamingRecognizer.h"
#include "text/Text.h"

namespace orvane {

// One recognition in two passes. Its parts are reached from three threads: the caller's (append,
// endAudio, cancel), the first pass's (its reports) and the second pass's (its completion), so
// everything below is under `mutex`, and reports go out through the gate.
struct TwoPassRecognizer::Utterance {
    std::shared_ptr<UtteranceTranscriber> secondPass;
    Timing timing;
    Language language;
    std::string prompt;
    std::shared_ptr<SpeechRecognitionRequest> firstRequest;

    std::mutex mutex;
    AudioBuffer audio;  // mono, the utterance's last longestUtteranceSeconds
    double heardSeconds = 0;
    bool speechFound = false;  // the audio before the speech has been let go of
    std::string firstText;
    double firstTextAt = 0;        // heardSeconds when the first pass last changed its text
    std::uint64_t generation = 0;  // counts the first pass's changes
    std::uint64_t secondPassFor = 0;
    std::shared_ptr<TranscriptionJob> job;
    std::uint64_t revisedFor = 0;
    std::string revisedText;

    ReportGate reports;

    void deliver(std::optional<SpeechRecognitionResult> result,
                 std::optional<SpeechRecognitionError> error) {
        reports.deliver(std::move(result), std::move(error));
    }

    void keep(const AudioBuffer& buffer) {
        heardSeconds += monoaudio::append(audio, buffer);
        monoaudio::keepLast(audio, timing.longestUtteranceSeconds);
    }

    // Called with `mutex` held, when the first words are heard: lets go of the audio before the
    // speech began, which would cost the second pass time (it hears all it is given) and can only
    // make it hear words that were never said. The background level is the quietest fifth of
    // what was heard; the speech began after its last stretch of quiet.
    void dropAudioBeforeSpeech() {
        speechFound = true;
        const auto frame = static_cast<std::size_t>(audio.sampleRate / 50);  // 20 ms
        if (frame == 0 || audio.samples.size() < 2 * frame) return;
        std::vector<float> levels(audio.samples.size() / frame);
        for (std::size_t i = 0; i < levels.size(); ++i) {
            double energy = 0;
            for (std::size_t k = i * frame; k < (i + 1) * frame; ++k)
                energy += double(audio.samples[k]) * audio.samples[k];
            levels[i] = static_cast<float>(std::sqrt(energy / static_cast<double>(frame)));
        }
        auto sorted = levels;
        const auto fifth = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 5);
        std::nth_element(sorted.begin(), fifth, sorted.end());
        // Speech stands well above the background; a floor keeps digital silence's zero from
        // making every breath speech.
        const float threshold = std::max(*fifth * 2.5f, 0.003f);
        const auto quietFrames = static_cast<std::size_t>(timing.quietBeforeSpeechSeconds * 50);
        std::size_t quietRun = 0;
        bool loudSeen = false;
        for (std::size_t i = levels.size(); i-- > 0;) {
            if (levels[i] >= threshold) {
                loudSeen = true;
                quietRun = 0;
                continue;
            }
            if (loudSeen && ++quietRun >= quietFrames) {
                const auto leadIn = static_cast<std::size_t>(timing.leadInSeconds * 50);
                const auto speechStart = i + quietRun;
                const auto keepFrom = speechStart > leadIn ? speechStart - leadIn : 0;
                audio.samples.erase(
                    audio.samples.begin(),
                    audio.samples.begin() + static_cast<std::ptrdiff_t>(keepFrom * frame));
                return;
            }
        }
    }

    // Called with `mutex` held; the job starts outside it.
    bool secondPassIsDue() const {
        return secondPass && !firstText.empty() && secondPassFor != generation &&
               heardSeconds - firstTextAt >= timing.quietSeconds - 1e-9;
    }

    void startSecondPass(const std::shared_ptr<Utterance>& self) {
        std::unique_lock lock(mutex);
        if (!secondPassIsDue()) return;
        secondPassFor = generation;
        const auto forGeneration = generation;
        auto heard = audio;
        lock.unlock();
        auto job = secondPass->transcribe(
            std::move(heard), prompt, language.code,
            [weak = std::weak_ptr<Utterance>(self), forGeneration](TranscriptionOutcome outcome) {
                if (auto utterance = weak.lock()) utterance->secondPassDone(forGeneration, outcome);
            });
        lock.lock();
        if (secondPassFor == forGeneration && generation == forGeneration)
            this->job = job;
        else if (job)
            job->cancel();
    }

    void secondPassDone(std::uint64_t forGeneration, const TranscriptionOutcome& outcome) {
        std::string text;
        if (outcome.text) text = std::string(text::trimWhitespaceAndNewlines(*outcome.text));
        {
            std::lock_guard lock(mutex);
            // The speaker went on, or the second pass heard nothing: the first pass stands.
            if (forGeneration != generation || text.empty()) return;
            revisedFor = forGeneration;
            revisedText = text;
            job.reset();
        }
        deliver(SpeechRecognitionResult{text, false, true}, std::nullopt);
    }

    void firstPassReported(std::optional<SpeechRecognitionResult> result,
                           std::optional<SpeechRecognitionError> error) {
        std::shared_ptr<TranscriptionJob> superseded;
        if (result) {
            std::lock_guard lock(mutex);
            // Speech timed with no words yet is more of the utterance all the same.
            if (result->isTimingOnly || result->formattedString != firstText) {
                if (!result->isTimingOnly) firstText = result->formattedString;
                if (!speechFound && !text::trimWhitespaceAndNewlines(firstText).empty())
                    dropAudioBeforeSpeech();
                firstTextAt = heardSeconds;
                ++generation;
                superseded = std::move(job);
            }
            // The end of the utterance keeps what the second pass made of the same words.
            if (result->isFinal && revisedFor == generation && revisedFor != 0) {
                result->formattedString = revisedText;
            } else if (!language.firstPassHearsIt) {
                result->isTimingOnly = true;
            }
        }
        if (superseded) superseded->cancel();
        deliver(std::move(result), std::move(error));
    }

    void cancel() {
        reports.cancel();
        std::shared_ptr<TranscriptionJob> running;
        {
            std::lock_guard lock(mutex);
            running = std::move(job);
            ++generation;
        }
        if (running) running->cancel();
    }
};

namespace {

using Utterance = TwoPassRecognizer::Utterance;

class TwoPassRequest : public SpeechRecognitionRequest {
public:
    explicit TwoPassRequest(std::shared_ptr<Utterance> utterance)
        : m_utterance(std::move(utterance)) {}

    void append(const AudioBuffer& buffer) override {
        m_utterance->firstRequest->append(buffer);
        {
            std::lock_guard lock(m_utterance->mutex);
            m_utterance->keep(buffer);
            if (!m_utterance->secondPassIsDue()) return;
        }
        m_utterance->startSecondPass(m_utterance);
    }
    void endAudio() override { m_utterance->firstRequest->endAudio(); }

    const std::shared_ptr<Utterance>& utterance() const { return m_utterance; }

private:
    std::shared_ptr<Utterance> m_utterance;
};

class TwoPassTask : public SpeechRecognitionTask {
public:
    TwoPassTask(std::shared_ptr<Utterance> utterance,
                std::shared_ptr<SpeechRecognitionTask> firstTask)
        : m_utterance(std::move(utterance)), m_firstTask(std::move(firstTask)) {}

    void cancel() override {
        m_utterance->cancel();
        if (m_firstTask) m_firstTask->cancel();
    }

private:
    std::shared_ptr<Utterance> m_utterance;
    std::shared_ptr<SpeechRecognitionTask> m_firstTask;
};

}  // namespace

TwoPassRecognizer::TwoPassRecognizer(std::shared_ptr<SpeechRecognizer> firstPass,
                                     SecondPassSource secondPass, Timing timing, Language language)
    : m_firstPass(std::move(firstPass)),
      m_secondPass(std::move(secondPass)),
      m_timing(timing),
      m_language(std::move(language)) {}

bool TwoPassRecognizer::isAvailable() const {
    if (!m_firstPass->isAvailable()) return false;
    if (m_language.firstPassHearsIt) return true;
    const auto secondPass = m_secondPass ? m_secondPass() : nullptr;
    return secondPass && secondPass->hears(m_language.code);
}

std::string TwoPassRecognizer::promptFor(const RecognitionOptions& options) {
    std::string prompt;
    for (const auto& term : options.interviewTerms) {
        const auto trimmed = text::trimWhitespaceAndNewlines(term);
        if (trimmed.empty()) continue;
        prompt += prompt.empty() ? "" : ", ";
        prompt += trimmed;
    }
    return prompt.empty() ? prompt : "Interview terms: " + prompt + ".";
}

std::shared_ptr<SpeechRecognitionRequest> TwoPassRecognizer::makeRequest(
    RecognitionOptions options) {
    auto secondPass = m_secondPass ? m_secondPass() : nullptr;
    if (secondPass && !secondPass->hears(m_language.code)) secondPass.reset();
    if (!secondPass && m_language.firstPassHearsIt)
        return m_firstPass->makeRequest(std::move(options));
    auto utterance = std::make_shared<Utterance>();
    utterance->secondPass = std::move(secondPass);
    utterance->timing = m_timing;
    utterance->language = m_language;
    utterance->prompt = promptFor(options);
    utterance->firstRequest = m_firstPass->makeRequest(std::move(options));
    return std::make_shared<TwoPassRequest>(std::move(utterance));
}

std::shared_ptr<SpeechRecognitionTask> TwoPassRecognizer::recognitionTask(
    std::shared_ptr<SpeechRecognitionRequest> request, RecognitionHandler handler) {
    const auto twoPass = std::dynamic_pointer_cast<TwoPassRequest>(request);
    if (!twoPass) return m_firstPass->recognitionTask(std::move(request), std::move(handler));
    auto utterance = twoPass->utterance();
    utterance->reports.setHandler(std::move(handler));
    auto firstTask = m_firstPass->recognitionTask(
        utterance->firstRequest,
        [weak = std::weak_ptr<Utterance>(utterance)](std::optional<SpeechRecognitionResult> result,
                                                     std::optional<SpeechRecognitionError> error) {
            if (auto self = weak.lock())
                self->firstPassReported(std::move(result), std::move(error));
        });
    return std::make_shared<TwoPassTask>(std::move(utterance), std::move(firstTask));
}

void TwoPassSpeechService::setSecondPass(std::shared_ptr<UtteranceTranscriber> transcriber) {
    std::unique_lock lock(m_slot->mutex);
    auto old = std::exchange(m_slot->transcriber, std::move(transcriber));
    lock.unlock();  // a transcriber may take a moment to let go of its thread
}

std::shared_ptr<UtteranceTranscriber> TwoPassSpeechService::secondPass() const {
    std::lock_guard lock(m_slot->mutex);
    return m_slot->transcriber;
}

void TwoPassSpeechService::setLiveModel(std::shared_ptr<UtteranceTranscriber> model) {
    std::unique_lock lock(m_slot->mutex);
    const bool streams = model && m_slot->detectors;
    auto old = std::exchange(m_slot->liveModel, std::move(model));
    lock.unlock();
    if (streams && m_firstPassUnused) m_firstPassUnused();
}

std::shared_ptr<UtteranceTranscriber> TwoPassSpeechService::liveModel() const {
    std::lock_guard lock(m_slot->mutex);
    return m_slot->liveModel;
}

std::string TwoPassSpeechService::engineDescription(const std::string& firstPassName) const {
    std::lock_guard lock(m_slot->mutex);
    const auto& live = m_slot->detectors ? m_slot->liveModel : nullptr;
    const auto& second = m_slot->transcriber ? m_slot->transcriber
                         : m_slot->detectors ? nullptr
                                             : m_slot->liveModel;
    const auto first = live ? live->engineName() : firstPassName;
    return second ? first + ", then " + second->engineName() : first;
}

void TwoPassSpeechService::requestAuthorization(
    std::function<void(SpeechAuthorizationStatus)> completion) {
    m_firstPass.requestAuthorization(std::move(completion));
}

namespace {

using Slot = TwoPassSpeechService::Slot;

// A request and the recogniser that made it, chosen for its utterance alone.
class ComposedRequest : public SpeechRecognitionRequest {
public:
    ComposedRequest(std::shared_ptr<SpeechRecognizer> recognizer,
                    std::shared_ptr<SpeechRecognitionRequest> request)
        : recognizer(std::move(recognizer)), request(std::move(request)) {}
    void append(const AudioBuffer& buffer) override { request->append(buffer); }
    void endAudio() override { request->endAudio(); }

    std::shared_ptr<SpeechRecognizer> recognizer;
    std::shared_ptr<SpeechRecognitionRequest> request;
};

// Puts each utterance's recogniser together from what the slot holds when it begins.
class ComposedRecognizer : public SpeechRecognizer {
public:
    ComposedRecognizer(std::shared_ptr<SpeechRecognizer> fallback, bool fallbackHearsIt,
                       std::string language, std::shared_ptr<Slot> slot)
        : m_fallback(std::move(fallback)),
          m_fallbackHearsIt(fallbackHearsIt),
          m_language(std::move(language)),
          m_slot(std::move(slot)) {}

    bool isAvailable() const override { return compose()->isAvailable(); }
    std::shared_ptr<SpeechRecognitionRequest> makeRequest(RecognitionOptions options) override {
        auto recognizer = compose();
        auto request = recognizer->makeRequest(std::move(options));
        return std::make_shared<ComposedRequest>(std::move(recognizer), std::move(request));
    }
    std::shared_ptr<SpeechRecognitionTask> recognitionTask(
        std::shared_ptr<SpeechRecognitionRequest> request, RecognitionHandler handler) override {
        const auto composed = std::dynamic_pointer_cast<ComposedRequest>(request);
        if (!composed) return nullptr;
        return composed->recognizer->recognitionTask(composed->request, std::move(handler));
    }

private:
    std::shared_ptr<SpeechRecognizer> compose() const {
        std::unique_lock lock(m_slot->mutex);
        auto live = m_slot->liveModel;
        auto second = m_slot->transcriber;
        const auto detectors = m_slot->detectors;
        lock.unlock();
        if (!detectors && !second) second = std::move(live);
        std::shared_ptr<SpeechRecognizer> first = m_fallback;
        bool firstHearsIt = m_fallbackHearsIt;
        if (detectors && live && live->hears(m_language)) {
            first = std::make_shared<StreamingRecognizer>(std::move(live), detectors, m_language);
            firstHearsIt = true;
        }
        return std::make_shared<TwoPassRecognizer>(
            std::move(first), [second] { return second; }, TwoPassRecognizer::Timing{},
            TwoPassRecognizer::Language{m_language, firstHearsIt});
    }

    std::shared_ptr<SpeechRecognizer> m_fallback;
    bool m_fallbackHearsIt;
    std::string m_language;
    std::shared_ptr<Slot> m_slot;
};

}  // namespace

std::shared_ptr<SpeechRecognizer> TwoPassSpeechService::recognizer(
    const std::string& localeIdentifier) {
    const auto language = localeIdentifier.substr(0, localeIdentifier.find('-'));
    auto first = m_firstPass.recognizer(localeIdentifier);
    const bool firstHearsIt = first != nullptr;
    if (!first) first = m_firstPass.recognizer("en-US");
    if (!first) return first;
    return std::make_shared<ComposedRecognizer>(std::move(first), firstHearsIt, language, m_slot);
}

}  // namespace orvane
