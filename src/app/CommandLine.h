// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane {

// What `orvane` was asked to do.
struct AppArguments {
    bool help = false;
    bool version = false;
    std::optional<std::string> traceEvents;  // file to write the session's events to
    std::optional<std::string> apiBase;      // another backend origin than the build's
    std::optional<std::string> url;          // a sign-in redirect handed over by the browser
    // For the running Orvane: "sign-in", "toggle-session", "sign-out", "screenshot",
    // "copy-answer" or "toggle-panel".
    std::optional<std::string> command;
    // A Whisper model to install (a file or an http(s) URL), and the SHA-256 it must have.
    std::optional<std::string> installModel;
    std::optional<std::string> sha256;
    std::optional<std::string> error;  // set when the arguments make no sense

    static AppArguments parse(const std::vector<std::string>& arguments);
    // The message this process hands to a running Orvane: "open URL", a command, or "activate".
    std::string message() const;
};

std::string appUsage();
std::string appVersionLine();

}  // namespace orvane
