// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QProcess>
#include <QTest>

#include <memory>

#include "adapters/pipewire/PipeWireShareWatcher.h"
#include "integration/PipeWireServer.h"

namespace orvane::testing {
namespace {

bool inGraph(const QString& node) {
    return runCommand("pw-link -o | grep -q '^" + node.toStdString() + ":'") == 0;
}

// A video source in the graph, as a compositor's screencast or a camera shows there; back once
// a viewer can find it.
std::unique_ptr<QProcess> videoSource(const QString& name, const QString& extraProperties = {}) {
    auto process = std::make_unique<QProcess>();
    process->start(
        "gst-launch-1.0",
        {"-q", "videotestsrc", "is-live=true", "!",
         "video/x-raw,format=BGRx,width=64,height=48,framerate=10/1", "!", "pipewiresink",
         "mode=provide",
         "stream-properties=props,media.class=Video/Source,node.name=" + name + extraProperties});
    EXPECT_TRUE(QTest::qWaitFor([&] { return inGraph(name); }, 10000)) << name.toStdString();
    return process;
}

// A program taking the source's frames, as the call does with a share.
std::unique_ptr<QProcess> viewer(const QString& source) {
    auto process = std::make_unique<QProcess>();
    process->start("gst-launch-1.0", {"-q", "pipewiresrc", "target-object=" + source, "!",
                                      "video/x-raw,format=BGRx", "!", "fakesink"});
    return process;
}

TEST(ShareIndicators, PipeWireSeesAScreenSourceTakenAndNeverACameraAndOutlivesARestart) {
    PipeWireServer pipewire;
    ASSERT_TRUE(pipewire.running());
    ::setenv("PIPEWIRE_REMOTE", (pipewire.dir() / "pipewire-0").c_str(), 1);
    PipeWireShareWatcher watcher;
    ASSERT_FALSE(watcher.method().empty());
    std::vector<bool> seen;
    watcher.watch([&](bool sharing) { seen.push_back(sharing); });

    const auto camera = videoSource("camera", ",device.id=99");
    const auto call = viewer("camera");
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return runCommand("pw-link -l | grep -A1 '^camera:' | grep -q '|->'") == 0; }, 10000))
        << "the call takes the camera";
    QTest::qWait(200);
    EXPECT_FALSE(watcher.isSharing()) << "a camera is no share";

    const auto screen = videoSource("screen");
    auto share = viewer("screen");
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.isSharing(); }, 10000));
    share->kill();
    share->waitForFinished();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !watcher.isSharing(); }, 10000));
    for (auto* process : {camera.get(), call.get(), screen.get()}) {
        process->kill();
        process->waitForFinished();
    }

    // PipeWire restarted (an update, a resume): the watcher finds it again.
    pipewire.restart();
    ASSERT_TRUE(pipewire.running());
    const auto again = videoSource("screen-again");
    const auto shareAgain = viewer("screen-again");
    EXPECT_TRUE(QTest::qWaitFor([&] { return watcher.isSharing(); }, 10000));
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
    for (auto* process : {again.get(), shareAgain.get()}) {
        process->kill();
        process->waitForFinished();
    }
    ::unsetenv("PIPEWIRE_REMOTE");
}

}  // namespace
}  // namespace orvane::testing
