// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string_view>

namespace orvane {

// The desktop around Orvane: system settings pages and the like.
class Workspace {
public:
    virtual ~Workspace() = default;
    // Shows the privacy settings page named by anchor (e.g. "Privacy_ScreenCapture") where the
    // desktop has one; the outcome is not reported.
    virtual void openPrivacySettings(std::string_view anchor) = 0;
};

}  // namespace orvane
