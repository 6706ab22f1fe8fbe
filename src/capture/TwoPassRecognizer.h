// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/SpeechRecognizer.h"
#include "platform/UtteranceTranscriber.h"
#include "platform/VoiceActivityDetector.h"

namespace orvane {

// Hearing in two passes. The live recogniser (the first pass) writes the transcript as words come
// and its results keep the session's silence rule going. Once it has heard nothing new for a
// moment, the utterance's audio goes to a transcriber (the second pass), whose text replaces the
// live one as a revision: it arrives while the session is still waiting out the silence, so the
// question is sent no later than with the first pass alone, and a second pass that is too late,
// fails or hears nothing leaves the first pass's text in place.
class TwoPassRecognizer : public SpeechRecognizer {
public:
    struct Timing {
        // Audio heard with no new words before the second pass starts: short enough to leave the
        // second pass most of the 1.5 s silence, long enough not to start at every short pause.
        double quietSeconds = 0.4;
        // The second pass hears at most this much of the utterance, its end (the recogniser's
        // window is 30 s).
        double longestUtteranceSeconds = 30;
        // It hears from where the speech began, not the quiet before: the last stretch this long
        // with no sound above the background, found once the first words are heard...
        double quietBeforeSpeechSeconds = 0.5;
        // ...less this much, so that a soft first syllable is not cut.
        double leadInSeconds = 0.2;
    };
    // The transcriber to hear the next utterance with, or none for the first pass alone; asked at
    // the start of each utterance, so a new choice applies from the next one.
    using SecondPassSource = std::function<std::shared_ptr<UtteranceTranscriber>()>;
    // What is spoken (ISO 639-1), and whether the first pass hears its words. When it does not
    // (it hears another language), its results keep only the timing, and the words are the
    // second pass's: no second pass that hears the language, no recognition.
    struct Language {
        std::string code = "en";
        bool firstPassHearsIt = true;
    };

    TwoPassRecognizer(std::shared_ptr<SpeechRecognizer> firstPass, SecondPassSource secondPass,
                      Timing timing, Language language);
    TwoPassRecognizer(std::shared_ptr<SpeechRecognizer> firstPass, SecondPassSource secondPass,
                      Timing timing)
        : TwoPassRecognizer(std::move(firstPass), std::move(secondPass), timing, Language{}) {}
    TwoPassRecognizer(std::shared_ptr<SpeechRecognizer> firstPass,
                      std::shared_ptr<UtteranceTranscriber> secondPass, Timing timing)
        : TwoPassRecognizer(
              std::move(firstPass), [secondPass = std::move(secondPass)] { return secondPass; },
              timing) {}
    TwoPassRecognizer(std::shared_ptr<SpeechRecognizer> firstPass,
                      std::shared_ptr<UtteranceTranscriber> secondPass)
        : TwoPassRecognizer(std::move(firstPass), std::move(secondPass), Timing{}) {}

    bool isAvailable() const override;
    std::shared_ptr<SpeechRecognitionRequest> makeRequest(RecognitionOptions options) override;
    std::shared_ptr<SpeechRecognitionTask> recognitionTask(
        std::shared_ptr<SpeechRecognitionRequest> request, RecognitionHandler handler) override;

    // What the second pass is given to read before the audio: the interview's own terms, so it
    // spells them as the user typed them.
    static std::string promptFor(const RecognitionOptions& options);

    struct Utterance;

private:
    std::shared_ptr<SpeechRecognizer> m_firstPass;
    SecondPassSource m_secondPass;
    Timing m_timing;
    Language m_language;
};

// The speech service the session hears with. While a model that hears everything is set (a
// Whisper model, with a voice-activity detector to time the speech), its recognisers stream with
// it, and the given service's recognisers do not run; otherwise they hear with the given service's
// own. Either way, while a second pass is set (a transcription server) it hears each finished
// utterance after them. A language the given service has no recogniser for, and the model does not
// hear, is heard by the second pass alone, while it hears that language, with the English
// recogniser keeping the timing. Both can change at any time, on any thread; every recogniser,
// those handed out before included, hears its next utterance with the new ones, and the old ones
// are let go of once the utterances they were hearing are over.
class TwoPassSpeechService : public SpeechService {
public:
    // `firstPassUnused` is called when a model that hears everything is set: the given service
    // may let go of what it holds until it is asked for a recognition again.
    explicit TwoPassSpeechService(SpeechService& firstPass,
                                  VoiceActivityDetectors detectors = nullptr,
                                  std::function<void()> firstPassUnused = nullptr)
        : m_firstPass(firstPass),
          m_firstPassUnused(std::move(firstPassUnused)),
          m_slot(std::make_shared<Slot>()) {
        m_slot->detectors = std::move(detectors);
    }

    void setSecondPass(std::shared_ptr<UtteranceTranscriber> transcriber);
    std::shared_ptr<UtteranceTranscriber> secondPass() const;
    // A model that hears everything, or none; without detectors, it is a second pass instead.
    void setLiveModel(std::shared_ptr<UtteranceTranscriber> model);
    std::shared_ptr<UtteranceTranscriber> liveModel() const;
    // Which engines hear, for people: "PocketSphinx", "Whisper base.en (…)", or either followed
    // by ", then " and the second pass.
    std::string engineDescription(const std::string& firstPassName) const;

    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> completion) override;
    std::shared_ptr<SpeechRecognizer> recognizer(const std::string& localeIdentifier) override;

    // Shared with the recognisers, which may outlive the service.
    struct Slot {
        mutable std::mutex mutex;
        std::shared_ptr<UtteranceTranscriber> transcriber;
        std::shared_ptr<UtteranceTranscriber> liveModel;
        VoiceActivityDetectors detectors;
    };

private:
    SpeechService& m_firstPass;
    std::function<void()> m_firstPassUnused;
    std::shared_ptr<Slot> m_slot;
};

}  // namespace orvane
