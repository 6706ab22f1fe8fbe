// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <memory>
#include <string>

#include "platform/SpeechRecognizer.h"
#include "platform/UtteranceTranscriber.h"
#include "platform/VoiceActivityDetector.h"

namespace orvane {

// Hearing with a transcriber alone (a Whisper model), as the words come. A voice-activity
// detector says when someone speaks: each voiced block is reported at once as timing, which keeps
// the session's silence rule going, and the utterance so far is heard again, from just before its
// first voiced block, every time enough new audio has come while no pass is under way; its words
// come as revisions. The words two passes in a row agree on stay as they are (a later pass that
// hears them otherwise changes only what follows), so the live line does not flicker. Once the
// speaker has been quiet for a moment, the whole utterance is heard once more and its text
// replaces the live one: the question is the transcriber's text of all of it. Nothing is heard
// where nothing was voiced, a pass the transcriber's guards reject shows nothing, and speech none
// of whose passes were words is forgotten, so the next begins afresh.
class StreamingRecognizer : public SpeechRecognizer {
public:
    struct Timing {
        // New audio before the utterance so far is heard again: how far the live line may lag
        // behind the speaker, and so what hearing costs the processor. A pass that took longer
        // (a long utterance, a slow computer) waits twice its time, so that the transcriber is
        // never at work more than half the time the speaker talks.
        double passEverySeconds = 0.7;
        // Quiet after speech before the last pass: short enough that its words are in before the
        // question is sent ahead (0.7 s into the silence), long enough not to end at every breath.
        double endOfSpeechSeconds = 0.2;
        // Heard from this long before the first voiced block, so that a soft first syllable is
        // not cut.
        double leadInSeconds = 0.3;
        // At most this much of an utterance is heard again (the transcriber's window is 30 s);
        // past it, the words heard so far stay and the passes hear on from their end.
        double longestUtteranceSeconds = 30;
    };

    // `language` (ISO 639-1) is what the transcriber is told is spoken.
    StreamingRecognizer(std::shared_ptr<UtteranceTranscriber> transcriber,
                        VoiceActivityDetectors detectors, std::string language, Timing timing);
    StreamingRecognizer(std::shared_ptr<UtteranceTranscriber> transcriber,
                        VoiceActivityDetectors detectors, std::string language)
        : StreamingRecognizer(std::move(transcriber), std::move(detectors), std::move(language),
                              Timing{}) {}

    bool isAvailable() const override;
    std::shared_ptr<SpeechRecognitionRequest> makeRequest(RecognitionOptions options) override;
    std::shared_ptr<SpeechRecognitionTask> recognitionTask(
        std::shared_ptr<SpeechRecognitionRequest> request, RecognitionHandler handler) override;

    struct Utterance;

private:
    std::shared_ptr<UtteranceTranscriber> m_transcriber;
    VoiceActivityDetectors m_detectors;
    std::string m_language;
    Timing m_timing;
};

}  // namespace orvane
