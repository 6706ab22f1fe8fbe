// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "protocol/ChatBody.h"

namespace orvane::backend {

// Which provider answers a model tier, and with which upstream model.
struct TierRoute {
    std::string provider = "offline";  // "offline", "anthropic" or "openai"
    std::string upstreamModel;
};

struct BackendConfig {
    std::string host = "127.0.0.1";
    int port = 8787;
    std::string dataDir;
    // Where users and tokens live: a SQLite file (empty: orvane.db in dataDir), or a PostgreSQL
    // URI shared by several instances.
    std::string database;
    std::string tlsCert;
    std::string tlsKey;

    std::string googleClientId;
    std::string googleJwks = "https://www.googleapis.com/oauth2/v3/certs";
    std::string appleClientId;
    std::string appleJwks;
    // The development identity provider signs anyone in: never on unless asked for. "force"
    // allows it beside a paid model provider too.
    enum class DevIdentity { off, on, force };
    DevIdentity devIdentity = DevIdentity::off;
    // Behind a reverse proxy on this machine: a client's address is the last X-Forwarded-For
    // entry of requests that come from the proxy's address.
    bool behindProxy = false;
    // The one address whose forwarded addresses are believed: the proxy's.
    std::string trustedProxy;
    // The host name clients use, when the server faces them under one (without the port). A page
    // that rebinds its own name to this machine must not reach it, so a loopback server without
    // a proxy takes only its loopback names.
    std::string publicName;
    // Serving the app on this computer: every route on a Unix socket here (its directory private
    // to this user), the TCP address only the browser's sign-in page, and the development sign-in
    // signs in the user this server runs as, whatever name is typed.
    std::string privateSocket;

    std::map<std::string, TierRoute> tiers;  // nano, mini, standard, vision
    std::string anthropicUrl = "https://api.anthropic.com";
    std::string anthropicKey;
    std::string openaiUrl = "http://127.0.0.1:8080/v1";
    std::string openaiKey;

    int rateLimitPerMinute = 30;
    int signInRateLimitPerMinute = 20;
    std::size_t maxBodyBytes = chat::maxBodyBytes;
    int maxStreamsPerUser = 4;
    int maxStreams = 0;  // 0: three quarters of the worker threads
    // With a shared database: how long a user's stream stays counted after its instance stopped
    // renewing it (died).
    std::int64_t streamLeaseSeconds = 30;
    std::int64_t accessTokenLifetime = 15 * 60;
    std::int64_t refreshTokenLifetime = 30LL * 24 * 3600;
    // How long a used refresh token may be presented again for the same new tokens.
    std::int64_t refreshReuseGrace = 30;
    // How long a model may go without sending text, and take for a whole answer.
    int textTimeoutSeconds = 30;
    int answerTimeoutSeconds = 600;
    int offlinePaceMs = 35;
    int threads = 64;

    std::optional<std::int64_t> disableUser;
    std::optional<std::int64_t> enableUser;
    bool showHelp = false;

    bool isLoopback() const;
    bool devIdentityEnabled() const { return devIdentity != DevIdentity::off; }
    // A tier that spends money: a hosted model API rather than the offline answers or a model
    // server on this machine. Empty when there is none.
    std::string paidTier() const;
    int streamLimit() const { return maxStreams > 0 ? maxStreams : std::max(1, threads * 3 / 4); }
    std::string origin() const;

    // Flags override environment variables (ORVANE_BACKEND_ + the flag's name in upper case);
    // returns the configuration or what is wrong with the arguments.
    static std::variant<BackendConfig, std::string> parse(
        const std::vector<std::string>& args, const std::map<std::string, std::string>& env);
    static std::string help();
};

}  // namespace orvane::backend
