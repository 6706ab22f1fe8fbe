// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "integration/ProcessRun.h"

namespace orvane::testing {

// A private PipeWire with its Pulse server, as most desktops now run: pipewire, wireplumber and
// pipewire-pulse on a session bus and in a runtime directory of their own, with a null sink as
// the default output. Clients of this process reach it through PULSE_SERVER.
class PipeWireServer {
public:
    PipeWireServer() {
        m_dir = std::filesystem::temp_directory_path() /
                ("orvane-pipewire-" + std::to_string(::getpid()));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all);
        start();
    }
    ~PipeWireServer() {
        while (!m_children.empty()) m_children.pop_back();  // the bus last
        ::unsetenv("PULSE_SERVER");
        std::filesystem::remove_all(m_dir);
    }
    // PipeWire ends and starts again on the same bus, as after an update.
    void restart() {
        while (m_children.size() > 1) m_children.pop_back();
        startPipeWire();
    }
    bool running() const { return runCommand("pactl info >/dev/null 2>&1") == 0; }
    std::filesystem::path dir() const { return m_dir; }

private:
    void start() {
        const auto bus = m_dir / "bus";
        spawn({"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus.string()});
        waitUntil([&] { return std::filesystem::exists(bus); }, kStartLimit);
        startPipeWire();
    }
    void startPipeWire() {
        spawn({"pipewire"});
        waitUntil([&] { return std::filesystem::exists(m_dir / "pipewire-0"); }, kStartLimit);
        spawn({"wireplumber"});
        spawn({"pipewire-pulse"});
        ::setenv("PULSE_SERVER", ("unix:" + (m_dir / "pulse" / "native").string()).c_str(), 1);
        waitUntil([&] { return running(); }, kStartLimit);
        runCommand("pactl load-module module-null-sink sink_name=orvane_test >/dev/null");
        runCommand("pactl set-default-sink orvane_test");
    }
    void spawn(const std::vector<std::string>& command) {
        const auto dir = m_dir.string();
        m_children.push_back(std::make_unique<ChildProcess>(
            command, ChildProcess::Options{
                         .errorLog = m_dir / (command[0] + ".log"),
                         .environment = {{"HOME", dir},
                                         {"XDG_RUNTIME_DIR", dir},
                                         {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir + "/bus"},
                                         {"PULSE_SERVER", std::nullopt}}}));
    }
    static constexpr std::chrono::seconds kStartLimit{5};

    std::filesystem::path m_dir;
    std::vector<std::unique_ptr<ChildProcess>> m_children;
};

}  // namespace orvane::testing
