// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>

namespace orvane::backend {

// An address of this machine only: an IP literal in 127.0.0.0/8 or ::1 (brackets allowed), or
// "localhost". Names that merely begin like one ("127.example.com") are not.
bool isLoopbackAddress(const std::string& host);
// The host of an http(s) URL is such an address.
bool isLoopbackUrl(const std::string& url);

}  // namespace orvane::backend
