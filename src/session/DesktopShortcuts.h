// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <vector>

#include "platform/GlobalShortcuts.h"

namespace orvane {

// The panel's actions that must work while the call has the keyboard, and the keys asked for.
namespace shortcut {
inline constexpr const char* pushToTalk = "push-to-talk";
inline constexpr const char* screenshot = "screenshot";
inline constexpr const char* copyAnswer = "copy-answer";
inline constexpr const char* togglePanel = "toggle-panel";
}  // namespace shortcut

std::vector<GlobalShortcut> desktopShortcuts();

}  // namespace orvane
