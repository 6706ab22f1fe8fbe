// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/ModelInstallCommand.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

#include "adapters/curl/CurlHttpClient.h"
#include "adapters/whisper/ModelCatalog.h"
#include "adapters/whisper/ModelInstaller.h"

namespace orvane {

int installModelCommand(const std::string& named, const std::optional<std::string>& sha256,
                        const std::string& baseUrl) {
    CurlHttpClient http;
    ModelInstaller installer(http, ModelInstaller::defaultDirectory().value_or(""));
    auto source = named;
    auto expected = sha256;
    std::error_code error;
    if (const auto* model = ModelCatalog::find(named);
        model && !std::filesystem::exists(named, error)) {
        source = model->url(baseUrl);
        if (!expected) expected = model->sha256;
    }
    const bool download = source.rfind("http://", 0) == 0 || source.rfind("https://", 0) == 0;
    if (!download && !std::filesystem::exists(source, error)) {
        std::string names;
        for (const auto& model : ModelCatalog::models()) {
            names += (names.empty() ? "" : ", ") + model.name;
        }
        std::cerr << "orvane: " << named
                  << " is not a known model, a file or an http(s) address. The known models: "
                  << names << ".\n";
        return 1;
    }
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    int shown = -1;
    const auto progress = [&](const ModelInstaller::Progress& p) {
        const double mb = static_cast<double>(p.bytes) / 1e6;
        const int percent =
            p.total && *p.total ? static_cast<int>(100 * p.bytes / *p.total) : static_cast<int>(mb);
        // On a terminal the line is redrawn; in a log, one line per tenth.
        if (percent == shown || (!terminal && percent / 10 == shown / 10)) return;
        shown = percent;
        char line[160];
        if (p.total && *p.total) {
            std::snprintf(line, sizeof line, "%s: %3d%% (%.1f of %.1f MB)",
                          download ? "Downloading" : "Copying", percent, mb,
                          static_cast<double>(*p.total) / 1e6);
        } else {
            std::snprintf(line, sizeof line, "%s: %.1f MB", download ? "Downloading" : "Copying",
                          mb);
        }
        std::cerr << (terminal ? "\r" : "") << line << (terminal ? "" : "\n") << std::flush;
    };
    const auto result = installer.install(source, expected, progress);
    if (terminal && shown >= 0) std::cerr << "\n";
    if (!result.installed) {
        std::cerr << "orvane: " << result.problem << "\n";
        return 1;
    }
    std::cout << "Installed " << result.installed->string() << "\nSHA-256 " << result.sha256
              << "\nOrvane hears with it from its next start (Preferences can choose another).\n";
    return 0;
}

}  // namespace orvane
