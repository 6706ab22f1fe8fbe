// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/ServerTranscriber.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <future>

#include "adapters/curl/CurlHttpClient.h"
#include "capture/WavFile.h"
#include "integration/FreePort.h"
#include "integration/LoopbackServer.h"

namespace orvane::testing {
namespace {

using ::testing::HasSubstr;
using Service = TranscriptionServer::Service;

// Two seconds of a tone at the sound card's rate, as the second pass hands an utterance over.
AudioBuffer utterance() {
    AudioBuffer audio{48000, 1, std::vector<float>(96000)};
    for (std::size_t i = 0; i < audio.samples.size(); ++i)
        audio.samples[i] = 0.3f * static_cast<float>(std::sin(i * 2 * M_PI * 440 / 48000));
    return audio;
}

TranscriptionOutcome heard(ServerTranscriber& transcriber, const std::string& prompt = "") {
    std::promise<TranscriptionOutcome> outcome;
    transcriber.transcribe(utterance(), prompt, "en",
                           [&](TranscriptionOutcome o) { outcome.set_value(std::move(o)); });
    auto future = outcome.get_future();
    EXPECT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    return future.get();
}

TranscriptionServer at(const LoopbackServer& server) {
    return {Service::compatible, server.origin() + "/v1/", ""};
}

// The part of a multipart body named `name`, without its headers.
std::string part(const std::string& body, const std::string& name) {
    const auto header = body.find("name=\"" + name + "\"");
    if (header == std::string::npos) return "";
    const auto start = body.find("\r\n\r\n", header) + 4;
    return body.substr(start, body.find("\r\n--", start) - start);
}

TEST(ServerTranscriber, SendsTheUtteranceAsTheTranscriptionApiAsksAndReadsItsText) {
    LoopbackServer server([](LoopbackConnection& c) {
        c.write(statusReply(200, R"({"text": "  How would you shard a queue?\n"})"));
    });
    CurlHttpClient http;
    ServerTranscriber transcriber(http, at(server), "sk-local");
    const auto outcome = heard(transcriber, "Kafka, Postgres");
    EXPECT_EQ(outcome.text, "How would you shard a queue?");

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/v1/audio/transcriptions");
    EXPECT_EQ(request.headers.at("authorization"), "Bearer sk-local");
    EXPECT_THAT(request.headers.at("content-type"), HasSubstr("multipart/form-data; boundary="));
    EXPECT_EQ(part(request.body, "model"), "whisper-1");
    EXPECT_EQ(part(request.body, "language"), "en");
    EXPECT_EQ(part(request.body, "prompt"), "Kafka, Postgres");
    EXPECT_EQ(part(request.body, "response_format"), "json");
    const auto wav = parseWav(part(request.body, "file"));
    ASSERT_TRUE(std::holds_alternative<AudioBuffer>(wav)) << std::get<std::string>(wav);
    EXPECT_EQ(std::get<AudioBuffer>(wav).sampleRate, 16000) << "no more than speech needs";
    EXPECT_NEAR(std::get<AudioBuffer>(wav).frameCount(), 32000, 1);
}

struct ServerReply {
    const char* name;
    LoopbackServer::Handler handler;
    const char* error;
};

class ServerReplies : public ::testing::TestWithParam<ServerReply> {};

// Whatever the server does wrong comes back as words a user can act on, within the time the
// transcriber gives it.
TEST_P(ServerReplies, AreToldInPlainWords) {
    LoopbackServer server(GetParam().handler);
    CurlHttpClient http;
    ServerTranscriber transcriber(http, at(server), "", 0.5);
    const auto outcome = heard(transcriber);
    EXPECT_FALSE(outcome.text);
    EXPECT_THAT(outcome.error.value_or(""), HasSubstr(GetParam().error));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ServerReplies,
    ::testing::Values(
        ServerReply{"KeyRefused",
                    [](LoopbackConnection& c) {
                        c.write(statusReply(
                            401, R"({"error":{"type":"invalid_request_error",)"
                                 R"("code":"invalid_api_key","message":"Incorrect API key"}})"));
                    },
                    "did not accept the API key"},
        ServerReply{"NoSuchPath",
                    [](LoopbackConnection& c) { c.write(statusReply(404, "Not Found")); },
                    "has no /audio/transcriptions at http://127.0.0.1:"},
        ServerReply{"Failing", [](LoopbackConnection& c) { c.write(statusReply(500, "oops")); },
                    "refused the recording (HTTP 500)"},
        ServerReply{"NotJson",
                    [](LoopbackConnection& c) { c.write(statusReply(200, "<html>hi</html>")); },
                    "was not a transcription"},
        ServerReply{"LyingAtLength",
                    [](LoopbackConnection& c) {
                        const std::string words(5000, 'a');
                        c.write(statusReply(200, R"({"text":")" + words + R"("})"));
                    },
                    "longer than the speech could hold"},
        ServerReply{"Slow",
                    [](LoopbackConnection& c) {
                        c.pause(3);
                        c.write(statusReply(200, R"({"text":"late"})"));
                    },
                    "could not be reached: The request timed out."}),
    [](const auto& info) { return info.param.name; });

TEST(ServerTranscriber, SettingsThatCannotBeUsedSendNothing) {
    CurlHttpClient http;
    const RefusingLoopbackPort nothingThere;
    ServerTranscriber down(http, {Service::compatible, nothingThere.origin() + "/v1", ""}, "");
    EXPECT_EQ(heard(down).error,
              "Nothing answers at " + nothingThere.origin() + "/v1: is the server running there?");
    EXPECT_EQ(ServerTranscriber(http, {Service::groq}, "").problem(), "Enter the API key first.");
    EXPECT_EQ(ServerTranscriber(http, {Service::compatible, "http://10.0.0.5/v1"}, "sk").problem(),
              "An API key is sent only over https, or to this computer.");
    EXPECT_EQ(ServerTranscriber(http, {Service::compatible, "ftp://x"}, "").problem(),
              "\"ftp://x\" is not an http(s) address.");
    EXPECT_FALSE(
        ServerTranscriber(http, {Service::compatible, "", "distil-small.en"}, "").hears("de"));
    EXPECT_TRUE(ServerTranscriber(http, {Service::groq}, "k").hears("de"));
}

// A job cancelled while the server thinks never completes.
TEST(ServerTranscriber, ACancelledJobNeverCompletes) {
    std::promise<void> arrived;
    LoopbackServer server([&](LoopbackConnection& c) {
        arrived.set_value();
        c.pause(5);
    });
    CurlHttpClient http;
    ServerTranscriber transcriber(http, at(server), "");
    std::atomic<bool> completed{false};
    auto job = transcriber.transcribe(utterance(), "", "en",
                                      [&](TranscriptionOutcome) { completed = true; });
    arrived.get_future().wait();
    job->cancel();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(completed);
}

}  // namespace
}  // namespace orvane::testing
