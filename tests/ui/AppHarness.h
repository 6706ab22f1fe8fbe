// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QCoreApplication>
#include <QString>

#include <ostream>

#include <nlohmann/json.hpp>

#include "accounts/AuthManager.h"
#include "fakes/ScriptedAccounts.h"
#include "fakes/SessionFakes.h"
#include "session/SessionManager.h"

// Readable QStrings in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace orvane::testing {

// Every service the application's windows use, on fakes and virtual time, with the account
// state wired to a scripted browser and a scripted network.
struct AppHarness : SessionFakes {
    static constexpr const char* redirect =
        "com.googleusercontent.apps.123456789012-abcdefghijklmnopqrstuvwxyz012345:/oauth2redirect/"
        "google";

    ScriptedCrypto crypto;
    ScriptedWebAuth webAuth;
    ScriptedAppleSignIn apple;
    AuthManager auth{{mainQueue, http, crypto, webAuth, apple},
                     AuthConfig{"123456789012-abcdefghijklmnopqrstuvwxyz012345.apps."
                                "googleusercontent.com",
                                "com.googleusercontent.apps.123456789012-"
                                "abcdefghijklmnopqrstuvwxyz012345",
                                "https://accounts.example.test/auth",
                                "https://accounts.example.test/token", "https://api.orvane.test"}};

    SessionServices services() { return SessionFakes::services(auth); }
    static SessionConfig sessionConfig() { return {"https://api.orvane.test", 1.5}; }

    static HttpResult reply(int status, const nlohmann::json& body) {
        return HttpResult{HttpResponse{status}, body.dump(), std::nullopt};
    }

    // The browser comes back with a code, Google hands out an ID token and the backend answers
    // with the given user record.
    void completeGoogleSignIn(const nlohmann::json& user) {
        webAuth.finish(std::string(redirect) + "?code=4/code&state=" + webAuth.pageItem("state"));
        mainQueue.runUntilIdle();
        http.sends.back().completion(
            reply(200, {{"id_token", idTokenWithNonce(webAuth.pageItem("nonce"))}}));
        mainQueue.runUntilIdle();
        http.sends.back().completion(
            reply(200, {{"accessToken", "access"}, {"refreshToken", "refresh"}, {"user", user}}));
        mainQueue.runUntilIdle();
    }
    void failGoogleSignIn(const std::string& browserError) {
        webAuth.finish(std::nullopt, browserError);
        mainQueue.runUntilIdle();
    }
    // Runs what deleteLater left for the event loop.
    static void releaseDroppedWindows() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

}  // namespace orvane::testing
