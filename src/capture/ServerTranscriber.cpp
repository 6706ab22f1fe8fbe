// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/ServerTranscriber.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>

#include "capture/WavFile.h"
#include "protocol/ProviderErrors.h"
#include "text/Url.h"

namespace orvane {

namespace {

using Service = TranscriptionServer::Service;

constexpr double kSpeechRate = 16000;
// Fast speech is about 4 words, 25 characters, a second: a reply much longer than the audio
// could hold is a server making things up, or not a transcription at all.
constexpr double kMostCharactersPerSecond = 40;
constexpr std::size_t kMostCharactersAnyway = 200;

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string boundary() {
    std::random_device random;
    char text[41];
    std::snprintf(text, sizeof text, "orvane-%08x%08x%08x", random(), random(), random());
    return text;
}

std::string formField(const std::string& boundary, const std::string& name,
                      const std::string& value) {
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" +
           value + "\r\n";
}

std::string multipartBody(const std::string& boundary, const std::string& wav,
                          const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string body = "--" + boundary +
                       "\r\nContent-Disposition: form-data; name=\"file\"; "
                       "filename=\"utterance.wav\"\r\nContent-Type: audio/wav\r\n\r\n";
    body.reserve(body.size() + wav.size() + 512);
    body += wav;
    body += "\r\n";
    for (const auto& [name, value] : fields) {
        if (!value.empty()) body += formField(boundary, name, value);
    }
    return body + "--" + boundary + "--\r\n";
}

// What the server's reply came to, in words a user can act on.
TranscriptionOutcome outcomeOf(const HttpResult& result, const std::string& base,
                               double audioSeconds) {
    if (result.error) {
        if (*result.error == "Could not connect to the server.") {
            return {std::nullopt, "Nothing answers at " + base + ": is the server running there?"};
        }
        auto why = *result.error;
        if (!why.empty() && why.back() == '.') why.pop_back();
        return {std::nullopt,
                "The transcription server at " + base + " could not be reached: " + why + "."};
    }
    const int status = result.response ? result.response->statusCode : 0;
    const auto body = result.body.value_or("");
    if (status < 200 || status > 299) {
        const auto error = parseUpstreamError(status, body);
        // A 404 without an error of the API's is a server with no such endpoint, not a model
        // missing.
        if (status == 404 && error.type.empty() && error.code.empty()) {
            return {std::nullopt, "The transcription server has no /audio/transcriptions at " +
                                      base + ": is that its API address?"};
        }
        switch (classify(error)) {
            case UpstreamProblem::keyRefused:
                return {std::nullopt, "The transcription server did not accept the API key."};
            case UpstreamProblem::noSuchModel:
                return {std::nullopt, "The transcription server has no model of that name."};
            case UpstreamProblem::rateLimited:
                return {std::nullopt, "The transcription server is limiting requests right now."};
            default:
                break;
        }
        return {std::nullopt, "The transcription server refused the recording (HTTP " +
                                  std::to_string(status) + ")."};
    }
    const auto reply = nlohmann::json::parse(body, nullptr, false);
    if (!reply.is_object() || !reply.contains("text") || !reply["text"].is_string()) {
        return {std::nullopt, "The transcription server's reply was not a transcription."};
    }
    auto text = trimmed(reply["text"].get<std::string>());
    if (text.size() > kMostCharactersAnyway + kMostCharactersPerSecond * audioSeconds) {
        return {std::nullopt,
                "The transcription server's reply was longer than the speech could "
                "hold, so it was not used."};
    }
    return {std::move(text), std::nullopt};
}

// A request under way, which a cancel stops before its completion can start.
struct ServerJob : TranscriptionJob {
    std::mutex mutex;
    std::shared_ptr<HttpTask> task;

    void cancel() override {
        std::lock_guard lock(mutex);
        if (task) task->cancel();
    }
};

}  // namespace

std::string_view TranscriptionServer::title(Service service) {
    switch (service) {
        case Service::none:
            return "Only this computer";
        case Service::openai:
            return "OpenAI";
        case Service::groq:
            return "Groq";
        case Service::compatible:
            return "An OpenAI-compatible server";
    }
    return "";
}

std::string TranscriptionServer::defaultModel(Service service) {
    switch (service) {
        case Service::groq:
            return "whisper-large-v3-turbo";
        case Service::none:
            return "";
        case Service::openai:
        case Service::compatible:
            return "whisper-1";
    }
    return "";
}

std::string TranscriptionServer::apiBase() const {
    switch (service) {
        case Service::openai:
            return "https://api.openai.com/v1";
        case Service::groq:
            return "https://api.groq.com/openai/v1";
        case Service::compatible:
            return withoutTrailingSlashes(baseUrl.empty() ? "http://127.0.0.1:8000/v1" : baseUrl);
        case Service::none:
            break;
    }
    return "";
}

std::string TranscriptionServer::keyAccount() const {
    switch (service) {
        case Service::openai:
            return "openai-api-key";
        case Service::groq:
            return "groq-api-key";
        case Service::compatible:
            return "transcription-api-key " + apiBase();
        case Service::none:
            break;
    }
    return "";
}

bool TranscriptionServer::mayCarryKey() const {
    const auto url = Url::parse(apiBase());
    return url && url->isSafeForCredentials();
}

nlohmann::json TranscriptionServer::toJson() const {
    static const char* names[] = {"none", "openai", "groq", "compatible"};
    nlohmann::json json = {{"service", names[static_cast<int>(service)]}};
    if (!baseUrl.empty()) json["baseUrl"] = baseUrl;
    if (!model.empty()) json["model"] = model;
    return json;
}

TranscriptionServer TranscriptionServer::fromJson(const nlohmann::json& json) {
    TranscriptionServer server;
    if (!json.is_object()) return server;
    const auto service = json.value("service", nlohmann::json()).is_string()
                             ? json["service"].get<std::string>()
                             : std::string();
    for (const auto candidate : allServices) {
        if (TranscriptionServer{candidate}.toJson()["service"] == service) {
            server.service = candidate;
        }
    }
    if (json.contains("baseUrl") && json["baseUrl"].is_string()) server.baseUrl = json["baseUrl"];
    if (json.contains("model") && json["model"].is_string()) server.model = json["model"];
    return server;
}

ServerTranscriber::ServerTranscriber(HttpClient& http, TranscriptionServer server, std::string key,
                                     double replySeconds)
    : m_http(http),
      m_server(std::move(server)),
      m_key(std::move(key)),
      m_replySeconds(replySeconds) {}

std::string ServerTranscriber::engineName() const {
    const auto title = m_server.service == Service::compatible
                           ? "the server at " + m_server.apiBase()
                           : std::string(TranscriptionServer::title(m_server.service));
    return title + " (" + m_server.modelName() + ")";
}

// Whisper's English-only models say so in their names; any other is taken to hear them all.
bool ServerTranscriber::hears(const std::string& language) const {
    const auto model = m_server.modelName();
    return language == "en" || model.size() < 3 || model.compare(model.size() - 3, 3, ".en") != 0;
}

std::string ServerTranscriber::problem() const {
    if (m_server.service == Service::none) return "No transcription server is chosen.";
    if (!Url::parse(m_server.apiBase())) {
        return "\"" + m_server.apiBase() + "\" is not an http(s) address.";
    }
    if (m_server.needsKey() && m_key.empty()) return "Enter the API key first.";
    if (!m_key.empty() && !m_server.mayCarryKey()) {
        return "An API key is sent only over https, or to this computer.";
    }
    return "";
}

std::shared_ptr<TranscriptionJob> ServerTranscriber::transcribe(
    AudioBuffer audio, std::string prompt, std::string language,
    std::function<void(TranscriptionOutcome)> completion) {
    auto job = std::make_shared<ServerJob>();
    if (const auto why = problem(); !why.empty()) {
        completion({std::nullopt, why});
        return job;
    }
    const auto base = m_server.apiBase();
    const auto seconds =
        audio.sampleRate > 0 ? static_cast<double>(audio.frameCount()) / audio.sampleRate : 0;
    std::vector<float> mono;
    audio.appendMono(mono);
    audio.samples = std::move(mono);
    audio.channels = 1;
    const auto separator = boundary();
    HttpRequest request;
    request.method = "POST";
    request.url = base + "/audio/transcriptions";
    request.headers = {{"Content-Type", "multipart/form-data; boundary=" + separator}};
    if (!m_key.empty()) request.headers.push_back({"Authorization", "Bearer " + m_key});
    request.body = multipartBody(separator, wavBytes(audio, kSpeechRate),
                                 {{"model", m_server.modelName()},
                                  {"language", language},
                                  {"prompt", prompt},
                                  {"response_format", "json"},
                                  {"temperature", "0"}});
    request.idleTimeoutSeconds = request.totalTimeoutSeconds = m_replySeconds;
    std::lock_guard lock(job->mutex);
    job->task = m_http.send(std::move(request),
                            [completion = std::move(completion), base, seconds](HttpResult result) {
                                completion(outcomeOf(result, base, seconds));
                            });
    return job;
}

void ServerTranscriber::check(std::function<void(Check)> completion) {
    const auto started = std::chrono::steady_clock::now();
    AudioBuffer quiet{kSpeechRate, 1, std::vector<float>(static_cast<std::size_t>(kSpeechRate))};
    transcribe(std::move(quiet), "", "en",
               [completion = std::move(completion), started](TranscriptionOutcome outcome) {
                   if (!outcome.text) {
                       completion({false, outcome.error.value_or("")});
                       return;
                   }
                   const std::chrono::duration<double> took =
                       std::chrono::steady_clock::now() - started;
                   char seconds[16];
                   std::snprintf(seconds, sizeof seconds, "%.2f", took.count());
                   completion({true, std::string("It hears: a second of quiet came back in ") +
                                         seconds + " s."});
               });
}

}  // namespace orvane
