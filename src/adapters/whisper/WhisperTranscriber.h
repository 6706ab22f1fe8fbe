// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "adapters/whisper/WhisperGuards.h"
#include "adapters/whisper/WhisperModelFile.h"
#include "platform/UtteranceTranscriber.h"

namespace orvane {

// whisper.cpp hearing whole utterances, on a thread of its own with the model loaded once. Jobs
// run one at a time in the order given; a cancelled job stops within one step of the decoder
// (whisper.cpp checks between steps). Destroying the transcriber cancels what is left, the job
// under way included, and joins the thread, or, when that is the thread itself, lets it end on
// its own.
class WhisperTranscriber : public UtteranceTranscriber {
public:
    struct Settings {
        // Threads whisper.cpp computes with; 0: as many as there are cores, at most four.
        int threads = 0;
        // The encoder sees only as much of its 30 s window as the utterance fills (and a second
        // more), which is what makes a second pass fit in the silence; false: the whole window,
        // as the model was trained.
        bool fitWindowToUtterance = true;
        // What it heard is taken only when it passes these; otherwise it heard nothing.
        WhisperGuards guards;
    };
    struct Loaded {
        std::unique_ptr<WhisperTranscriber> transcriber;
        std::string problem;  // why not, when there is none
    };
    // Checks the file, then loads it. Takes a moment (a second for base.en): not for the main
    // thread.
    static Loaded load(const std::string& modelPath, Settings settings);
    static Loaded load(const std::string& modelPath) { return load(modelPath, Settings{}); }

    ~WhisperTranscriber() override;
    WhisperTranscriber(const WhisperTranscriber&) = delete;
    WhisperTranscriber& operator=(const WhisperTranscriber&) = delete;

    std::string engineName() const override;
    bool hears(const std::string& language) const override;
    // A language it does not hear is heard as English.
    std::shared_ptr<TranscriptionJob> transcribe(
        AudioBuffer audio, std::string prompt, std::string language,
        std::function<void(TranscriptionOutcome)> completion) override;

    // The same in English, on the caller's thread, for tools and benchmarks (not while jobs run);
    // `stop` may abort it.
    TranscriptionOutcome transcribeNow(const AudioBuffer& audio, const std::string& prompt,
                                       const std::atomic<bool>* stop = nullptr);

    const WhisperDimensions& dimensions() const { return m_dimensions; }

    struct Worker;

private:
    WhisperTranscriber(std::shared_ptr<Worker> worker, WhisperDimensions dimensions,
                       std::string modelName);

    std::shared_ptr<Worker> m_worker;
    WhisperDimensions m_dimensions;
    std::string m_modelName;
    std::thread m_thread;
};

}  // namespace orvane
