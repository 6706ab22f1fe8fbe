// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace orvane {

// A browser sign-in: shows an authorisation page and waits for the redirect to the callback
// scheme. It ends in exactly one of three ways, reported once, on any thread: the callback URL,
// an error (the user closed the page, the browser could not be opened, time ran out), or
// neither. When the page's URL carries a "state", only a redirect carrying the same state is
// its answer; any other page may send the browser to the scheme, and such redirects are ignored.
class WebAuthSession {
public:
    using Completion = std::function<void(std::optional<std::string> callbackUrl,
                                          std::optional<std::string> errorDescription)>;
    virtual ~WebAuthSession() = default;
    virtual void start() = 0;
};

class WebAuthSessionFactory {
public:
    virtual ~WebAuthSessionFactory() = default;
    // A session for the URL. Destroying the session releases it: it is not cancelled, and its
    // completion is no longer called.
    virtual std::unique_ptr<WebAuthSession> makeSession(const std::string& url,
                                                        const std::string& callbackScheme,
                                                        WebAuthSession::Completion completion) = 0;
};

}  // namespace orvane
