// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace orvane::base64 {

// Standard alphabet, with padding, no line breaks.
std::string encode(std::span<const std::uint8_t> bytes);

}  // namespace orvane::base64
