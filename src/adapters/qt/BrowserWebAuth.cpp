// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/BrowserWebAuth.h"

#include <QProcess>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

namespace orvane {

namespace {

// How long a quitting Orvane waits for an opener still running (xdg-open usually exits at once).
constexpr int kOpenerGrace = 500;  // milliseconds

}  // namespace

class BrowserWebAuthFactory::Session : public WebAuthSession {
public:
    Session(BrowserWebAuthFactory& factory, QString url, QString scheme, Completion completion)
        : m_factory(factory),
          m_url(std::move(url)),
          m_scheme(std::move(scheme)),
          m_completion(std::move(completion)) {}

    ~Session() override {
        if (m_factory.m_waiting == this) m_factory.m_waiting = nullptr;
        m_timer.stop();
        if (!m_browser) return;
        m_browser->disconnect();
        if (m_browser->state() == QProcess::NotRunning) {
            delete m_browser;
        } else {
            // The browser keeps running; only its report is no longer wanted.
            QObject::connect(m_browser, &QProcess::finished, m_browser, &QObject::deleteLater);
            std::erase_if(m_factory.m_openers, [](const auto& opener) { return !opener; });
            m_factory.m_openers.emplace_back(m_browser);
        }
    }

    void start() override {
        m_factory.m_waiting = this;
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { finish(std::nullopt, timedOut); });
        m_timer.start(m_factory.m_timeout);
        openBrowser();
    }

    const QString& scheme() const { return m_scheme; }
    // Whether a redirect answers this session's page: the same scheme, and the page's state.
    bool answers(const QUrl& redirect) const {
        if (!redirect.isValid() || redirect.scheme().compare(m_scheme, Qt::CaseInsensitive) != 0) {
            return false;
        }
        const auto expected = QUrlQuery(QUrl(m_url)).queryItemValue("state", QUrl::FullyDecoded);
        return expected.isEmpty() ||
               QUrlQuery(redirect).queryItemValue("state", QUrl::FullyDecoded) == expected;
    }

    void finish(std::optional<std::string> callbackUrl, std::optional<std::string> error) {
        if (!m_completion) return;
        m_timer.stop();
        if (m_factory.m_waiting == this) m_factory.m_waiting = nullptr;
        // The completion may release this session: nothing of it is touched afterwards.
        auto completion = std::move(m_completion);
        m_completion = nullptr;
        completion(std::move(callbackUrl), std::move(error));
    }

private:
    void openBrowser() {
        auto opener = m_factory.m_opener;
        if (opener.isEmpty()) {
            finish(std::nullopt, "no web browser is configured");
            return;
        }
        const QString program = opener.takeFirst();
        opener.append(m_url);
        m_browser = new QProcess;
        m_browser->setProcessChannelMode(QProcess::ForwardedChannels);
        QObject::connect(m_browser, &QProcess::errorOccurred, [this](QProcess::ProcessError err) {
            if (err != QProcess::FailedToStart) return;
            finish(std::nullopt, "the web browser could not be opened (" +
                                     m_browser->program().toStdString() + " did not start)");
        });
        // xdg-open hands the page to the browser and exits; a failure exit means no browser took
        // it. A browser run directly may stay open, which is fine.
        QObject::connect(m_browser, &QProcess::finished, [this](int code, QProcess::ExitStatus) {
            if (code == 0) return;
            finish(std::nullopt, "the web browser could not be opened (" +
                                     m_browser->program().toStdString() + " exited with status " +
                                     std::to_string(code) + ")");
        });
        m_browser->start(program, opener);
    }

    BrowserWebAuthFactory& m_factory;
    QString m_url;
    QString m_scheme;
    Completion m_completion;
    QTimer m_timer;
    QProcess* m_browser = nullptr;
};

BrowserWebAuthFactory::BrowserWebAuthFactory(QStringList opener, std::chrono::milliseconds timeout)
    : m_opener(std::move(opener)), m_timeout(timeout) {}

BrowserWebAuthFactory::~BrowserWebAuthFactory() {
    for (const auto& opener : m_openers) {
        // Deleting a running QProcess kills it, and a browser run directly may still be showing
        // the user's pages: only openers that have exited by now are reclaimed.
        if (opener && opener->waitForFinished(kOpenerGrace)) delete opener;
    }
}

std::unique_ptr<WebAuthSession> BrowserWebAuthFactory::makeSession(
    const std::string& url, const std::string& callbackScheme,
    WebAuthSession::Completion completion) {
    return std::make_unique<Session>(*this, QString::fromStdString(url),
                                     QString::fromStdString(callbackScheme), std::move(completion));
}

bool BrowserWebAuthFactory::isWaiting() const {
    return m_waiting != nullptr;
}

bool BrowserWebAuthFactory::deliver(const QString& callbackUrl) {
    if (!m_waiting || !m_waiting->answers(QUrl(callbackUrl))) return false;
    m_waiting->finish(callbackUrl.toStdString(), std::nullopt);
    return true;
}

}  // namespace orvane
