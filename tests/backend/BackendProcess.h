// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <httplib.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "backend/BackendHarness.h"
#include "integration/FreePort.h"
#include "orvane/BuildConfig.h"

namespace orvane::testing {

// The orvane-backend program itself, on a free loopback port with a data directory of its own,
// its standard error kept in a file; stopped with SIGTERM when the test is done. A data directory
// given by the test is the test's to remove.
class BackendProcess {
public:
    explicit BackendProcess(const std::string& name, std::vector<std::string> extraArguments = {},
                            std::filesystem::path dataDir = {})
        : m_dataDir(dataDir.empty() ? freshDataDir(name) : dataDir),
          m_ownsData(dataDir.empty()),
          m_log(std::filesystem::temp_directory_path() /
                ("orvane-" + name + "-" + std::to_string(::getpid()) + ".log")) {
        m_port = freeLoopbackPort();
        std::vector<std::string> arguments = {ORVANE_BACKEND_PATH,
                                              "--listen",
                                              "127.0.0.1:" + std::to_string(m_port),
                                              "--data",
                                              m_dataDir.string(),
                                              "--offline-pace",
                                              "0"};
        arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
        m_pid = ::fork();
        if (m_pid == 0) {
            std::freopen(m_log.c_str(), "w", stderr);
            std::vector<char*> argv;
            for (auto& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            ::execv(ORVANE_BACKEND_PATH, argv.data());
            ::_exit(127);
        }
        httplib::Client probe("127.0.0.1", m_port);
        probe.set_connection_timeout(0, 200000);
        for (int i = 0; i < 500 && running() && !probe.Get("/healthz"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~BackendProcess() {
        stop();
        std::filesystem::remove(m_log);
        if (m_ownsData) std::filesystem::remove_all(m_dataDir);
    }
    BackendProcess(const BackendProcess&) = delete;
    BackendProcess& operator=(const BackendProcess&) = delete;

    // Whether it still runs; reaps it once it has exited.
    bool running() {
        if (m_pid <= 0) return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            m_pid = -1;
            return false;
        }
        return true;
    }
    // Its exit status once it has ended by itself (waiting up to a few seconds), else -1.
    int exitStatus() {
        for (int i = 0; i < 300 && running(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return m_exitStatus;
    }
    // Ends it as a crash would, with nothing finished or cleaned up.
    void kill() {
        if (m_pid > 0) ::kill(m_pid, SIGKILL);
        stop();
    }
    void stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }
    std::string log() const {
        std::ifstream in(m_log);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    long peakRssKilobytes() const {
        std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
        }
        return -1;
    }
    int port() const { return m_port; }
    pid_t pid() const { return m_pid; }
    const std::filesystem::path& dataDir() const { return m_dataDir; }
    httplib::Client client() const {
        httplib::Client c("127.0.0.1", m_port);
        c.set_read_timeout(30);
        return c;
    }
    // A harness pointed at this process, for its sign-in helpers.
    void attach(BackendHarness& harness) const {
        harness.port = m_port;
        harness.config.googleClientId = std::string(buildconfig::googleClientId);
    }

private:
    std::filesystem::path m_dataDir;
    bool m_ownsData;
    std::filesystem::path m_log;
    int m_port = 0;
    pid_t m_pid = -1;
    int m_exitStatus = -1;
};

}  // namespace orvane::testing
