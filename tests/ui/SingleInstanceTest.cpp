// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

#include "app/SingleInstance.h"

namespace orvane::testing {
namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath("instance"); }
    QTemporaryDir dir;
};

TEST_F(SingleInstanceTest, TheFirstListensAndASecondIsRefused) {
    SingleInstance first(path());
    ASSERT_TRUE(first.listen());
    SingleInstance second(path());
    EXPECT_FALSE(second.listen());
    // Only this user may connect.
    EXPECT_EQ(QFileInfo(path()).permissions() & (QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions());
}

TEST_F(SingleInstanceTest, AMessageReachesTheRunningInstance) {
    SingleInstance running(path());
    ASSERT_TRUE(running.listen());
    QStringList received;
    running.onMessage = [&](const QString& message) { received << message; };

    // The sender blocks while it waits for the answer, as a second process would; here it runs
    // on a thread of its own so that this event loop can answer.
    bool forwarded = false;
    std::thread sender([&] {
        forwarded = SingleInstance(path()).forward("open scheme:/redirect?code=a%20b&state=1");
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !received.isEmpty(); }, 5000));
    sender.join();
    EXPECT_TRUE(forwarded);
    EXPECT_EQ(received, QStringList{"open scheme:/redirect?code=a%20b&state=1"});
}

TEST_F(SingleInstanceTest, WithNobodyRunningForwardingFails) {
    EXPECT_FALSE(SingleInstance(path()).forward("activate", 500));
}

TEST_F(SingleInstanceTest, ASocketLeftByAnInstanceThatEndedIsTakenOver) {
    // A process that listened and was killed leaves its socket file behind.
    QProcess crashed;
    crashed.start("python3", {"-c",
                              "import socket,os,sys\n"
                              "s=socket.socket(socket.AF_UNIX)\n"
                              "s.bind(sys.argv[1]); s.listen(1)\n"
                              "print('ready', flush=True)\n"
                              "os.kill(os.getpid(), 9)\n",
                              path()});
    ASSERT_TRUE(crashed.waitForFinished(5000));
    ASSERT_TRUE(QFileInfo::exists(path()));

    SingleInstance next(path());
    EXPECT_TRUE(next.listen());
}

}  // namespace
}  // namespace orvane::testing
