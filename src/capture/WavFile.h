// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "platform/AudioBuffer.h"

namespace orvane {

// The rates and channel counts a WAV file may have: what recorders make. Anything else is a
// damaged or hostile file, and resampling it would ask for absurd amounts of memory.
inline constexpr std::uint32_t minWavRate = 8000;
inline constexpr std::uint32_t maxWavRate = 384000;
inline constexpr std::uint16_t maxWavChannels = 8;

// Reads a WAV file (16-bit or 32-bit integer PCM, or 32-bit float; 8 to 384 kHz, up to 8
// channels) into one buffer, or says why it cannot.
std::variant<AudioBuffer, std::string> readWavFile(const std::string& path);
// The same, of a file's bytes; the reason names no file.
std::variant<AudioBuffer, std::string> parseWav(std::string_view data);

// A 16-bit PCM WAV of mono audio at `rate` or its own rate, whichever is lower: speech sent to a
// recogniser over the network needs no more than 16 kHz, a third of what a sound card gives.
// Samples past [-1, 1] are clipped.
std::string wavBytes(const AudioBuffer& mono, double rate);

}  // namespace orvane
