// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
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

}  // namespace orvane::testing
