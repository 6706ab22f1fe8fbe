// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <vector>

#include <nlohmann/json.hpp>

#include "accounts/OAuthEncoding.h"
#include "crypto/OpenSslCrypto.h"
#include "platform/AppleSignIn.h"
#include "platform/SecretStore.h"
#include "platform/WebAuthSession.h"
#include "protocol/Base64.h"
#include "protocol/Crypto.h"

namespace orvane::testing {

// Real SHA-256; random bytes from a script when one is queued, else from the system.
struct ScriptedCrypto : Crypto {
    std::deque<std::vector<std::uint8_t>> scriptedRandom;
    OpenSslCrypto real;

    std::vector<std::uint8_t> randomBytes(std::size_t count) override {
        if (scriptedRandom.empty()) return real.randomBytes(count);
        auto bytes = std::move(scriptedRandom.front());
        scriptedRandom.pop_front();
        return bytes;
    }
    std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> data) override {
        return real.sha256(data);
    }
};

// Browser sessions the test finishes by hand, as the user and the browser would.
struct ScriptedWebAuth : WebAuthSessionFactory {
    struct Record {
        std::string url;
        std::string callbackScheme;
        WebAuthSession::Completion completion;
        bool started = false;
        bool released = false;
    };
    struct Session : WebAuthSession {
        std::shared_ptr<Record> record;
        void start() override { record->started = true; }
        ~Session() override { record->released = true; }
    };

    std::vector<std::shared_ptr<Record>> sessions;

    std::unique_ptr<WebAuthSession> makeSession(const std::string& url,
                                                const std::string& callbackScheme,
                                                WebAuthSession::Completion completion) override {
        auto record = std::make_shared<Record>(Record{url, callbackScheme, std::move(completion)});
        sessions.push_back(record);
        auto session = std::make_unique<Session>();
        session->record = record;
        return session;
    }
    // The session reports, unless it has been released.
    void finish(std::optional<std::string> callbackUrl, std::optional<std::string> error = {}) {
        auto& record = *sessions.back();
        if (!record.released) record.completion(std::move(callbackUrl), std::move(error));
    }
    // A query item of the page the latest session opened ("state", "nonce"), or "".
    std::string pageItem(const std::string& name) const {
        const auto items = oauth::queryItems(sessions.back()->url);
        for (const auto& [item, value] : items.value_or(std::vector<oauth::QueryItem>{})) {
            if (item == name) return value.value_or("");
        }
        return {};
    }
};

// An ID token as a token endpoint hands it out: the app reads only its claims.
inline std::string idTokenWithNonce(const std::string& nonce) {
    const auto claims = nlohmann::json{{"sub", "g-1"}, {"nonce", nonce}}.dump();
    return "eyJhbGciOiJSUzI1NiJ9." +
           base64::encodeUrl(
               std::span(reinterpret_cast<const std::uint8_t*>(claims.data()), claims.size())) +
           ".c2ln";
}

struct ScriptedAppleSignIn : AppleSignIn {
    std::vector<Completion> requests;
    void performRequest(Completion completion) override {
        requests.push_back(std::move(completion));
    }
};

// A secret store in memory; `refuseSaves` makes every save fail silently, as a locked store would.
struct InMemorySecretStore : SecretStore {
    std::map<std::pair<std::string, std::string>, std::vector<std::uint8_t>> items;
    bool refuseSaves = false;

    std::optional<std::vector<std::uint8_t>> read(const std::string& service,
                                                  const std::string& account) override {
        const auto it = items.find({service, account});
        if (it == items.end()) return std::nullopt;
        return it->second;
    }
    void save(const std::string& service, const std::string& account,
              const std::vector<std::uint8_t>& value) override {
        if (!refuseSaves) items[{service, account}] = value;
    }
    void remove(const std::string& service, const std::string& account) override {
        items.erase({service, account});
    }
};

}  // namespace orvane::testing
