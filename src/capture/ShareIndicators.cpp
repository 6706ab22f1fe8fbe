// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/ShareIndicators.h"

#include <algorithm>
#include <cctype>

namespace orvane::share {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

}  // namespace

// Chromium's bar says "… is sharing a window" or "… this tab" for a narrower share, which the
// panel is not in. Firefox's indicator is left out: it shows for a camera as well, and would
// hide the panel for every video call.
const std::vector<Indicator>& indicators() {
    static const std::vector<Indicator> table = {
        {"the sharing bar of Chrome, Chromium, Edge, Brave, Vivaldi or Opera",
         {"google-chrome", "chromium", "chromium-browser", "microsoft-edge", "brave-browser",
          "vivaldi-stable", "opera"},
         "is sharing your screen"},
        {"Zoom's sharing toolbar", {"zoom"}, "as_toolbar"},
    };
    return table;
}

bool isIndicator(std::string_view instanceOrClass, std::string_view title) {
    return std::any_of(indicators().begin(), indicators().end(), [&](const Indicator& indicator) {
        return title.find(indicator.titleContains) != std::string_view::npos &&
               std::any_of(
                   indicator.windowClasses.begin(), indicator.windowClasses.end(),
                   [&](std::string_view c) { return sameIgnoringCase(c, instanceOrClass); });
    });
}

std::string recognised() {
    std::string text;
    for (std::size_t i = 0; i < indicators().size(); ++i) {
        if (i > 0) text += i + 1 == indicators().size() ? " or " : ", ";
        text += indicators()[i].programs;
    }
    return text;
}

}  // namespace orvane::share
