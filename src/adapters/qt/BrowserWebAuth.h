// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QPointer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/WebAuthSession.h"

namespace orvane {

// Browser sign-in on the Linux desktop: the authorisation page opens in the user's default browser
// (xdg-open), and the redirect to the callback scheme comes back as the URL another `orvane URL`
// process hands over through the single-instance channel, which passes it to deliver(). Main
// thread only; completions are made on the main thread.
class BrowserWebAuthFactory : public WebAuthSessionFactory {
public:
    static constexpr std::chrono::minutes defaultTimeout{10};
    static constexpr const char* timedOut = "the sign-in page was not completed in time";

    // The command that opens a URL: the program and its leading arguments; the URL is appended.
    explicit BrowserWebAuthFactory(QStringList opener = {"xdg-open"},
                                   std::chrono::milliseconds timeout = defaultTimeout);
    ~BrowserWebAuthFactory() override;

    std::unique_ptr<WebAuthSession> makeSession(const std::string& url,
                                                const std::string& callbackScheme,
                                                WebAuthSession::Completion completion) override;

    // Completes the waiting session with a redirect to its callback scheme. Answers false when no
    // session is waiting for that scheme, or the redirect does not carry its page's state.
    bool deliver(const QString& callbackUrl);
    bool isWaiting() const;

    class Session;

private:
    friend class Session;
    QStringList m_opener;
    std::chrono::milliseconds m_timeout;
    // The most recently started session that has not finished, if it still exists.
    Session* m_waiting = nullptr;
    // Openers still running when their session went; each deletes itself when it exits.
    std::vector<QPointer<QProcess>> m_openers;
};

}  // namespace orvane
