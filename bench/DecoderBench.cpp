// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Answer-stream decoding throughput on a realistic stream (deltas of 1 to 20 words), against a
// naive line-by-line std::string decoder that parses every payload with exceptions on. A guard,
// not a race: answers arrive at a model's speed, a few kilobytes a second, and the decoder only
// needs to stay far above that.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "protocol/AnswerStreamDecoder.h"

namespace {

using orvane::AnswerStreamDecoder;

const std::string& realisticStream() {
    static const std::string stream = [] {
        const std::vector<std::string> words = {
            "the",     "index", "query",      "latency", "cache", "consistent", "shard",
            "replica", "we",    "should",     "because", "a",     "B-tree",     "scales",
            "write",   "read",  "throughput", "é",       "naïve", "→"};
        std::mt19937 random(42);
        std::string out = "event: message_start\ndata: {\"type\":\"message_start\"}\n\n";
        while (out.size() < 4 * 1024 * 1024) {
            std::string text;
            const int count = 1 + static_cast<int>(random() % 20);
            for (int i = 0; i < count; ++i) text += words[random() % words.size()] + " ";
            const nlohmann::json event = {{"type", "content_block_delta"},
                                          {"index", 0},
                                          {"delta", {{"type", "text_delta"}, {"text", text}}}};
            out += "event: content_block_delta\ndata: " + event.dump() + "\n\n";
        }
        out += "data: {\"type\":\"message_stop\"}\n\n";
        return out;
    }();
    return stream;
}

// The straightforward reading: append text, cut lines off the front, parse with exceptions.
class NaiveDecoder {
public:
    void feed(const std::string& chunk, std::vector<std::string>& texts) {
        m_buffer += chunk;
        std::size_t newline;
        while ((newline = m_buffer.find('\n')) != std::string::npos) {
            const std::string line = m_buffer.substr(0, newline);
            m_buffer = m_buffer.substr(newline + 1);
            if (line.rfind("data: ", 0) != 0) continue;
            const std::string payload = line.substr(6);
            if (payload == "[DONE]") continue;
            try {
                const auto event = nlohmann::json::parse(payload);
                if (event.at("type") == "content_block_delta") {
                    texts.push_back(event.at("delta").at("text").get<std::string>());
                }
            } catch (const std::exception&) {
            }
        }
    }

private:
    std::string m_buffer;
};

constexpr std::size_t kChunk = 16 * 1024;  // what libcurl hands over at a time

void BM_AnswerStreamDecoder(benchmark::State& state) {
    const auto& stream = realisticStream();
    for (auto _ : state) {
        AnswerStreamDecoder decoder;
        std::vector<AnswerStreamDecoder::Event> events;
        for (std::size_t offset = 0; offset < stream.size(); offset += kChunk) {
            events.clear();
            decoder.feed(std::string_view(stream).substr(offset, kChunk), events);
            benchmark::DoNotOptimize(events.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_AnswerStreamDecoder)->Unit(benchmark::kMillisecond);

void BM_NaiveLineDecoder(benchmark::State& state) {
    const auto& stream = realisticStream();
    for (auto _ : state) {
        NaiveDecoder decoder;
        std::vector<std::string> texts;
        for (std::size_t offset = 0; offset < stream.size(); offset += kChunk) {
            texts.clear();
            decoder.feed(stream.substr(offset, kChunk), texts);
            benchmark::DoNotOptimize(texts.data());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_NaiveLineDecoder)->Unit(benchmark::kMillisecond);

}  // namespace
