// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

struct DisplayInfo {
    std::uint32_t displayID = 0;
    int width = 0;  // in points
    int height = 0;
    double pixelsPerPoint = 1;  // 2 on a high-density display
};

struct WindowInfo {
    std::uint32_t windowID = 0;
};

struct ShareableContent {
    std::vector<DisplayInfo> displays;  // the first is the main display
    std::vector<WindowInfo> windows;    // windows on screen
};

// One picture of the screen, or why there is none.
struct ScreenPicture {
    enum class Failure {
        none,
        // The desktop, or the user, refused.
        permissionDenied,
        // There is nothing here that can take pictures (no screenshot portal, no display).
        unavailable,
        failed,
    };
    Failure failure = Failure::none;
    std::vector<std::uint8_t> png;  // the PNG file's bytes, when there was no failure
    std::string message;            // a sentence for the user, when there was one

    static ScreenPicture taken(std::vector<std::uint8_t> bytes) {
        return {Failure::none, std::move(bytes), {}};
    }
    static ScreenPicture failed(Failure why, std::string message) {
        return {why, {}, std::move(message)};
    }
    explicit operator bool() const { return failure == Failure::none; }
};

struct ScreenCaptureSettings {
    int width = 0;  // in pixels
    int height = 0;
    bool showsCursor = false;
};

// What can be captured of the screen, and single still pictures of it. Both calls may block and
// are made off the main thread; an adapter that must touch the GUI hops there itself.
class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    // The displays and on-screen windows, or nothing when the screen cannot be read.
    virtual std::optional<ShareableContent> shareableContent() = 0;
    // One picture of the display with excludedWindows left out, as the bytes of a PNG file, no
    // larger than the settings' size (a smaller picture is never enlarged to it), or why it
    // could not be taken.
    virtual ScreenPicture capturePNG(const DisplayInfo& display,
                                     const ScreenCaptureSettings& settings,
                                     const std::vector<WindowInfo>& excludedWindows) = 0;
};

}  // namespace orvane
