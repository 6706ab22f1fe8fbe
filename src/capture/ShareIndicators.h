// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvane::share {

// A window a calling program shows while it shares the whole screen, and only then.
struct Indicator {
    std::string_view programs;                    // for people: "Chrome, Chromium, ..."
    std::vector<std::string_view> windowClasses;  // WM_CLASS, either part, any case
    std::string_view titleContains;
};

// Every indicator Orvane knows, in one place.
const std::vector<Indicator>& indicators();
bool isIndicator(std::string_view instanceOrClass, std::string_view title);
// "the sharing bar of Chrome, …, or Zoom's sharing toolbar", for Preferences and the status line.
std::string recognised();

}  // namespace orvane::share
