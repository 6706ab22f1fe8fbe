// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "backend/BackendHarness.h"
#include "integration/FreePort.h"
#include "integration/ProcessRun.h"
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
                ("orvane-" + name + "-" + std::to_string(::getpid()) + ".log")),
          m_port(freeLoopbackPort()),
          m_process(arguments(m_port, m_dataDir, std::move(extraArguments)),
                    ChildProcess::Options{.errorLog = m_log}) {
        httplib::Client probe("127.0.0.1", m_port);
        probe.set_connection_timeout(0, 200000);
        waitUntil([&] { return !running() || probe.Get("/healthz"); }, std::chrono::seconds(5));
    }
    ~BackendProcess() {
        stop();
        std::filesystem::remove(m_log);
        if (m_ownsData) std::filesystem::remove_all(m_dataDir);
    }
    BackendProcess(const BackendProcess&) = delete;
    BackendProcess& operator=(const BackendProcess&) = delete;

    // Whether it still runs; reaps it once it has exited.
    bool running() { return m_process.running(); }
    // Its exit status once it has ended by itself (waiting up to a few seconds), else -1.
    int exitStatus() { return m_process.exitStatus(); }
    // Ends it as a crash would, with nothing finished or cleaned up.
    void kill() { m_process.stop(SIGKILL); }
    void stop() { m_process.stop(); }
    std::string log() const {
        std::ifstream in(m_log);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    long peakRssKilobytes() const {
        std::ifstream status("/proc/" + std::to_string(pid()) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
        }
        return -1;
    }
    int port() const { return m_port; }
    pid_t pid() const { return m_process.pid(); }
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
    static std::vector<std::string> arguments(int port, const std::filesystem::path& dataDir,
                                              std::vector<std::string> extra) {
        std::vector<std::string> all = {ORVANE_BACKEND_PATH,
                                        "--listen",
                                        "127.0.0.1:" + std::to_string(port),
                                        "--data",
                                        dataDir.string(),
                                        "--offline-pace",
                                        "0"};
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    }

    std::filesystem::path m_dataDir;
    bool m_ownsData;
    std::filesystem::path m_log;
    int m_port;
    ChildProcess m_process;
};

}  // namespace orvane::testing
