// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/HttpClient.h"
#include "platform/UtteranceTranscriber.h"

namespace orvane {

// Where finished questions may be sent to be heard, as the user set it in Preferences: nowhere
// (this computer hears alone), OpenAI, Groq, or a server with the same transcription API (a
// whisper.cpp or faster-whisper server). The key lives in the desktop's secret store only.
struct TranscriptionServer {
    enum class Service { none, openai, groq, compatible };
    static constexpr Service allServices[] = {Service::none, Service::openai, Service::groq,
                                              Service::compatible};

    Service service = Service::none;
    std::string baseUrl{};  // a compatible server's API base: "http://127.0.0.1:8000/v1"
    std::string model{};    // empty: the service's default

    static std::string_view title(Service service);
    static std::string defaultModel(Service service);
    std::string apiBase() const;
    std::string modelName() const { return model.empty() ? defaultModel(service) : model; }
    // The secret store account of its key: OpenAI's is the one the answers use too; a compatible
    // server's is its own, so that a key goes only where it was typed for.
    std::string keyAccount() const;
    bool needsKey() const { return service == Service::openai || service == Service::groq; }
    // Over https, or to this machine: plain http elsewhere would carry the key in the clear.
    bool mayCarryKey() const;

    nlohmann::json toJson() const;
    // Whatever cannot be read leaves the defaults.
    static TranscriptionServer fromJson(const nlohmann::json& json);
    bool operator==(const TranscriptionServer&) const = default;
};

// Hears a finished utterance by sending it, as a 16 kHz WAV, to an OpenAI-compatible
// "/audio/transcriptions" endpoint. Every failure comes back as a sentence a user can act on; a
// reply longer than the speech could hold is taken for what it is, not a transcript.
class ServerTranscriber : public UtteranceTranscriber {
public:
    // A reply is given up after replySeconds: long before that the question went out with this
    // computer's words.
    ServerTranscriber(HttpClient& http, TranscriptionServer server, std::string key,
                      double replySeconds = 10);

    std::string engineName() const override;
    bool hears(const std::string& language) const override;
    std::shared_ptr<TranscriptionJob> transcribe(
        AudioBuffer audio, std::string prompt, std::string language,
        std::function<void(TranscriptionOutcome)> completion) override;

    // Why these settings cannot be used as they are, or empty: a key that is needed or may not
    // be sent.
    std::string problem() const;
    // Sends a second of quiet and says how the server took it: "It hears: a second of quiet came
    // back in 0.42 s." or why it did not.
    struct Check {
        bool ok = false;
        std::string text;
    };
    void check(std::function<void(Check)> completion);

private:
    HttpClient& m_http;
    TranscriptionServer m_server;
    std::string m_key;
    double m_replySeconds;
};

}  // namespace orvane
