// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace orvane::testing {

// What one of Orvane's command-line programs printed: every line, the JSON event lines parsed.
struct ProcessRun {
    int exitCode = -1;
    std::vector<nlohmann::json> events;
    std::string output;
};

// Runs the shell command with standard error folded into standard output.
inline ProcessRun runProcess(const std::string& command) {
    ProcessRun run;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        const std::string line(buffer);
        run.output += line;
        if (line.starts_with("{")) run.events.push_back(nlohmann::json::parse(line));
    }
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

inline std::string shellQuoted(const std::string& argument) {
    std::string out = "'";
    for (char c : argument) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Whether the condition came to hold within the limit, looking every few milliseconds.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The shell command's exit status, or -1 when a signal ended it.
inline int runCommand(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A program a test starts and must end: found on PATH, with the environment changed in it alone
// and its standard error kept in a file when one is given; ended with its stop signal and reaped
// when the test is done with it.
class ChildProcess {
public:
    struct Options {
        std::filesystem::path errorLog = {};
        // A name without a value is unset.
        std::vector<std::pair<std::string, std::optional<std::string>>> environment = {};
        int stopSignal = SIGTERM;
    };
    ChildProcess(std::vector<std::string> command, const Options& options)
        : m_stopSignal(options.stopSignal) {
        m_pid = ::fork();
        if (m_pid != 0) return;
        for (const auto& [name, value] : options.environment) {
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        }
        if (!options.errorLog.empty()) std::freopen(options.errorLog.c_str(), "w", stderr);
        std::vector<char*> argv;
        for (auto& part : command) argv.push_back(part.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ~ChildProcess() { stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Whether it still runs; reaps it once it has exited.
    bool running() {
        if (m_pid <= 0) return false;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) != m_pid) return true;
        m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        m_pid = -1;
        return false;
    }
    // Its exit status once it has ended by itself within a few seconds, else -1.
    int exitStatus() {
        waitUntil([this] { return !running(); }, std::chrono::seconds(3));
        return m_exitStatus;
    }
    void stop() { stop(m_stopSignal); }
    // SIGKILL ends it as a crash would, with nothing finished or cleaned up.
    void stop(int signal) {
        if (m_pid <= 0) return;
        ::kill(m_pid, signal);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_stopSignal;
    int m_exitStatus = -1;
};

}  // namespace orvane::testing
