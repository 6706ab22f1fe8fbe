// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "BackendServer.h"
#include "Crypto.h"
#include "DevIdentityProvider.h"
#include "Jwt.h"
#include "protocol/Base64.h"

namespace orvane::testing {

inline std::filesystem::path freshDataDir(const std::string& name) {
    static int counter = 0;
    auto dir = std::filesystem::temp_directory_path() /
               ("orvane-backend-" + name + "-" + std::to_string(::getpid()) + "-" +
                std::to_string(++counter));
    std::filesystem::remove_all(dir);
    return dir;
}

// An orvane-backend served in-process on a free loopback port, logging into a string.
struct BackendHarness {
    std::filesystem::path dataDir;
    backend::BackendConfig config;
    std::ostringstream log;
    std::unique_ptr<backend::BackendServer> server;
    int port = 0;

    explicit BackendHarness(const std::string& name, std::filesystem::path dir = {}) {
        dataDir = dir.empty() ? freshDataDir(name) : dir;
        auto parsed = backend::BackendConfig::parse(
            {"--listen", "127.0.0.1:0", "--data", dataDir.string(), "--offline-pace", "0",
             "--rate-limit", "0", "--sign-in-rate-limit", "0", "--dev-identity-provider"},
            {});
        config = std::get<backend::BackendConfig>(parsed);
    }
    ~BackendHarness() {
        server.reset();
        std::filesystem::remove_all(dataDir);
    }

    void start() {
        server = std::make_unique<backend::BackendServer>(config, log);
        std::string error;
        port = server->start(error);
        if (port == 0) throw std::runtime_error(error);
    }
    // Restarts on the same data directory (and the same port, so the issuer stays the same).
    void restart() {
        server.reset();
        config.port = port;
        start();
    }

    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port); }
    // Over TCP, or over the private socket when the server has one.
    httplib::Client client() const {
        if (config.privateSocket.empty()) {
            httplib::Client c("127.0.0.1", port);
            c.set_read_timeout(30);
            return c;
        }
        httplib::Client c(config.privateSocket);
        c.set_address_family(AF_UNIX);
        c.set_default_headers({{"Host", "127.0.0.1:" + std::to_string(port)}});
        c.set_read_timeout(30);
        return c;
    }
    std::string fileText(const std::string& name) const {
        std::ifstream in(dataDir / name);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::string clientId() const { return config.googleClientId; }
    std::string redirectUri() const {
        return backend::DevIdentityProvider::redirectUriFor(clientId());
    }

    // The development sign-in page's address for a client, redirect and challenge method.
    std::string pageQuery(std::string client = {}, std::string redirect = {},
                          const std::string& method = "S256") const {
        return "/dev/oauth2/v2/auth?client_id=" + (client.empty() ? clientId() : client) +
               "&redirect_uri=" + (redirect.empty() ? redirectUri() : redirect) +
               "&response_type=code&scope=openid%20email%20profile&code_challenge=" +
               challengeFor("v") + "&code_challenge_method=" + method;
    }
    // The development sign-in page's approval (or cancel) for a PKCE challenge: its redirect.
    httplib::Result approve(const std::string& challenge, const std::string& name = "Ada Lovelace",
                            const std::string& action = "approve") {
        return client().Post("/dev/oauth2/v2/auth",
                             httplib::Params{{"client_id", clientId()},
                                             {"redirect_uri", redirectUri()},
                                             {"response_type", "code"},
                                             {"scope", "openid email profile"},
                                             {"code_challenge", challenge},
                                             {"code_challenge_method", "S256"},
                                             {"name", name},
                                             {"action", action}});
    }
    static std::string codeIn(const httplib::Result& redirect) {
        const auto location = redirect->get_header_value("Location");
        const auto at = location.find("code=");
        return at == std::string::npos ? std::string() : location.substr(at + 5);
    }
    // Trades a code in at the token endpoint, as the app does.
    httplib::Result redeem(const std::string& code, const std::string& verifier) {
        return client().Post("/dev/token", httplib::Params{{"code", code},
                                                           {"client_id", clientId()},
                                                           {"redirect_uri", redirectUri()},
                                                           {"grant_type", "authorization_code"},
                                                           {"code_verifier", verifier}});
    }
    static std::string challengeFor(const std::string& verifier) {
        return base64::encodeUrl(backend::sha256(verifier));
    }

    // Runs the development sign-in page and token endpoint as the app and a browser would;
    // returns the ID token.
    std::string devIdToken(const std::string& name = "Ada Lovelace") {
        const auto verifier = base64::encodeUrl(backend::randomBytes(32));
        const auto token = redeem(codeIn(approve(challengeFor(verifier), name)), verifier);
        return nlohmann::json::parse(token->body).at("id_token");
    }

    // Signs in through the Google endpoint; returns the reply object.
    nlohmann::json signIn(const std::string& name = "Ada Lovelace") {
        const auto reply = client().Post("/api/v1/auth/mobile/google",
                                         nlohmann::json{{"googleToken", devIdToken(name)}}.dump(),
                                         "application/json");
        return nlohmann::json::parse(reply->body);
    }

    // A chat reply as status and raw body.
    httplib::Result chat(const std::string& token, const nlohmann::json& body) {
        return client().Post("/api/v1/ai/chat", {{"Authorization", "Bearer " + token}}, body.dump(),
                             "application/json");
    }
};

inline nlohmann::json question(const std::string& text, const std::string& model = "mini") {
    return {{"model", model}, {"messages", {{{"role", "user"}, {"content", text}}}}};
}

// The JSON events of an event-stream body, in order.
inline std::vector<nlohmann::json> eventsOf(const std::string& body) {
    std::vector<nlohmann::json> events;
    std::istringstream lines(body);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("data: ")) events.push_back(nlohmann::json::parse(line.substr(6)));
    }
    return events;
}

inline std::string answerOf(const std::vector<nlohmann::json>& events) {
    std::string text;
    for (const auto& event : events) {
        if (event["type"] == "content_block_delta") text += event["delta"]["text"];
    }
    return text;
}

}  // namespace orvane::testing
