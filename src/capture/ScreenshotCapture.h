// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

class BackgroundQueue;
class MainQueue;
class ScreenSource;

// Screenshots queued for the next question: each the standard Base64 text of a PNG of the first
// display at its own pixel size (never enlarged), pointer hidden. At most maxQueued wait at once.
// Main thread only; pictures are taken and encoded on the background queue.
class ScreenshotCapture : public std::enable_shared_from_this<ScreenshotCapture> {
public:
    static std::shared_ptr<ScreenshotCapture> create(ScreenSource& source,
                                                     BackgroundQueue& background,
                                                     MainQueue& mainQueue);

    static constexpr int maxQueued = 5;
    static constexpr const char* queueFullMessage =
        "5 screenshots are waiting already -- send them with a question first";

    // The new number of queued pictures, after every change below.
    std::function<void(int count)> onQueueChanged;
    // A picture that was not taken, and why, for the user.
    std::function<void(const std::string& message)> onError;

    const std::vector<std::string>& queue() const { return m_queue; }
    // Replaces the entries without a notification.
    void setQueue(std::vector<std::string> entries) { m_queue = std::move(entries); }

    // Takes one picture, leaving out the window with this number if it is on screen, and appends
    // it when done. A full queue (pictures still being taken count) takes none and says so, and
    // so does a picture that cannot be taken (no portal, a refusal), with the reason.
    void capture(std::optional<std::uint32_t> excludingWindow);
    // All entries, oldest first; the queue is empty afterwards.
    std::vector<std::string> flush();
    // Returns entries taken by flush() whose question was withdrawn: they go back before the ones
    // queued since, and the newest give way past maxQueued.
    void putBack(std::vector<std::string> entries);
    void removeLast();
    void clear();

private:
    ScreenshotCapture(ScreenSource& source, BackgroundQueue& background, MainQueue& mainQueue);

    void finishCapture(std::optional<std::string> entry, const std::string& failure);
    void notify();

    ScreenSource& m_source;
    BackgroundQueue& m_background;
    MainQueue& m_mainQueue;
    std::vector<std::string> m_queue;
    int m_inProgress = 0;
};

}  // namespace orvane
