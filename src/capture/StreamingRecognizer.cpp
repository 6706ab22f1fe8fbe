// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/StreamingRecognizer.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "capture/MonoAudio.h"
#include "capture/ReportGate.h"
#include "capture/TwoPassRecognizer.h"
#include "text/Text.h"

namespace orvane {

namespace {

// A word as two passes are compared on: a later pass that adds a comma or a capital still agrees.
std::string comparable(std::string_view word) {
    std::string out;
    for (const unsigned char c : word)
        if (std::isalnum(c) || c >= 0x80) out += static_cast<char>(std::tolower(c));
    return out;
}

std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    for (const auto word : text::splitOmittingEmpty(text, ' ')) words.emplace_back(word);
    return words;
}

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& word : words) text += (text.empty() ? "" : " ") + word;
    return text;
}

}  // namespace

// One streamed utterance. It is reached from two threads, the caller's (append, endAudio, cancel)
// and the transcriber's (each pass's completion), so everything below is under `mutex`, and
// reports go out through the gate. The detector is the caller's alone.
struct StreamingRecognizer::Utterance {
    std::shared_ptr<UtteranceTranscriber> transcriber;
    std::unique_ptr<VoiceActivityDetector> detector;
    Timing timing;
    std::string language;
    std::string prompt;

    std::mutex mutex;
    AudioBuffer audio;  // mono: before any voice its last lead-in, then the utterance
    double heardSeconds = 0;
    std::optional<double> lastVoiceAt;  // heardSeconds at the end of the last voiced block
    double lastPassAt = 0;              // heardSeconds when the last pass began
    double lastPassTook = 0;            // audio heard while it was under way
    std::uint64_t passNumber = 0;       // counts the passes begun; older ones' words are dropped
    std::uint64_t lastDone = 0;         // the last pass whose words came
    std::shared_ptr<TranscriptionJob> job;
    bool finalPassBegun = false;  // for the speech up to lastVoiceAt
    bool finalPassDone = false;
    bool audioEnded = false;
    std::vector<std::string> lastPassWords;
    std::size_t agreedWords = 0;  // the first words of `shown` two passes agreed on
    std::vector<std::string> shown;
    double shownUpTo = 0;  // heardSeconds where the audio of the pass `shown` came from ended
    // An utterance longer than the transcriber's window: the words of the audio let go of.
    std::vector<std::string> committed;

    ReportGate reports;

    void deliver(std::optional<SpeechRecognitionResult> result,
                 std::optional<SpeechRecognitionError> error) {
        reports.deliver(std::move(result), std::move(error));
    }

    // Called with `mutex` held. Before any voice, only the lead-in before this block is kept.
    // Returns a pass under way that heard audio now let go of, for the caller to cancel.
    std::shared_ptr<TranscriptionJob> keep(const AudioBuffer& block) {
        if (!lastVoiceAt) monoaudio::keepLast(audio, timing.leadInSeconds);
        heardSeconds += monoaudio::append(audio, block);
        std::shared_ptr<TranscriptionJob> superseded;
        const double kept =
            audio.sampleRate > 0 ? static_cast<double>(audio.samples.size()) / audio.sampleRate : 0;
        if (lastVoiceAt && !shown.empty() && kept > timing.longestUtteranceSeconds) {
            // The words heard so far stay as they are; the passes after hear on from where the
            // audio of those words ended, told them as their prompt.
            committed.insert(committed.end(), shown.begin(), shown.end());
            shown.clear();
            lastPassWords.clear();
            agreedWords = 0;
            monoaudio::keepLast(audio, heardSeconds - shownUpTo);
            ++passNumber;
            superseded = std::move(job);
        }
        monoaudio::keepLast(audio, timing.longestUtteranceSeconds);
        return superseded;
    }

    // What the utterance has been heard as.
    std::string heard() const {
        auto words = committed;
        words.insert(words.end(), shown.begin(), shown.end());
        return joined(words);
    }

    // The transcriber is told the interview's terms and, once the start of a long utterance
    // has been let go of, its last words.
    std::string passPrompt() const {
        constexpr std::size_t recentWords = 40;
        if (committed.empty()) return prompt;
        const auto from =
            committed.size() > recentWords ? committed.end() - recentWords : committed.begin();
        return std::string(text::trimWhitespaceAndNewlines(
            prompt + " " + joined(std::vector<std::string>(from, committed.end()))));
    }

    // Called with `mutex` held.
    void forgetTheSpeech() {
        lastVoiceAt.reset();
        committed.clear();
        finalPassBegun = finalPassDone = false;
        lastPassWords.clear();
        monoaudio::keepLast(audio, timing.leadInSeconds);
    }

    struct Pass {
        AudioBuffer audio;
        std::string prompt;
        std::uint64_t number = 0;
        double endsAt = 0;  // heardSeconds at its audio's end
        bool isFinal = false;
        std::shared_ptr<TranscriptionJob> superseded;
    };

    // Called with `mutex` held: the pass that is due now, if any. The last pass, of the whole
    // utterance, supersedes one under way, whose words would come later and hold less; one under
    // way cannot stop in the middle of its encoding, though, so passes on the way begin only while
    // the voice goes on, not in a pause that may be the end.
    std::optional<Pass> duePass(bool voiced) {
        if (!lastVoiceAt || finalPassBegun) return std::nullopt;
        const bool speechEnded =
            audioEnded || heardSeconds - *lastVoiceAt >= timing.endOfSpeechSeconds - 1e-9;
        if (!speechEnded && (job || !voiced ||
                             heardSeconds - lastPassAt <
                                 std::max(timing.passEverySeconds, 2 * lastPassTook) - 1e-9))
            return std::nullopt;
        finalPassBegun = speechEnded;
        lastPassAt = heardSeconds;
        return Pass{audio, passPrompt(), ++passNumber, heardSeconds, speechEnded, std::move(job)};
    }

    void begin(const std::shared_ptr<Utterance>& self, Pass pass) {
        if (pass.superseded) pass.superseded->cancel();
        auto started = transcriber->transcribe(
            std::move(pass.audio), std::move(pass.prompt), language,
            [weak = std::weak_ptr<Utterance>(self), number = pass.number, endsAt = pass.endsAt,
             isFinal = pass.isFinal](TranscriptionOutcome outcome) {
                if (auto utterance = weak.lock())
                    utterance->passDone(number, isFinal, endsAt, outcome);
            });
        std::unique_lock lock(mutex);
        if (!started || lastDone == pass.number) return;  // its words came already
        if (passNumber == pass.number) {
            job = std::move(started);
        } else {
            lock.unlock();
            started->cancel();
        }
    }

    void passDone(std::uint64_t number, bool isFinal, double endsAt,
                  const TranscriptionOutcome& outcome) {
        const auto words = wordsOf(
            outcome.text ? std::string(text::trimWhitespaceAndNewlines(*outcome.text)) : "");
        SpeechRecognitionResult result;
        {
            std::lock_guard lock(mutex);
            if (number != passNumber) return;
            lastDone = number;
            lastPassTook = heardSeconds - lastPassAt;
            job.reset();
            if (isFinal) {
                finalPassDone = true;
                // What the whole utterance was heard as; when that was rejected, what was heard
                // of it on the way stands.
                if (!words.empty()) shown = lastPassWords = words;
                agreedWords = shown.size();
                // Nothing of it was words (a cough, a door): the next voice begins afresh.
                if (shown.empty() && committed.empty()) forgetTheSpeech();
            } else {
                if (words.empty()) return;
                shownUpTo = endsAt;
                std::size_t agree = 0;
                while (agree < std::min(words.size(), lastPassWords.size()) &&
                       comparable(words[agree]) == comparable(lastPassWords[agree])) {
                    ++agree;
                }
                lastPassWords = words;
                auto next = std::vector<std::string>(
                    shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(agreedWords));
                if (agree > agreedWords) {
                    next.assign(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(agree));
                    agreedWords = agree;
                }
                if (words.size() > next.size())
                    next.insert(next.end(),
                                words.begin() + static_cast<std::ptrdiff_t>(next.size()),
                                words.end());
                if (next == shown) return;
                shown = std::move(next);
            }
            if (shown.empty() && committed.empty() && !(isFinal && audioEnded)) return;
            // The last pass always reports, unchanged or not: the session waits for its words.
            result = {heard(), isFinal && audioEnded, !(isFinal && audioEnded), false};
        }
        deliver(std::move(result), std::nullopt);
    }

    void append(const std::shared_ptr<Utterance>& self, const AudioBuffer& block) {
        const bool voiced = detector && detector->hearsVoice(block);
        std::optional<Pass> pass;
        std::shared_ptr<TranscriptionJob> superseded;
        {
            std::lock_guard lock(mutex);
            if (audioEnded) return;
            superseded = keep(block);
            if (voiced) {
                if (!lastVoiceAt) lastPassAt = heardSeconds;
                lastVoiceAt = heardSeconds;
                // More speech after the last pass: it was not the last after all.
                if (finalPassBegun) finalPassBegun = finalPassDone = false;
            }
            pass = duePass(voiced);
        }
        if (superseded) superseded->cancel();
        if (voiced) deliver(SpeechRecognitionResult{"", false, false, true}, std::nullopt);
        if (pass) begin(self, std::move(*pass));
    }

    // The utterance's end is its last pass's words, heard out first when that pass is still to
    // come or under way.
    void endAudio(const std::shared_ptr<Utterance>& self) {
        std::optional<Pass> pass;
        std::optional<std::string> final;
        {
            std::lock_guard lock(mutex);
            if (audioEnded) return;
            audioEnded = true;
            if (!lastVoiceAt || finalPassDone) {
                final = heard();
            } else if (!finalPassBegun) {
                pass = duePass(false);
            }
        }
        if (final) deliver(SpeechRecognitionResult{*final, true, false, false}, std::nullopt);
        if (pass) begin(self, std::move(*pass));
    }

    void cancel() {
        reports.cancel();
        std::shared_ptr<TranscriptionJob> running;
        {
            std::lock_guard lock(mutex);
            running = std::move(job);
            ++passNumber;
        }
        if (running) running->cancel();
        deliver(std::nullopt, SpeechRecognitionError{SpeechRecognitionError::Kind::cancelled,
                                                     "The recognition was cancelled."});
    }
};

namespace {

using Utterance = StreamingRecognizer::Utterance;

class StreamingRequest : public SpeechRecognitionRequest {
public:
    explicit StreamingRequest(std::shared_ptr<Utterance> utterance)
        : m_utterance(std::move(utterance)) {}

    void append(const AudioBuffer& buffer) override { m_utterance->append(m_utterance, buffer); }
    void endAudio() override { m_utterance->endAudio(m_utterance); }

    const std::shared_ptr<Utterance>& utterance() const { return m_utterance; }

private:
    std::shared_ptr<Utterance> m_utterance;
};

class StreamingTask : public SpeechRecognitionTask {
public:
    explicit StreamingTask(std::shared_ptr<Utterance> utterance)
        : m_utterance(std::move(utterance)) {}
    void cancel() override { m_utterance->cancel(); }

private:
    std::shared_ptr<Utterance> m_utterance;
};

}  // namespace

StreamingRecognizer::StreamingRecognizer(std::shared_ptr<UtteranceTranscriber> transcriber,
                                         VoiceActivityDetectors detectors, std::string language,
                                         Timing timing)
    : m_transcriber(std::move(transcriber)),
      m_detectors(std::move(detectors)),
      m_language(std::move(language)),
      m_timing(timing) {}

bool StreamingRecognizer::isAvailable() const {
    return m_transcriber && m_detectors && m_transcriber->hears(m_language);
}

std::shared_ptr<SpeechRecognitionRequest> StreamingRecognizer::makeRequest(
    RecognitionOptions options) {
    auto utterance = std::make_shared<Utterance>();
    utterance->transcriber = m_transcriber;
    utterance->detector = m_detectors ? m_detectors() : nullptr;
    utterance->timing = m_timing;
    utterance->language = m_language;
    utterance->prompt = TwoPassRecognizer::promptFor(options);
    return std::make_shared<StreamingRequest>(std::move(utterance));
}

std::shared_ptr<SpeechRecognitionTask> StreamingRecognizer::recognitionTask(
    std::shared_ptr<SpeechRecognitionRequest> request, RecognitionHandler handler) {
    const auto streaming = std::dynamic_pointer_cast<StreamingRequest>(request);
    if (!streaming) return nullptr;
    streaming->utterance()->reports.setHandler(std::move(handler));
    return std::make_shared<StreamingTask>(streaming->utterance());
}

}  // namespace orvane
