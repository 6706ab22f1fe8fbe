// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <variant>

#include "platform/AudioBuffer.h"

namespace orvane {

// Reads a WAV file (16-bit or 32-bit integer PCM, or 32-bit float; any rate and channel count)
// into one buffer, or says why it cannot.
std::variant<AudioBuffer, std::string> readWavFile(const std::string& path);

}  // namespace orvane
