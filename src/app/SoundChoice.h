// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <filesystem>
#include <string>

namespace orvane {

// Where the user chose Orvane hears from, kept across runs in a private file of theirs
// (~/.config/orvane/hearing.json): the output whose sound is the interviewer, the input
// push-to-talk records, and whether that input is heard too while a session runs ("Hear me too").
// Empty names follow the sound server's defaults.
struct SoundChoice {
    std::string output;
    std::string input;
    bool hearMeToo = false;

    // Whatever cannot be read leaves the defaults.
    static SoundChoice load(const std::filesystem::path& file);
    void save(const std::filesystem::path& file) const;
    static std::filesystem::path fileForUser();
    bool operator==(const SoundChoice&) const = default;
};

}  // namespace orvane
