// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/AudioBuffer.h"

namespace orvane {

// What a transcription came to: the text heard (empty when nothing was), or why there is none.
struct TranscriptionOutcome {
    std::optional<std::string> text;
    std::optional<std::string> error;
};

class TranscriptionJob {
public:
    virtual ~TranscriptionJob() = default;
    // Once cancel() returns, the job's completion does not start.
    virtual void cancel() = 0;
};

// A recogniser that hears one finished utterance as a whole: slower than a live recogniser, but it
// sees the whole sentence at once.
class UtteranceTranscriber {
public:
    virtual ~UtteranceTranscriber() = default;
    // Which engine and model, for people: "Whisper (ggml-base.en.bin)".
    virtual std::string engineName() const = 0;
    // Whether it hears speech in a language (ISO 639-1: "en", "de").
    virtual bool hears(const std::string& language) const = 0;
    // Hears audio (mono, any rate) spoken in `language`, with prompt as the words that came
    // before it (names and terms it should spell as given). The completion is called once, on the
    // transcriber's own thread.
    virtual std::shared_ptr<TranscriptionJob> transcribe(
        AudioBuffer audio, std::string prompt, std::string language,
        std::function<void(TranscriptionOutcome)> completion) = 0;
};

}  // namespace orvane
