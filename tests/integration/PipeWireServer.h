// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace orvane::testing {

inline int runCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
        for (auto it = m_pids.rbegin(); it != m_pids.rend(); ++it) {
            ::kill(*it, SIGTERM);
            ::waitpid(*it, nullptr, 0);
        }
        ::unsetenv("PULSE_SERVER");
        std::filesystem::remove_all(m_dir);
    }
    bool running() const { return runCommand("pactl info >/dev/null 2>&1") == 0; }
    std::filesystem::path dir() const { return m_dir; }

private:
    void start() {
        const auto bus = m_dir / "bus";
        spawn({"dbus-daemon", "--session", "--nofork", "--address=unix:path=" + bus.string()});
        waitFor([&] { return std::filesystem::exists(bus); });
        spawn({"pipewire"});
        waitFor([&] { return std::filesystem::exists(m_dir / "pipewire-0"); });
        spawn({"wireplumber"});
        spawn({"pipewire-pulse"});
        ::setenv("PULSE_SERVER", ("unix:" + (m_dir / "pulse" / "native").string()).c_str(), 1);
        waitFor([&] { return running(); });
        runCommand("pactl load-module module-null-sink sink_name=orvane_test >/dev/null");
        runCommand("pactl set-default-sink orvane_test");
    }
    void spawn(const std::vector<std::string>& command) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("HOME", m_dir.c_str(), 1);
            ::setenv("XDG_RUNTIME_DIR", m_dir.c_str(), 1);
            ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (m_dir / "bus").string()).c_str(),
                     1);
            ::unsetenv("PULSE_SERVER");
            std::freopen((m_dir / (command[0] + ".log")).c_str(), "w", stderr);
            std::vector<char*> argv;
            for (const auto& part : command) argv.push_back(const_cast<char*>(part.c_str()));
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        }
        m_pids.push_back(pid);
    }
    static void waitFor(const std::function<bool()>& ready) {
        for (int i = 0; i < 250 && !ready(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    std::filesystem::path m_dir;
    std::vector<pid_t> m_pids;
};

}  // namespace orvane::testing
