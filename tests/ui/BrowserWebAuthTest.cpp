// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "adapters/qt/BrowserWebAuth.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kScheme = "com.googleusercontent.apps.123-abc";
constexpr const char* kRedirect =
    "com.googleusercontent.apps.123-abc:/oauth2redirect/google?code=7";

struct Outcome {
    int calls = 0;
    std::optional<std::string> url;
    std::optional<std::string> error;
};

WebAuthSession::Completion recordInto(Outcome& outcome) {
    return [&outcome](std::optional<std::string> url, std::optional<std::string> error) {
        ++outcome.calls;
        outcome.url = std::move(url);
        outcome.error = std::move(error);
    };
}

// A browser that writes down the page it was asked to open and exits as xdg-open does.
class RecordingBrowser {
public:
    RecordingBrowser() : m_log(m_dir.filePath("opened.txt")) {}
    QStringList opener() const { return {"sh", "-c", "printf %s \"$1\" > '" + m_log + "'", "sh"}; }
    QString opened() const {
        QFile file(m_log);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

private:
    QTemporaryDir m_dir;
    QString m_log;
};

TEST(BrowserWebAuth, OpensThePageAndCompletesWithTheRedirectHandedOver) {
    RecordingBrowser browser;
    BrowserWebAuthFactory factory(browser.opener(), 10s);
    Outcome outcome;
    auto session = factory.makeSession("https://idp.test/auth?client_id=x&scope=a%20b", kScheme,
                                       recordInto(outcome));
    EXPECT_FALSE(factory.isWaiting());
    session->start();
    EXPECT_TRUE(factory.isWaiting());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !browser.opened().isEmpty(); }, 5000));
    EXPECT_EQ(browser.opened(), "https://idp.test/auth?client_id=x&scope=a%20b");
    EXPECT_EQ(outcome.calls, 0);

    EXPECT_TRUE(factory.deliver(kRedirect));
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_EQ(outcome.url, kRedirect);
    EXPECT_FALSE(outcome.error);
    // Exactly once: a second redirect finds nobody waiting.
    EXPECT_FALSE(factory.isWaiting());
    EXPECT_FALSE(factory.deliver(kRedirect));
    EXPECT_EQ(outcome.calls, 1);
}

TEST(BrowserWebAuth, ARedirectForAnotherSchemeIsNotTakenAndTheNewestSessionTakesOurs) {
    BrowserWebAuthFactory factory({"true"}, 10s);
    Outcome outcome;
    auto session = factory.makeSession("https://idp.test/auth", kScheme, recordInto(outcome));
    session->start();
    EXPECT_FALSE(factory.deliver("https://evil.test/oauth2redirect/google?code=7"));
    EXPECT_FALSE(factory.deliver("not a url at all"));
    EXPECT_EQ(outcome.calls, 0);
    // The scheme is compared without regard to case, as URL schemes are.
    std::unique_ptr<WebAuthSession> newer;
    int newerCalls = 0;
    newer = factory.makeSession("https://idp.test/auth?2", kScheme, [&](auto, auto) {
        ++newerCalls;
        newer.reset();
    });
    newer->start();
    EXPECT_TRUE(factory.deliver(QString(kRedirect).replace("com.google", "COM.GOOGLE")));
    EXPECT_EQ(newerCalls, 1) << "the newest session takes it";
    EXPECT_EQ(newer, nullptr) << "and may release itself in its completion";
    EXPECT_EQ(outcome.calls, 0) << "the older one waits on";
}

TEST(BrowserWebAuth, NoRedirectInTimeIsAnError) {
    BrowserWebAuthFactory factory({"true"}, 50ms);
    Outcome outcome;
    auto session = factory.makeSession("https://idp.test/auth", kScheme, recordInto(outcome));
    session->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.calls > 0; }, 5000));
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.url);
    EXPECT_EQ(outcome.error, "the sign-in page was not completed in time");
    EXPECT_FALSE(factory.deliver(kRedirect));
    QTest::qWait(100);
    EXPECT_EQ(outcome.calls, 1);
}

TEST(BrowserWebAuth, ABrowserThatCannotOpenThePageIsAnError) {
    for (const auto& opener : {QStringList{"false"}, QStringList{"/nonexistent/xdg-open"}}) {
        BrowserWebAuthFactory factory(opener, 10s);
        Outcome outcome;
        auto session = factory.makeSession("https://idp.test/auth", kScheme, recordInto(outcome));
        session->start();
        ASSERT_TRUE(QTest::qWaitFor([&] { return outcome.calls > 0; }, 5000))
            << opener.join(' ').toStdString();
        EXPECT_FALSE(outcome.url);
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->rfind("the web browser could not be opened", 0), 0u)
            << *outcome.error;
        EXPECT_FALSE(factory.isWaiting());
    }
}

TEST(BrowserWebAuth, AReleasedSessionNeverReports) {
    BrowserWebAuthFactory factory({"sleep", "0.2"}, 100ms);
    Outcome outcome;
    auto session = factory.makeSession("https://idp.test/auth", kScheme, recordInto(outcome));
    session->start();
    session.reset();
    EXPECT_FALSE(factory.isWaiting());
    EXPECT_FALSE(factory.deliver(kRedirect));
    QTest::qWait(400);
    EXPECT_EQ(outcome.calls, 0);
}

}  // namespace
}  // namespace orvane::testing
