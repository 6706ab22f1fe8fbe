// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

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

void putLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Windowed-sinc interpolation with its cut-off below the lower of the two Nyquist rates, so that
// what the lower rate cannot hold is filtered out instead of folding back as noise. The kernel is
// tabulated once, at a 256th of an input sample: computed tap by tap, a 30 s utterance took
// seconds.
std::vector<float> resampled(const std::vector<float>& in, double from, double to) {
    if (from <= to) return in;
    constexpr int halfTaps = 16;
    constexpr int steps = 256;  // table entries per input sample
    constexpr double pi = 3.14159265358979323846;
    const double step = from / to;
    const double cutoff = 0.9 / step;  // of the input's Nyquist rate
    const double reach = halfTaps * step;
    // Symmetric, from -reach to +reach: each tap then steps through it by whole input samples.
    const auto middle = static_cast<long>(reach * steps) + 1;
    std::vector<float> kernel(static_cast<std::size_t>(2 * middle + 1));
    for (long i = 0; i < static_cast<long>(kernel.size()); ++i) {
        const double offset = std::abs(static_cast<double>(i - middle)) / steps;
        const double x = offset * cutoff;
        const double sinc = x == 0 ? 1 : std::sin(pi * x) / (pi * x);
        const double window = offset >= reach ? 0 : 0.5 + 0.5 * std::cos(pi * offset / reach);
        kernel[static_cast<std::size_t>(i)] = static_cast<float>(cutoff * sinc * window);
    }
    std::vector<float> out(static_cast<std::size_t>(static_cast<double>(in.size()) / step));
    const auto lastSample = static_cast<long>(in.size()) - 1;
    for (std::size_t n = 0; n < out.size(); ++n) {
        const double centre = static_cast<double>(n) * step;
        const auto first = std::max(0L, static_cast<long>(std::ceil(centre - reach)));
        const auto last = std::min(lastSample, static_cast<long>(std::floor(centre + reach)));
        auto tap = middle + std::lround((static_cast<double>(first) - centre) * steps);
        float sum = 0;
        for (long k = first; k <= last; ++k, tap += steps) {
            sum += in[static_cast<std::size_t>(k)] * kernel[static_cast<std::size_t>(tap)];
        }
        out[n] = sum;
    }
    return out;
}

}  // namespace

std::string wavBytes(const AudioBuffer& mono, double rate) {
    const double outRate = std::min(rate, mono.sampleRate);
    const auto samples = resampled(mono.samples, mono.sampleRate, outRate);
    const auto hz = static_cast<std::uint32_t>(std::lround(outRate));
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::string out = "RIFF";
    putLe(out, 36 + dataBytes, 4);
    out += "WAVEfmt ";
    putLe(out, 16, 4);
    putLe(out, 1, 2);  // PCM
    putLe(out, 1, 2);  // mono
    putLe(out, hz, 4);
    putLe(out, hz * 2, 4);
    putLe(out, 2, 2);
    putLe(out, 16, 2);
    out += "data";
    putLe(out, dataBytes, 4);
    out.reserve(out.size() + dataBytes);
    for (const float sample : samples) {
        const auto value =
            static_cast<std::int16_t>(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767));
        putLe(out, static_cast<std::uint16_t>(value), 2);
    }
    return out;
}

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
