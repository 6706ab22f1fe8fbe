// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
//
// Writes a Whisper model with random weights, for tests and benchmarks that need whisper.cpp to
// load and run a model of a given shape without the trained weights.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "adapters/whisper/WhisperModelFile.h"

int main(int argc, char** argv) {
    using orvane::WhisperDimensions;
    std::string size = "test";
    std::uint32_t seed = 1;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--size" && i + 1 < argc)
            size = argv[++i];
        else if (arg == "--seed" && i + 1 < argc)
            seed = static_cast<std::uint32_t>(std::atoi(argv[++i]));
        else if (output.empty() && arg.rfind("--", 0) != 0)
            output = arg;
        else
            output.clear(), i = argc;
    }
    WhisperDimensions dimensions;
    if (size == "tiny.en")
        dimensions = WhisperDimensions::tinyEnglish();
    else if (size == "base.en")
        dimensions = WhisperDimensions::baseEnglish();
    else if (size == "test")
        dimensions = WhisperDimensions::testSized();
    else
        output.clear();
    if (output.empty()) {
        std::fprintf(
            stderr,
            "usage: orvane-whisper-model [--size test|tiny.en|base.en] [--seed N] OUTPUT\n");
        return 2;
    }
    if (!orvane::writeRandomWhisperModel(output, dimensions, seed)) {
        std::fprintf(stderr, "orvane-whisper-model: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}
