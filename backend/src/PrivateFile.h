// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace orvane::backend {

// Keys and secrets on disk: readable by their owner only.

// The file's text; nothing when there is no such file. Throws std::runtime_error, with what to
// do, when it is not a plain file of this user's that only they can read and write.
std::optional<std::string> readPrivateFile(const std::filesystem::path& path);

// Replaces the file in one step: the text goes to a new file created 0600 beside it, reaches the
// disk, and is renamed into place, so a crash leaves the old file or the new one, never half.
// Throws std::runtime_error when it cannot.
void writePrivateFile(const std::filesystem::path& path, const std::string& text);

}  // namespace orvane::backend
