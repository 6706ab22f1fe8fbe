// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <QTest>

#include <sys/socket.h>
#include <sys/un.h>

#include <memory>

#include "adapters/pipewire/PipeWireShareWatcher.h"
#include "adapters/pipewire/PortalShareTrial.h"
#include "integration/PipeWireServer.h"
#include "ui/PrivateBus.h"

struct PortalStream {
    uint node = 0;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(PortalStream)

QDBusArgument& operator<<(QDBusArgument& out, const PortalStream& stream) {
    out.beginStructure();
    out << stream.node << stream.properties;
    out.endStructure();
    return out;
}
const QDBusArgument& operator>>(const QDBusArgument& in, PortalStream& stream) {
    in.beginStructure();
    in >> stream.node >> stream.properties;
    in.endStructure();
    return in;
}

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

std::uint32_t nodeId(const std::string& name) {
    for (const auto& object : nlohmann::json::parse(runProcess("pw-dump 2>/dev/null").output)) {
        if (object.value("type", "") == "PipeWire:Interface:Node" &&
            object["info"]["props"].value("node.name", "") == name) {
            return object["id"];
        }
    }
    return 0;
}

// The ScreenCast portal as a client sees it: a session, a monitor chosen (or the choice
// cancelled), one stream started, and the PipeWire it runs in handed over as a descriptor.
class FakeScreenCastPortal : public FakePortal {
public:
    FakeScreenCastPortal(QDBusConnection bus, std::filesystem::path pipewire)
        : FakePortal(std::move(bus)), m_pipewire(std::move(pipewire)) {
        qDBusRegisterMetaType<PortalStream>();
        qDBusRegisterMetaType<QList<PortalStream>>();
    }
    uint node = 0;
    uint choice = 0;
    int closed = 0;

    bool handleMessage(const QDBusMessage& call, const QDBusConnection&) override {
        if (call.interface() == "org.freedesktop.portal.Session") {
            ++closed;
            return m_bus.send(call.createReply());
        }
        if (call.interface() != "org.freedesktop.portal.ScreenCast") return false;
        if (call.member() == "OpenPipeWireRemote") {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, m_pipewire.c_str(), sizeof address.sun_path - 1);
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_bus.send(call.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(fd))));
            return ::close(fd) == 0;
        }
        const auto request = acceptRequest(call, qdbus_cast<QVariantMap>(call.arguments().last()));
        if (call.member() == "CreateSession") {
            respond(request, 0,
                    {{"session_handle", "/org/freedesktop/portal/desktop/session/t/1"}});
        } else if (call.member() == "SelectSources") {
            respond(request, choice, {});
        } else {
            respond(request, 0,
                    {{"streams", QVariant::fromValue(QList<PortalStream>{{node, {}}})}});
        }
        return true;
    }

private:
    std::filesystem::path m_pipewire;
};

// A test share made as a Wayland call makes one, through a stand-in portal on a private bus and
// the real PipeWire graph: its frames are taken, the watcher sees it, and it ends with its session.
TEST(ShareIndicators, ATestShareThroughThePortalIsSeenAsAShareAndEndsWithItsSession) {
    PipeWireServer pipewire;
    ASSERT_TRUE(pipewire.running());
    ::setenv("PIPEWIRE_REMOTE", (pipewire.dir() / "pipewire-0").c_str(), 1);
    PipeWireShareWatcher watcher;
    watcher.watch([](bool) {});
    PrivateBus bus;
    FakeScreenCastPortal portal(bus.connect("portal"), pipewire.dir() / "pipewire-0");
    auto trial = std::make_unique<PortalShareTrial>(bus.connect("client"));
    const auto screen = videoSource("screen");
    portal.node = nodeId("screen");
    ASSERT_NE(portal.node, 0u);

    bool sharing = false;
    std::optional<std::string> ended;
    const auto start = [&] {
        sharing = false;
        ended.reset();
        trial->start([&] { sharing = true; }, [&](const std::string& why) { ended = why; });
    };
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sharing; }, 10000)) << ended.value_or("");
    EXPECT_TRUE(QTest::qWaitFor([&] { return watcher.isSharing(); }, 5000));
    trial->stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !watcher.isSharing() && portal.closed == 1; }, 5000));
    QTest::qWait(100);
    EXPECT_FALSE(ended) << "a stop is not reported";

    portal.choice = 1;
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.has_value(); }, 5000));
    EXPECT_EQ(*ended, "The share was cancelled.");
    EXPECT_FALSE(sharing);

    portal.choice = 0;
    start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sharing; }, 10000));
    screen->kill();
    screen->waitForFinished();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ended.has_value(); }, 5000))
        << "the screen's stream went away";
    EXPECT_TRUE(QTest::qWaitFor([&] { return portal.closed == 3; }, 5000)) << portal.closed;
    trial.reset();
    bus.disconnectAll();
    ::unsetenv("PIPEWIRE_REMOTE");
}

}  // namespace
}  // namespace orvane::testing
