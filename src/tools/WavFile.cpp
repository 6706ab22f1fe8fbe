// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "tools/WavFile.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace orvane {

namespace {

std::uint32_t le32(std::string_view data, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(data[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(data[at + 3])) << 24;
}

std::uint16_t le16(std::string_view data, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(data[at]) |
                                      static_cast<unsigned char>(data[at + 1]) << 8);
}

}  // namespace

std::variant<AudioBuffer, std::string> readWavFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return "cannot open " + path;
    const std::string data{std::istreambuf_iterator<char>(file), {}};
    auto parsed = parseWav(data);
    if (auto* reason = std::get_if<std::string>(&parsed)) return path + ": " + *reason;
    return parsed;
}

std::variant<AudioBuffer, std::string> parseWav(std::string_view data) {
    if (data.size() < 12 || data.compare(0, 4, "RIFF") != 0 || data.compare(8, 4, "WAVE") != 0) {
        return std::string("not a WAV file");
    }
    std::uint16_t format = 0, channels = 0, bits = 0;
    std::uint32_t rate = 0;
    std::size_t at = 12;
    while (at + 8 <= data.size()) {
        const auto id = data.substr(at, 4);
        const auto size = static_cast<std::size_t>(le32(data, at + 4));
        const auto body = at + 8;
        if (body + size > data.size() && id != "data") break;
        if (id == "fmt " && size >= 16) {
            format = le16(data, body);
            channels = le16(data, body + 2);
            rate = le32(data, body + 4);
            bits = le16(data, body + 14);
            if (format == 0xFFFE && size >= 26) format = le16(data, body + 24);  // extensible
        } else if (id == "data") {
            if (channels == 0 || rate == 0) return std::string("data before format");
            if (rate < minWavRate || rate > maxWavRate) {
                return "a sample rate of " + std::to_string(rate) +
                       " Hz is not one audio is recorded at";
            }
            if (channels > maxWavChannels) {
                return std::to_string(channels) + " channels is more than a recording has";
            }
            const bool pcm16 = format == 1 && bits == 16;
            const bool pcm32 = format == 1 && bits == 32;
            const bool float32 = format == 3 && bits == 32;
            if (!pcm16 && !pcm32 && !float32) {
                return std::string("only 16/32-bit PCM or 32-bit float WAV is supported");
            }
            const auto available = std::min(size, data.size() - body);
            const auto bytesPerSample = static_cast<std::size_t>(bits / 8);
            AudioBuffer buffer{static_cast<double>(rate), channels, {}};
            buffer.samples.resize(available / bytesPerSample);
            for (std::size_t i = 0; i < buffer.samples.size(); ++i) {
                const auto offset = body + i * bytesPerSample;
                if (pcm16) {
                    buffer.samples[i] = static_cast<std::int16_t>(le16(data, offset)) / 32768.0f;
                } else if (pcm32) {
                    buffer.samples[i] = static_cast<float>(
                        static_cast<std::int32_t>(le32(data, offset)) / 2147483648.0);
                } else {
                    const auto bitsValue = le32(data, offset);
                    std::memcpy(&buffer.samples[i], &bitsValue, sizeof(float));
                }
            }
            return buffer;
        }
        at = body + size + (size & 1);
    }
    return std::string("no audio data");
}

}  // namespace orvane
