// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string_view>

// The backend's routes, appended to its origin.
namespace orvane::endpoints {

inline constexpr std::string_view chat = "/api/v1/ai/chat";
inline constexpr std::string_view googleSignIn = "/api/v1/auth/mobile/google";
inline constexpr std::string_view appleSignIn = "/api/v1/auth/mobile/apple";
inline constexpr std::string_view refresh = "/api/v1/auth/refresh";

}  // namespace orvane::endpoints
