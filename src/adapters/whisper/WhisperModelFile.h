// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The shape of a Whisper model, as the header of a ggml model file gives it.
struct WhisperDimensions {
    std::int32_t vocabulary = 51864;
    std::int32_t audioContext = 1500;
    std::int32_t audioState = 384;
    std::int32_t audioHeads = 6;
    std::int32_t audioLayers = 4;
    std::int32_t textContext = 448;
    std::int32_t textState = 384;
    std::int32_t textHeads = 6;
    std::int32_t textLayers = 4;
    std::int32_t mels = 80;
    std::int32_t fileType = 1;  // 0: 32-bit floats; 1: the large tensors in 16-bit floats

    static WhisperDimensions tinyEnglish();
    static WhisperDimensions baseEnglish();
    static WhisperDimensions smallEnglish();
    // Small enough to load and run in a test in milliseconds; whisper.cpp runs it like any other.
    static WhisperDimensions testSized();
    // "tiny.en", "base.en" …, or "unknown size".
    std::string sizeName() const;
};

// What the file check found: the model's shape, or a sentence saying what is wrong with it.
struct WhisperModelCheck {
    std::optional<WhisperDimensions> dimensions;
    std::string problem;
    explicit operator bool() const { return dimensions.has_value(); }
};

// Reads a ggml Whisper model file's header and tensor table without loading its weights: every
// tensor the model's shape calls for must be there, with its shape, and the file must hold all
// their data. whisper.cpp takes a file with no tensors at all for a test model and runs it on
// uninitialised memory, and reports a cut-off file only after reading it whole; this check runs
// first and says what is wrong in words.
WhisperModelCheck checkWhisperModel(const std::string& path);
// The same check of a model read from a stream; path only names it in the sentence.
WhisperModelCheck checkWhisperModel(std::istream& in, const std::string& path);

// Writes a model file in the format whisper.cpp's conversion scripts write (magic, header, mel
// filters, vocabulary, then each tensor), with random weights drawn from `seed`. Its output is
// noise, but whisper.cpp loads it and computes exactly as much as for a trained model of the same
// shape. False when the file cannot be written.
bool writeRandomWhisperModel(const std::string& path, const WhisperDimensions& dimensions,
                             std::uint32_t seed);

}  // namespace orvane
