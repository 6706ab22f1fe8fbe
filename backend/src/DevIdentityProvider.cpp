// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "DevIdentityProvider.h"

#include <httplib.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "Crypto.h"
#include "PrivateFile.h"
#include "protocol/Base64.h"
#include "protocol/Pkce.h"
#include "protocol/Utf8.h"

namespace orvane::backend {

namespace {

constexpr std::int64_t kCodeLifetime = 300;
constexpr std::int64_t kIdTokenLifetime = 3600;

std::string htmlEscape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::shared_ptr<const RsaKey> loadOrCreateKey(const std::string& path) {
    if (const auto pem = readPrivateFile(path)) {
        if (auto key = RsaKey::fromPrivatePem(*pem)) {
            return std::make_shared<const RsaKey>(std::move(*key));
        }
    }
    auto key = RsaKey::generate();
    writePrivateFile(path, key.privatePem());
    return std::make_shared<const RsaKey>(std::move(key));
}

httplib::Params formOf(const httplib::Request& request) {
    httplib::Params params;
    httplib::detail::parse_query_text(request.body, params);
    return params;
}

std::string param(const httplib::Params& params, const char* name) {
    const auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

void oauthError(httplib::Response& response, int status, const std::string& error,
                const std::string& description) {
    response.status = status;
    response.set_content(
        nlohmann::json{{"error", error}, {"error_description", description}}.dump(),
        "application/json");
}

void pageError(httplib::Response& response, const std::string& message) {
    response.status = 400;
    response.set_content(
        "<!doctype html><title>Sign-in error</title><p>" + htmlEscape(message) + "</p>",
        "text/html; charset=utf-8");
}

std::string slug(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (std::isalnum(c))
            out += static_cast<char>(std::tolower(c));
        else if (!out.empty() && out.back() != '.')
            out += '.';
    }
    while (!out.empty() && out.back() == '.') out.pop_back();
    return out.empty() ? "user" : out;
}

}  // namespace

DevIdentityProvider::DevIdentityProvider(std::string clientId, const std::string& keyPath,
                                         Clock clock)
    : m_clientId(std::move(clientId)), m_key(loadOrCreateKey(keyPath)), m_clock(std::move(clock)) {}

std::string DevIdentityProvider::redirectUriFor(const std::string& clientId) {
    std::vector<std::string> labels;
    std::stringstream stream(clientId);
    for (std::string label; std::getline(stream, label, '.');) labels.push_back(label);
    std::reverse(labels.begin(), labels.end());
    std::string scheme;
    for (const auto& label : labels) scheme += (scheme.empty() ? "" : ".") + label;
    return scheme + ":/oauth2redirect/google";
}

void DevIdentityProvider::pruneExpired(std::int64_t now) {
    std::erase_if(m_codes, [now](const auto& entry) { return entry.second.expiresAt < now; });
}

TrustedIssuer DevIdentityProvider::trust() const {
    KeySet keys;
    keys.add(keyId, m_key);
    return TrustedIssuer{{issuer}, m_clientId, std::make_shared<StaticKeySource>(std::move(keys))};
}

DevIdentityProvider::LocalUser DevIdentityProvider::processUser() {
    const auto uid = ::getuid();
    LocalUser user{"", "local-uid-" + std::to_string(uid), "user" + std::to_string(uid)};
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
        user.handle = slug(found->pw_name);
        // The full name is the first field of the comment, where there is one.
        std::string gecos = found->pw_gecos ? found->pw_gecos : "";
        gecos = gecos.substr(0, gecos.find(','));
        user.name = utf8::isValid(gecos) && !gecos.empty() ? std::string(utf8::cut(gecos, 80))
                                                           : found->pw_name;
    }
    if (user.name.empty()) user.name = user.handle;
    return user;
}

void DevIdentityProvider::registerRoutes(httplib::Server& server) {
    registerPage(server);
    registerExchange(server);
}

void DevIdentityProvider::registerPage(httplib::Server& server) {
    // Checks an authorisation request as Google would; returns what is wrong with it, if anything.
    const auto checkRequest = [this](const httplib::Params& p) -> std::string {
        if (param(p, "client_id") != m_clientId) return "Unknown client_id.";
        if (param(p, "redirect_uri") != redirectUriFor(m_clientId)) {
            return "redirect_uri does not match the client's registered redirect.";
        }
        if (param(p, "response_type") != "code") return "response_type must be code.";
        if (param(p, "code_challenge_method") != "S256") {
            return "code_challenge_method must be S256.";
        }
        if (param(p, "code_challenge").size() != 43) return "code_challenge must be 43 characters.";
        return {};
    };

    server.Get("/dev/oauth2/v2/auth", [this, checkRequest](const httplib::Request& request,
                                                           httplib::Response& response) {
        if (const auto problem = checkRequest(request.params); !problem.empty()) {
            pageError(response, problem);
            return;
        }
        std::string hidden;
        for (const char* name : {"client_id", "redirect_uri", "response_type", "scope",
                                 "code_challenge", "code_challenge_method", "state", "nonce"}) {
            hidden += "<input type=\"hidden\" name=\"" + std::string(name) + "\" value=\"" +
                      htmlEscape(param(request.params, name)) + "\">";
        }
        const auto who =
            m_localUser
                ? "<p>Your account lives on this computer, with Orvane's own answer service: you "
                  "sign in as <strong>" +
                      htmlEscape(m_localUser->name) + "</strong>, the user Orvane runs as.</p>"
                : std::string(
                      "<p>Your account lives on this computer, with Orvane's own answer service. "
                      "Choose the name Orvane greets you by.</p><label for=\"name\">Name</label>"
                      "<input type=\"text\" id=\"name\" name=\"name\" value=\"Alex Candidate\" "
                      "required>");
        response.set_content(
            "<!doctype html><html><head><meta charset=\"utf-8\"><title>Sign in to Orvane on this "
            "computer</title><style>body{font-family:sans-serif;max-width:26em;margin:4em "
            "auto;color:#222}input[type=text]{width:100%;padding:.5em;font-size:1em}button{margin-"
            "top:1em;padding:.6em 1.2em;font-size:1em}</style></head><body>"
            "<h1>Sign in to Orvane on this computer</h1>"
            "<form id=\"signin\" method=\"post\" action=\"/dev/oauth2/v2/auth\">" +
                hidden + who +
                "<button type=\"submit\" name=\"action\" value=\"approve\">Sign in</button> "
                "<button type=\"submit\" name=\"action\" value=\"cancel\">Cancel"
                "</button></form></body></html>",
            "text/html; charset=utf-8");
    });

    server.Post("/dev/oauth2/v2/auth", [this, checkRequest](const httplib::Request& request,
                                                            httplib::Response& response) {
        const auto form = formOf(request);
        if (const auto problem = checkRequest(form); !problem.empty()) {
            pageError(response, problem);
            return;
        }
        std::string location = param(form, "redirect_uri");
        const auto state = param(form, "state");
        if (param(form, "action") == "cancel") {
            location += "?error=access_denied&error_description=" +
                        httplib::detail::encode_query_param("The user cancelled the sign-in.");
        } else {
            auto name = m_localUser ? m_localUser->name : param(form, "name");
            name.erase(0, name.find_first_not_of(' '));
            if (name.empty()) name = "Alex Candidate";
            if (!utf8::isValid(name)) {
                pageError(response, "The name must be text.");
                return;
            }
            const auto code = base64::encodeUrl(randomBytes(24));
            {
                std::lock_guard lock(m_mutex);
                const auto now = m_clock();
                pruneExpired(now);
                if (m_codes.size() >= maxPendingCodes) {
                    response.status = 503;
                    response.set_content(
                        "<!doctype html><title>Sign-in busy</title><p>Too many sign-ins are "
                        "waiting. Try again in a few minutes.</p>",
                        "text/html; charset=utf-8");
                    return;
                }
                m_codes[code] = {param(form, "code_challenge"), param(form, "redirect_uri"),
                                 std::string(utf8::cut(name, 80)),
                                 std::string(utf8::cut(param(form, "nonce"), 256)),
                                 now + kCodeLifetime};
            }
            location += "?code=" + code;
        }
        if (!state.empty()) location += "&state=" + httplib::detail::encode_query_param(state);
        response.set_redirect(location);
    });
}

void DevIdentityProvider::registerExchange(httplib::Server& server) {
    server.Post("/dev/token", [this](const httplib::Request& request, httplib::Response& response) {
        const auto form = formOf(request);
        if (param(form, "grant_type") != "authorization_code") {
            oauthError(response, 400, "unsupported_grant_type",
                       "grant_type must be authorization_code.");
            return;
        }
        if (param(form, "client_id") != m_clientId) {
            oauthError(response, 401, "invalid_client", "The OAuth client was not found.");
            return;
        }
        PendingCode pending;
        {
            std::lock_guard lock(m_mutex);
            const auto it = m_codes.find(param(form, "code"));
            if (it == m_codes.end() || it->second.expiresAt < m_clock()) {
                oauthError(response, 400, "invalid_grant", "Malformed auth code.");
                return;
            }
            pending = it->second;
            m_codes.erase(it);  // a code is good for one exchange, right or wrong
        }
        if (param(form, "redirect_uri") != pending.redirectUri) {
            oauthError(response, 400, "invalid_grant", "Bad Request");
            return;
        }
        const auto verifier = param(form, "code_verifier");
        if (verifier.size() < 43 || verifier.size() > 128 ||
            !constantTimeEqual(pkce::challengeFor(systemCrypto(), verifier), pending.challenge)) {
            oauthError(response, 400, "invalid_grant", "Invalid code verifier.");
            return;
        }
        const auto now = m_clock();
        const auto handle = m_localUser ? m_localUser->handle : slug(pending.name);
        const auto subject =
            m_localUser ? m_localUser->subject : "dev-" + hex(sha256(handle)).substr(0, 20);
        const auto givenName = pending.name.substr(0, pending.name.find(' '));
        nlohmann::json claims = {{"iss", issuer},
                                 {"aud", m_clientId},
                                 {"sub", subject},
                                 {"email", handle + "@dev.orvane.invalid"},
                                 {"email_verified", true},
                                 {"name", pending.name},
                                 {"given_name", givenName},
                                 {"iat", now},
                                 {"jti", base64::encodeUrl(randomBytes(12))},
                                 {"exp", now + kIdTokenLifetime}};
        // Binds the token to the sign-in that asked for it, as Google does.
        if (!pending.nonce.empty()) claims["nonce"] = pending.nonce;
        response.set_content(nlohmann::json{{"id_token", jwt::signRs256(claims, *m_key, keyId)},
                                            {"token_type", "Bearer"},
                                            {"expires_in", kIdTokenLifetime},
                                            {"scope", "openid email profile"}}
                                 .dump(),
                             "application/json");
    });

    server.Get("/dev/jwks.json", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(nlohmann::json{{"keys", {m_key->publicJwk(keyId)}}}.dump(),
                             "application/json");
    });
}

}  // namespace orvane::backend
