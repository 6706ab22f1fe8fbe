// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "accounts/SignInReplies.h"

#include "accounts/OAuthEncoding.h"
#include "protocol/Base64.h"
#include "protocol/Utf8.h"

namespace orvane::signin {

namespace {

constexpr std::size_t kReplyExcerptCharacters = 200;

std::optional<nlohmann::json> jsonObject(const std::string& body) {
    auto parsed = nlohmann::json::parse(body, nullptr, false);
    if (!parsed.is_object()) return std::nullopt;
    return parsed;
}

std::optional<std::string> stringMember(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

std::optional<nlohmann::json> userOf(const nlohmann::json& object) {
    const auto user = object.find("user");
    if (user == object.end() || !user->is_object()) return std::nullopt;
    return *user;
}

// The body as text, or nothing when it is not UTF-8.
std::optional<std::string> decoded(const std::string& body) {
    if (!utf8::isValid(body)) return std::nullopt;
    return body;
}

// The first `count` characters of UTF-8 text.
std::string prefixCharacters(const std::string& text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count) {
            return text.substr(0, i);
        }
    }
    return text;
}

int statusOf(const HttpResult& reply) {
    return reply.response ? reply.response->statusCode : 0;
}

// A reply's JSON object, or why there is none, told as `who` says it.
struct ReplyObject {
    std::optional<nlohmann::json> object;
    std::string problem;
};
ReplyObject objectOf(const HttpResult& reply, const std::string& who) {
    const auto status = std::to_string(statusOf(reply));
    if (reply.error) return {std::nullopt, who + ": " + *reply.error};
    if (!reply.body) return {std::nullopt, who + " (HTTP " + status + "): empty"};
    auto object = jsonObject(*reply.body);
    if (!object) {
        return {std::nullopt,
                who + " (HTTP " + status + "): " + decoded(*reply.body).value_or("empty")};
    }
    return {std::move(object), ""};
}

const std::optional<std::string>* firstItem(const std::vector<oauth::QueryItem>& items,
                                            const char* name) {
    for (const auto& [itemName, value] : items) {
        if (itemName == name) return &value;
    }
    return nullptr;
}

}  // namespace

Redirect readRedirect(const std::optional<std::string>& callbackUrl,
                      const std::optional<std::string>& browserError, const std::string& state) {
    using Kind = Redirect::Kind;
    if (browserError) return {Kind::failed, "Browser session: " + *browserError};
    if (!callbackUrl) return {Kind::failed, "No callback URL returned"};
    const auto items = oauth::queryItems(*callbackUrl);
    if (!items || items->empty()) return {Kind::failed, "No auth code in callback"};
    // Any page can send the browser to Orvane's scheme; only the answer to this sign-in counts.
    const auto* returned = firstItem(*items, "state");
    if (!returned || !*returned || **returned != state) return {Kind::notOurs, ""};
    if (const auto* error = firstItem(*items, "error"); error && *error) {
        const auto* description = firstItem(*items, "error_description");
        const auto details = description && *description ? **description : "no details";
        return {Kind::failed, "Google: " + **error + " - " + details};
    }
    const auto* code = firstItem(*items, "code");
    if (!code || !*code) return {Kind::failed, "No auth code in callback"};
    return {Kind::code, **code};
}

IdToken readTokenReply(const HttpResult& reply) {
    const auto [object, problem] = objectOf(reply, "Token exchange");
    if (!object) return {std::nullopt, problem};
    if (auto token = stringMember(*object, "id_token")) return {std::move(token), ""};
    const auto detail = stringMember(*object, "error_description")
                            .value_or(stringMember(*object, "error").value_or("no id_token"));
    return {std::nullopt, "Google token (HTTP " + std::to_string(statusOf(reply)) + "): " + detail};
}

bool carriesNonce(const std::string& idToken, const std::string& nonce) {
    const auto first = idToken.find('.');
    const auto second = idToken.find('.', first + 1);
    if (first == std::string::npos || second == std::string::npos) return false;
    const auto payload =
        base64::decodeUrl(std::string_view(idToken).substr(first + 1, second - first - 1));
    if (!payload) return false;
    const auto claims = jsonObject(std::string(payload->begin(), payload->end()));
    return claims && stringMember(*claims, "nonce") == nonce;
}

SignedIn readSignInReply(const HttpResult& reply) {
    const auto [object, problem] = objectOf(reply, "Backend");
    if (!object) return {std::nullopt, problem};
    if (const auto error = stringMember(*object, "error")) {
        const auto details = stringMember(*object, "details");
        return {std::nullopt, "Backend: " + *error + (details ? " - " + *details : "")};
    }
    Account account{stringMember(*object, "accessToken"), stringMember(*object, "refreshToken"),
                    userOf(*object)};
    if (account.accessToken) return {std::move(account), std::nullopt};
    return {std::move(account),
            "No access token in response: " +
                prefixCharacters(decoded(*reply.body).value_or(""), kReplyExcerptCharacters)};
}

Renewed readRenewalReply(const HttpResult& reply) {
    using Kind = Renewed::Kind;
    const auto object = reply.body ? jsonObject(*reply.body) : std::nullopt;
    const auto accessToken = object ? stringMember(*object, "accessToken") : std::nullopt;
    if (accessToken && !stringMember(*object, "error")) {
        return {Kind::renewed,
                {accessToken, stringMember(*object, "refreshToken"), userOf(*object)}};
    }
    if (reply.error) return {Kind::lost, {}};
    const int status = statusOf(reply);
    return {status == 400 || status == 401 || status == 403 ? Kind::refused : Kind::failed, {}};
}

}  // namespace orvane::signin
