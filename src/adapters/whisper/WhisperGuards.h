// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>

namespace orvane {

// What whisper.cpp decoded for one utterance, with its own measures of how sure it was.
struct WhisperDecoding {
    std::string text;
    double averageLogProbability = 0;  // over the text's tokens
    double noSpeechProbability = 0;
};

// Whisper is a language model too: given noise, silence or a word it cannot make out, it writes
// fluent sentences that were never said, or the prompt it was given back again. A second pass that
// is unsure must leave the live text in place rather than invent a question, so its text is taken
// only when it passes the checks whisper.cpp's own tools make (there they decide whether to decode
// again at a higher temperature, which the second pass has no time for).
struct WhisperGuards {
    double noSpeechThreshold = 0.6;
    double logProbabilityThreshold = -1.0;
    // Text that compresses better than this is the decoder repeating itself.
    double compressionRatioThreshold = 2.4;

    enum class Verdict {
        heard,
        nothing,       // empty, or only Whisper's marks for what is not speech ("[BLANK_AUDIO]")
        noSpeech,      // the model says it heard no speech and is unsure of its words
        unsure,        // its words are unlikely, even to itself
        repetitive,    // the same words over and over
        echoesPrompt,  // only words of the prompt it was given
    };
    Verdict judge(const WhisperDecoding& decoding, std::string_view prompt) const;

    // Guards that take every text: for models with random weights, whose words mean nothing.
    static WhisperGuards none() { return {1.0, -1e9, 1e9}; }
};

// The text's length over its length deflated, as Whisper's tools measure it.
double compressionRatio(std::string_view text);

}  // namespace orvane
