// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/SoundChoice.h"

#include <fstream>

#include <nlohmann/json.hpp>

#include "adapters/std/PrivateFiles.h"

namespace orvane {

SoundChoice SoundChoice::load(const std::filesystem::path& file) {
    SoundChoice choice;
    std::ifstream in(file);
    if (!in) return choice;
    const auto json = nlohmann::json::parse(in, nullptr, false);
    if (!json.is_object()) return choice;
    for (auto [key, field] : {std::pair{"output", &choice.output}, {"input", &choice.input}}) {
        if (const auto it = json.find(key); it != json.end() && it->is_string()) *field = *it;
    }
    if (const auto it = json.find("hearMeToo"); it != json.end() && it->is_boolean()) {
        choice.hearMeToo = *it;
    }
    return choice;
}

void SoundChoice::save(const std::filesystem::path& file) const {
    if (file.empty() || files::ensurePrivateDirectory(file.parent_path())) return;
    files::writePrivate(
        file,
        nlohmann::json{{"output", output}, {"input", input}, {"hearMeToo", hearMeToo}}.dump(2) +
            "\n");
}

std::filesystem::path SoundChoice::fileForUser() {
    const auto config = files::userConfigHome();
    return config ? *config / "orvane" / "hearing.json" : std::filesystem::path();
}

}  // namespace orvane
