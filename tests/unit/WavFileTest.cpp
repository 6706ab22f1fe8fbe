// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "capture/WavFile.h"

namespace orvane {
namespace {

std::string le(std::uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::string wav(std::uint16_t format, std::uint16_t channels, std::uint32_t rate,
                std::uint16_t bits, const std::string& data, bool extraChunk = false) {
    std::string fmt = le(format, 2) + le(channels, 2) + le(rate, 4) +
                      le(rate * channels * bits / 8, 4) + le(channels * bits / 8, 2) + le(bits, 2);
    std::string body = "WAVE";
    body += "fmt " + le(static_cast<std::uint32_t>(fmt.size()), 4) + fmt;
    if (extraChunk) body += "LIST" + le(3, 4) + "abc" + std::string(1, '\0');
    body += "data" + le(static_cast<std::uint32_t>(data.size()), 4) + data;
    return "RIFF" + le(static_cast<std::uint32_t>(body.size()), 4) + body;
}

std::filesystem::path write(const std::string& name, const std::string& bytes) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

TEST(WavFile, ReadsSixteenBitStereoPastOtherChunks) {
    const auto data = le(0x4000, 2) + le(0xC000, 2) + le(0, 2) + le(0x7FFF, 2);
    const auto path = write("orvane-pcm16.wav", wav(1, 2, 22050, 16, data, true));
    const auto read = readWavFile(path.string());
    ASSERT_TRUE(std::holds_alternative<AudioBuffer>(read)) << std::get<std::string>(read);
    const auto& buffer = std::get<AudioBuffer>(read);
    EXPECT_EQ(buffer.sampleRate, 22050);
    EXPECT_EQ(buffer.channels, 2);
    ASSERT_EQ(buffer.frameCount(), 2u);
    EXPECT_FLOAT_EQ(buffer.samples[0], 0.5f);
    EXPECT_FLOAT_EQ(buffer.samples[1], -0.5f);
    EXPECT_NEAR(buffer.samples[3], 1.0f, 1e-4);
}

TEST(WavFile, ReadsFloatSamples) {
    float samples[] = {0.25f, -1.0f};
    std::string data(reinterpret_cast<const char*>(samples), sizeof samples);
    const auto read = readWavFile(write("orvane-float.wav", wav(3, 1, 48000, 32, data)).string());
    const auto& buffer = std::get<AudioBuffer>(read);
    EXPECT_EQ(buffer.samples, (std::vector<float>{0.25f, -1.0f}));
}

TEST(WavFile, SaysWhyItCannotRead) {
    EXPECT_TRUE(std::holds_alternative<std::string>(readWavFile("/nonexistent/file.wav")));
    EXPECT_TRUE(std::holds_alternative<std::string>(
        readWavFile(write("orvane-not.wav", "hello, not a wav").string())));
    EXPECT_TRUE(std::holds_alternative<std::string>(
        readWavFile(write("orvane-8bit.wav", wav(1, 1, 8000, 8, "abcd")).string())));
}

TEST(WavFile, RatesAndChannelCountsNoRecorderMakesAreRefused) {
    const std::string data(8, '\0');
    for (const auto& [rate, channels] : std::vector<std::pair<std::uint32_t, std::uint16_t>>{
             {1, 1}, {7999, 1}, {4000000000u, 1}, {384001, 1}, {48000, 9}}) {
        const auto read = parseWav(wav(1, channels, rate, 16, data));
        ASSERT_TRUE(std::holds_alternative<std::string>(read)) << rate << " Hz, " << channels;
    }
    EXPECT_TRUE(std::holds_alternative<AudioBuffer>(parseWav(wav(1, 8, 384000, 16, data))));
    EXPECT_TRUE(std::holds_alternative<AudioBuffer>(parseWav(wav(1, 1, 8000, 16, data))));
    EXPECT_EQ(std::get<std::string>(parseWav(wav(1, 1, 1, 16, data))),
              "a sample rate of 1 Hz is not one audio is recorded at");
}

// Written at 16 kHz from the sound card's 48: what speech carries stays, what 16 kHz cannot hold
// is filtered out rather than folded back, and samples past full scale are clipped.
TEST(WavFile, WritesSpeechAtSixteenKilohertzKeepingOnlyWhatThatRateHolds) {
    const auto tone = [](double hz, float level) {
        AudioBuffer audio{48000, 1, std::vector<float>(48000)};
        for (std::size_t i = 0; i < audio.samples.size(); ++i)
            audio.samples[i] = level * static_cast<float>(std::sin(i * 2 * M_PI * hz / 48000));
        return audio;
    };
    const auto rms = [](const std::vector<float>& samples) {
        double sum = 0;  // the middle half, away from the filter's edges
        for (std::size_t i = samples.size() / 4; i < samples.size() * 3 / 4; ++i)
            sum += samples[i] * samples[i];
        return std::sqrt(sum / static_cast<double>(samples.size() / 2));
    };
    const auto written = [](const AudioBuffer& audio, double rate) {
        return std::get<AudioBuffer>(parseWav(wavBytes(audio, rate)));
    };
    const auto speech = written(tone(1000, 0.5f), 16000);
    EXPECT_EQ(speech.sampleRate, 16000);
    EXPECT_EQ(speech.frameCount(), 16000u);
    EXPECT_NEAR(rms(speech.samples), 0.5 / std::sqrt(2), 0.01);
    EXPECT_LT(rms(written(tone(12000, 0.5f), 16000).samples), 0.01) << "12 kHz would fold to 4";

    const auto kept = written(tone(1000, 1.5f), 96000);
    EXPECT_EQ(kept.sampleRate, 48000) << "never raised";
    EXPECT_FLOAT_EQ(*std::max_element(kept.samples.begin(), kept.samples.end()), 32767 / 32768.0f);
}

}  // namespace
}  // namespace orvane
