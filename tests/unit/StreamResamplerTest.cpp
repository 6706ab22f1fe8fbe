// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "adapters/pocketsphinx/StreamResampler.h"

namespace orvane {
namespace {

AudioBuffer tone(double rate, int channels, double seconds, double frequency = 440) {
    AudioBuffer buffer{rate, channels, {}};
    const auto frames = static_cast<std::size_t>(rate * seconds);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto value =
            static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * frequency * i / rate));
        for (int c = 0; c < channels; ++c) buffer.samples.push_back(value);
    }
    return buffer;
}

std::vector<std::int16_t> resampleInChunks(const AudioBuffer& audio, std::size_t chunkFrames) {
    StreamResampler resampler;
    std::vector<std::int16_t> out;
    const auto channels = static_cast<std::size_t>(audio.channels);
    for (std::size_t at = 0; at < audio.frameCount(); at += chunkFrames) {
        const auto end = std::min(audio.frameCount(), at + chunkFrames);
        resampler.process({audio.sampleRate,
                           audio.channels,
                           {audio.samples.begin() + static_cast<long>(at * channels),
                            audio.samples.begin() + static_cast<long>(end * channels)}},
                          out);
    }
    resampler.finish(out);
    return out;
}

class Resampling : public ::testing::TestWithParam<double> {};

TEST_P(Resampling, GivesSixteenKilohertzWhateverTheInputRate) {
    const auto out = resampleInChunks(tone(GetParam(), 1, 1.0), 1024);
    EXPECT_NEAR(static_cast<double>(out.size()), 16000, 16);
}

INSTANTIATE_TEST_SUITE_P(Rates, Resampling, ::testing::Values(8000, 16000, 22050, 44100, 48000));

TEST(StreamResampler, BlockBoundariesLeaveNoTrace) {
    const auto audio = tone(48000, 1, 0.5);
    const auto whole = resampleInChunks(audio, audio.frameCount());
    for (std::size_t chunk : {1u, 7u, 480u, 1023u}) {
        const auto pieces = resampleInChunks(audio, chunk);
        ASSERT_EQ(pieces.size(), whole.size()) << chunk;
        int worst = 0;
        for (std::size_t i = 0; i < whole.size(); ++i)
            worst = std::max(worst, std::abs(pieces[i] - whole[i]));
        EXPECT_LE(worst, 2) << "chunks of " << chunk;
    }
}

// The signal is kept, stereo mixed down to mono, and what is too loud clipped, not wrapped round.
TEST(StreamResampler, KeepsTheSignalMixesStereoToMonoAndClips) {
    const auto out = resampleInChunks(tone(44100, 1, 1.0), 4410);
    double energy = 0;
    for (std::size_t i = 1000; i < 15000; ++i) energy += static_cast<double>(out[i]) * out[i];
    const double rms = std::sqrt(energy / 14000) / 32767.0;
    EXPECT_NEAR(rms, 0.5 / std::sqrt(2.0), 0.01);

    AudioBuffer stereo{16000, 2, {}};
    for (int i = 0; i < 16000; ++i) {
        stereo.samples.push_back(0.5f);
        stereo.samples.push_back(-0.5f);
    }
    const auto mono = resampleInChunks(stereo, 1600);
    for (std::size_t i = 100; i < 15000; i += 997) EXPECT_NEAR(mono[i], 0, 2);

    const auto loud = resampleInChunks(AudioBuffer{16000, 1, std::vector<float>(1600, 3.0f)}, 1600);
    for (std::size_t i = 200; i < 1400; ++i) ASSERT_EQ(loud[i], 32767);
}

TEST(StreamResampler, ARateChangeMidStreamStartsAfresh) {
    StreamResampler resampler;
    std::vector<std::int16_t> out;
    resampler.process(tone(48000, 1, 0.5), out);
    resampler.process(tone(22050, 1, 0.5), out);
    resampler.finish(out);
    EXPECT_NEAR(static_cast<double>(out.size()), 16000, 64);
}

}  // namespace
}  // namespace orvane
