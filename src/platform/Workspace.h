// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <string_view>

namespace orvane {

// The desktop around Orvane: system settings pages and the like.
class Workspace {
public:
    virtual ~Workspace() = default;
    // Asks the desktop to leave the window out of (or back in) screen capture, sharing and other
    // programs' screenshots. False when the desktop cannot do that; nothing changed then.
    virtual bool setExcludedFromCapture(std::uint64_t windowId, bool excluded) = 0;
};

}  // namespace orvane
