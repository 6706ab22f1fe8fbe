// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/HttpClient.h"

namespace orvane {

// Puts Whisper models where Orvane finds them: downloaded from a URL or copied from a file, each
// checked against its SHA-256 and read as a model before it takes its place, so a cut-off
// download, a wrong file or an error page never becomes a model. Until then it is a hidden
// ".part" file beside the models, removed when what arrived is wrong; a download that was cut off
// or stopped leaves it, and the next download of the same file asks only for the rest. The models
// directory must be this user's alone, and the part file is made there or continued only as a
// regular file of this user's, never through a link.
class ModelInstaller {
public:
    struct Progress {
        std::uint64_t bytes = 0;
        std::optional<std::uint64_t> total;  // when the server said
    };
    struct Result {
        std::optional<std::filesystem::path> installed;
        std::string sha256;   // of what was read, in lower-case hex
        std::string problem;  // why nothing was installed
    };

    // Nothing larger than maxBytes is taken (a server that sends no length could send forever).
    ModelInstaller(HttpClient& http, std::filesystem::path modelsDirectory,
                   std::uint64_t maxBytes = maxModelBytes)
        : m_http(http), m_directory(std::move(modelsDirectory)), m_maxBytes(maxBytes) {}

    // $XDG_DATA_HOME/orvane/models, ~/.local/share/orvane/models without it; nothing without a
    // home directory (models are never kept where other users could swap them).
    static std::optional<std::filesystem::path> defaultDirectory();
    // No model Orvane offers is larger; a download that grows past this stops there.
    static constexpr std::uint64_t maxModelBytes = 500ULL * 1024 * 1024;
    static constexpr const char* noHomeMessage =
        "Models need a home directory of this user's (HOME is not set), and none is installed or "
        "chosen without one.";
    // The models in a directory, newest first.
    static std::vector<std::filesystem::path> installedModels(
        const std::filesystem::path& directory);

    // Installs from an http(s) URL, which needs the expected SHA-256, or from a file, whose sum
    // is checked when one is given. Blocks until done; progress is reported as bytes arrive (on
    // the network thread for a download). `stop` abandons it within a tenth of a second.
    Result install(const std::string& source, const std::optional<std::string>& expectedSha256,
                   const std::function<void(const Progress&)>& progress,
                   const std::atomic<bool>* stop = nullptr);

private:
    HttpClient& m_http;
    std::filesystem::path m_directory;
    std::uint64_t m_maxBytes;
};

}  // namespace orvane
