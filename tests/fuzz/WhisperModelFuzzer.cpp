// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The check a Whisper model passes before whisper.cpp may load it, on files from the internet.
// Besides crashes: what it accepts has the shape whisper.cpp allocates safely.

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "adapters/whisper/WhisperModelFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const auto check = orvane::checkWhisperModel(in, "model.bin");
    if (!check) {
        if (check.problem.empty()) std::abort();
        return 0;
    }
    const auto& d = *check.dimensions;
    if (d.audioContext != 1500 || d.textContext != 448 || d.fileType < 0 || d.fileType > 9) {
        std::abort();
    }
    return 0;
}
