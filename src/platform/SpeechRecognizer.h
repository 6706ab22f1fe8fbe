// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/AudioBuffer.h"

namespace orvane {

enum class SpeechAuthorizationStatus { notDetermined, denied, restricted, authorized };

// The best transcription of everything heard since the request began (not a delta).
struct SpeechRecognitionResult {
    std::string formattedString;
    bool isFinal = false;
    // The same speech heard again by a finer recogniser: its text replaces the last one, and it is
    // no new speech (a silence that was running goes on).
    bool isRevision = false;
    // Speech was heard, but these are not its words: a recogniser for another language keeps the
    // timing, and the words follow as a revision.
    bool isTimingOnly = false;
};

// A recogniser failure: what kind it is, for the session to act on, and a sentence for people.
struct SpeechRecognitionError {
    enum class Kind {
        // The task was cancelled (cancel() was called).
        cancelled,
        // The recognition service itself failed; starting a new recognition is the remedy.
        serviceFailed,
        // The speech model could not be loaded; a new recognition will not do better.
        modelUnavailable,
        other,
    };
    Kind kind = Kind::other;
    std::string message;
};

struct RecognitionOptions {
    bool shouldReportPartialResults = true;
    // Vocabulary hints: words the recogniser should favour.
    std::vector<std::string> contextualStrings;
    // The interview's own words (company, role, technologies), which the recogniser should hear
    // and spell as given.
    std::vector<std::string> interviewTerms;
};

// The audio sink of one recognition. append() may be called from any thread (the audio capture
// thread appends while the main thread ends or drops the request); the adapter synchronises.
class SpeechRecognitionRequest {
public:
    virtual ~SpeechRecognitionRequest() = default;
    virtual void append(const AudioBuffer& buffer) = 0;
    // No more audio follows: the recogniser finishes the utterance and reports it as final.
    virtual void endAudio() = 0;
};

class SpeechRecognitionTask {
public:
    virtual ~SpeechRecognitionTask() = default;
    // Stops the recognition. The handler then receives exactly one more call, on the recogniser's
    // thread, a cancelled error, unless the task had already ended; no result follows the
    // return of cancel().
    virtual void cancel() = 0;
};

// Called on the recogniser's own thread, one call at a time, with a result, an error, or both.
using RecognitionHandler = std::function<void(std::optional<SpeechRecognitionResult>,
                                              std::optional<SpeechRecognitionError>)>;

class SpeechRecognizer {
public:
    virtual ~SpeechRecognizer() = default;
    virtual bool isAvailable() const = 0;
    virtual std::shared_ptr<SpeechRecognitionRequest> makeRequest(RecognitionOptions options) = 0;
    // Starts recognising the request's audio. Partial results report the whole utterance so far
    // and only when its text changed, so silence produces no results.
    virtual std::shared_ptr<SpeechRecognitionTask> recognitionTask(
        std::shared_ptr<SpeechRecognitionRequest> request, RecognitionHandler handler) = 0;
};

// Entry point to on-device speech recognition.
class SpeechService {
public:
    virtual ~SpeechService() = default;
    // The answer arrives once, on any thread.
    virtual void requestAuthorization(
        std::function<void(SpeechAuthorizationStatus)> completion) = 0;
    // A recogniser for a locale identifier such as "en-US", or nullptr when there is none.
    virtual std::shared_ptr<SpeechRecognizer> recognizer(const std::string& localeIdentifier) = 0;
};

}  // namespace orvane
