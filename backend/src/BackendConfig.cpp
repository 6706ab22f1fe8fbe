// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "BackendConfig.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <tuple>

#include "Loopback.h"
#include "protocol/ChatBody.h"

namespace orvane::backend {

namespace {

struct Option {
    const char* name;
    const char* argument;  // nullptr for a switch
    const char* help;
    std::function<std::optional<std::string>(BackendConfig&, const std::string&)> apply;
};

std::optional<std::string> toInt(const std::string& text, long long low, long long high,
                                 long long& out) {
    try {
        std::size_t used = 0;
        out = std::stoll(text, &used);
        if (used != text.size() || out < low || out > high) throw std::out_of_range("");
        return std::nullopt;
    } catch (const std::exception&) {
        return "expects a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    }
}

template <typename T>
std::function<std::optional<std::string>(BackendConfig&, const std::string&)> number(
    T BackendConfig::*field, long long low, long long high) {
    return [=](BackendConfig& config, const std::string& text) -> std::optional<std::string> {
        long long value = 0;
        if (auto error = toInt(text, low, high, value)) return error;
        config.*field = static_cast<T>(value);
        return std::nullopt;
    };
}

std::function<std::optional<std::string>(BackendConfig&, const std::string&)> text(
    std::string BackendConfig::*field) {
    return [=](BackendConfig& config, const std::string& value) -> std::optional<std::string> {
        config.*field = value;
        return std::nullopt;
    };
}

const std::vector<Option>& options() {
    static const std::vector<Option> list = {
        {"listen", "HOST:PORT", "address to serve on (default 127.0.0.1:8787)",
         [](BackendConfig& c, const std::string& v) -> std::optional<std::string> {
             const auto colon = v.rfind(':');
             if (colon == std::string::npos || colon == 0) return "expects HOST:PORT";
             long long port = 0;
             if (auto error = toInt(v.substr(colon + 1), 0, 65535, port)) return error;
             c.host = v.substr(0, colon);
             if (c.host.size() > 2 && c.host.front() == '[')
                 c.host = c.host.substr(1, c.host.size() - 2);
             c.port = static_cast<int>(port);
             return std::nullopt;
         }},
        {"data", "DIR", "where the database and keys live; created if missing",
         text(&BackendConfig::dataDir)},
        {"database", "FILE|URI",
         "users and tokens: a SQLite file (default DIR/orvane.db), or a PostgreSQL URI "
         "(postgres://USER@HOST/NAME) that several instances share; keep its password in "
         "~/.pgpass or PGPASSWORD",
         text(&BackendConfig::database)},
        {"tls-cert", "FILE", "PEM certificate chain: serve HTTPS", text(&BackendConfig::tlsCert)},
        {"tls-key", "FILE", "PEM private key for --tls-cert", text(&BackendConfig::tlsKey)},
        {"google-client-id", "ID", "OAuth client ID that Google ID tokens must be issued for",
         text(&BackendConfig::googleClientId)},
        {"google-jwks", "FILE|URL", "Google's signing keys (default: Google's published JWKS)",
         text(&BackendConfig::googleJwks)},
        {"apple-client-id", "ID", "Services ID that Apple identity tokens must be issued for",
         text(&BackendConfig::appleClientId)},
        {"apple-jwks", "FILE|URL", "Apple's signing keys; Apple sign-in is off without them",
         text(&BackendConfig::appleJwks)},
        {"dev-identity-provider", nullptr,
         "serve a development sign-in page that signs anyone in, for one machine without a "
         "network (=force: also beside a paid model provider)",
         [](BackendConfig& c, const std::string& v) -> std::optional<std::string> {
             if (v.empty() || v == "1" || v == "on") {
                 c.devIdentity = BackendConfig::DevIdentity::on;
             } else if (v == "force") {
                 c.devIdentity = BackendConfig::DevIdentity::force;
             } else if (v == "0" || v == "off") {
                 c.devIdentity = BackendConfig::DevIdentity::off;
             } else {
                 return "takes no value, or =force";
             }
             return std::nullopt;
         }},
        {"behind-proxy", nullptr,
         "trust the last X-Forwarded-For entry of requests from the proxy's address, as the "
         "client's: --behind-proxy=ADDRESS (127.0.0.1 without one; give the proxy an address of "
         "its own, as nginx's proxy_bind 127.0.0.2 does, so no other program here is trusted)",
         [](BackendConfig& c, const std::string& v) -> std::optional<std::string> {
             if (v == "0" || v == "off") {
                 c.behindProxy = false;
                 return std::nullopt;
             }
             const auto address = v.empty() || v == "1" || v == "on" ? "127.0.0.1" : v;
             if (!isLoopbackAddress(address) || address == "localhost") {
                 return "takes the proxy's own loopback address, such as 127.0.0.2";
             }
             c.behindProxy = true;
             c.trustedProxy = address;
             return std::nullopt;
         }},
        {"public-name", "HOST",
         "the name clients reach this server by (its Host header); requests naming another host "
         "are refused. On loopback, only 127.0.0.1, [::1] and localhost are taken without it "
         "(behind "
         "a proxy, at any port)",
         text(&BackendConfig::publicName)},
        {"private-socket", "PATH",
         "serve every route on a Unix socket at PATH, in a directory only this user can use; the "
         "TCP address then serves only the sign-in page, and the development sign-in signs in "
         "the user this server runs as",
         text(&BackendConfig::privateSocket)},
        {"tier", "TIER=PROVIDER[:MODEL]",
         "route a tier (nano, mini, standard, vision, or all) to offline, anthropic or openai; "
         "repeatable",
         [](BackendConfig& c, const std::string& v) -> std::optional<std::string> {
             const auto equals = v.find('=');
             if (equals == std::string::npos) return "expects TIER=PROVIDER[:MODEL]";
             const auto tier = v.substr(0, equals);
             auto provider = v.substr(equals + 1);
             std::string model;
             if (const auto colon = provider.find(':'); colon != std::string::npos) {
                 model = provider.substr(colon + 1);
                 provider.erase(colon);
             }
             if (provider != "offline" && provider != "anthropic" && provider != "openai") {
                 return "unknown provider '" + provider + "'";
             }
             if (provider != "offline" && model.empty())
                 return "the " + provider + " provider needs :MODEL";
             std::vector<std::string> tiers = {tier};
             if (tier == "all") tiers = {"nano", "mini", "standard", "vision"};
             for (const auto& t : tiers) {
                 if (t != "nano" && t != "mini" && t != "standard" && t != "vision") {
                     return "unknown tier '" + t + "'";
                 }
                 c.tiers[t] = TierRoute{provider, model};
             }
             return std::nullopt;
         }},
        {"anthropic-url", "URL", "Messages API origin (key from ANTHROPIC_API_KEY)",
         text(&BackendConfig::anthropicUrl)},
        {"openai-url", "URL",
         "OpenAI-compatible API base, e.g. http://127.0.0.1:8080/v1 "
         "(key from OPENAI_API_KEY)",
         text(&BackendConfig::openaiUrl)},
        {"rate-limit", "N", "chat requests per user per minute; 0 for none (default 30)",
         number(&BackendConfig::rateLimitPerMinute, 0, 1000000)},
        {"sign-in-rate-limit", "N",
         "sign-ins and refreshes per client address per minute; 0 for none (default 20)",
         number(&BackendConfig::signInRateLimitPerMinute, 0, 1000000)},
        {"max-streams-per-user", "N", "answers one user may stream at once (default 4)",
         number(&BackendConfig::maxStreamsPerUser, 1, 4096)},
        {"max-streams", "N",
         "answers this instance streams at once in all (default: 3/4 of --threads)",
         number(&BackendConfig::maxStreams, 1, 65536)},
        {"stream-lease", "SECONDS",
         "with a shared database: how long a dead instance's answers still count against their "
         "users (default 30)",
         number(&BackendConfig::streamLeaseSeconds, 3, 3600)},
        {"max-body", "BYTES", "largest chat request accepted (default 20 MiB)",
         number(&BackendConfig::maxBodyBytes, 1024, 1LL << 32)},
        {"access-token-ttl", "SECONDS", "access token lifetime (default 900)",
         number(&BackendConfig::accessTokenLifetime, 1, 7LL * 24 * 3600)},
        {"refresh-token-ttl", "SECONDS",
         "refresh token lifetime; each refresh hands out a new one (default 2592000, 30 days)",
         number(&BackendConfig::refreshTokenLifetime, 60, 400LL * 24 * 3600)},
        {"refresh-reuse-grace", "SECONDS",
         "how long a used refresh token still gets the same new tokens, for a reply lost on the "
         "way; later reuse ends the sign-in (default 30)",
         number(&BackendConfig::refreshReuseGrace, 0, 3600)},
        {"text-timeout", "SECONDS",
         "how long a model may send no text, before its first words or between them, before the "
         "answer is given up (default 30)",
         number(&BackendConfig::textTimeoutSeconds, 1, 3600)},
        {"answer-timeout", "SECONDS",
         "the longest a model may take for a whole answer (default 600)",
         number(&BackendConfig::answerTimeoutSeconds, 1, 86400)},
        {"offline-pace", "MS", "delay between words of offline answers (default 35)",
         number(&BackendConfig::offlinePaceMs, 0, 10000)},
        {"threads", "N", "worker threads, i.e. concurrent requests (default 64)",
         number(&BackendConfig::threads, 1, 4096)},
        {"disable-user", "ID", "mark a user disabled and exit",
         [](BackendConfig& c, const std::string& v) -> std::optional<std::string> {
             long long id = 0;
             if (auto error = toInt(v, 1, 1LL << 62, id)) return error;
             c.disableUser = id;
             return std::nullopt;
         }},
        {"enable-user", "ID", "clear a user's disabled mark and exit",
         [](BackendConfig& c, const std::string& v) -> std::optional<std::string> {
             long long id = 0;
             if (auto error = toInt(v, 1, 1LL << 62, id)) return error;
             c.enableUser = id;
             return std::nullopt;
         }},
    };
    return list;
}

std::string envName(const char* option) {
    std::string name = "ORVANE_BACKEND_";
    for (const char* c = option; *c; ++c) {
        name += *c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    }
    return name;
}

}  // namespace

bool BackendConfig::isLoopback() const {
    return isLoopbackAddress(host);
}

std::string BackendConfig::paidTier() const {
    for (const auto& [tier, route] : tiers) {
        if (route.provider == "anthropic") return tier + " (anthropic)";
        if (route.provider == "openai" && !isLoopbackUrl(openaiUrl)) return tier + " (openai)";
    }
    return {};
}

std::string BackendConfig::origin() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return std::string(tlsCert.empty() ? "http" : "https") + "://" +
           (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::variant<BackendConfig, std::string> BackendConfig::parse(
    const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    BackendConfig config;
    config.googleClientId = ORVANE_GOOGLE_CLIENT_ID;
    if (const auto home = env.find("HOME"); home != env.end()) {
        config.dataDir = home->second + "/.local/share/orvane-backend";
    }
    if (const auto xdg = env.find("XDG_DATA_HOME"); xdg != env.end() && !xdg->second.empty()) {
        config.dataDir = xdg->second + "/orvane-backend";
    }
    if (const auto key = env.find("ANTHROPIC_API_KEY"); key != env.end())
        config.anthropicKey = key->second;
    if (const auto key = env.find("OPENAI_API_KEY"); key != env.end())
        config.openaiKey = key->second;

    for (const auto& option : options()) {
        const auto value = env.find(envName(option.name));
        if (value == env.end()) continue;
        if (auto error = option.apply(config, value->second)) {
            return envName(option.name) + ": " + *error;
        }
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        const auto& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            config.showHelp = true;
            continue;
        }
        auto name = arg.starts_with("--") ? arg.substr(2) : std::string();
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); equals != std::string::npos) {
            inlineValue = name.substr(equals + 1);
            name.erase(equals);
        }
        const auto option = std::find_if(options().begin(), options().end(),
                                         [&](const Option& o) { return name == o.name; });
        if (option == options().end()) return "unknown argument " + arg;
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (!option->argument) {
            value.clear();  // a switch
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return arg + " needs " + option->argument;
        }
        if (auto error = option->apply(config, value)) return "--" + name + ": " + *error;
    }
    if (config.tlsCert.empty() != config.tlsKey.empty()) {
        return "--tls-cert and --tls-key go together";
    }
    if (config.tlsCert.empty() && !config.isLoopback()) {
        return "plain HTTP is only served on loopback; give --tls-cert and --tls-key";
    }
    if (config.dataDir.empty()) return "--data is required (no HOME to default to)";
    // A key in the clear to another machine is a key given away.
    for (const auto& [key, url, name] :
         {std::tuple{&config.anthropicKey, &config.anthropicUrl, "ANTHROPIC_API_KEY"},
          std::tuple{&config.openaiKey, &config.openaiUrl, "OPENAI_API_KEY"}}) {
        if (!key->empty() && url->starts_with("http://") && !isLoopbackUrl(*url)) {
            return std::string(name) +
                   " goes only over https, or to this machine by its address: " + *url +
                   " is plain http to another host";
        }
    }
    for (const auto* tier : {"nano", "mini", "standard", "vision"}) config.tiers.try_emplace(tier);
    if (config.devIdentity == BackendConfig::DevIdentity::on) {
        if (const auto paid = config.paidTier(); !paid.empty()) {
            return "--dev-identity-provider lets anyone sign in and spend the model provider's key "
                   "(tier " +
                   paid + "); give --dev-identity-provider=force if that is really wanted";
        }
    }
    return config;
}

std::string BackendConfig::help() {
    std::string out =
        "Usage: orvane-backend [OPTIONS]\n\n"
        "The Orvane reference backend: sign-in exchange, AI chat as server-sent events, and a\n"
        "development identity provider, so Orvane runs on one machine with no network.\n\n"
        "Options (each also read from the environment as ORVANE_BACKEND_<NAME>):\n";
    for (const auto& option : options()) {
        std::string left = std::string("  --") + option.name;
        if (option.argument) left += std::string(" ") + option.argument;
        if (left.size() < 34) left.resize(34, ' ');
        out += left + " " + option.help + "\n";
    }
    out += "  --help                             show this text\n";
    return out;
}

}  // namespace orvane::backend
