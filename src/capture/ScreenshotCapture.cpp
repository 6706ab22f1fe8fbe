// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/ScreenshotCapture.h"

#include <algorithm>

#include "platform/BackgroundQueue.h"
#include "platform/MainQueue.h"
#include "platform/ScreenSource.h"
#include "protocol/Base64.h"

namespace orvane {

std::shared_ptr<ScreenshotCapture> ScreenshotCapture::create(ScreenSource& source,
                                                             BackgroundQueue& background,
                                                             MainQueue& mainQueue) {
    return std::shared_ptr<ScreenshotCapture>(new ScreenshotCapture(source, background, mainQueue));
}

ScreenshotCapture::ScreenshotCapture(ScreenSource& source, BackgroundQueue& background,
                                     MainQueue& mainQueue)
    : m_source(source), m_background(background), m_mainQueue(mainQueue) {}

void ScreenshotCapture::capture(std::optional<std::uint32_t> excludingWindow) {
    if (static_cast<int>(m_queue.size()) + m_inProgress >= maxQueued) {
        if (onError) onError(queueFullMessage);
        return;
    }
    ++m_inProgress;
    m_background.async(
        [weak = weak_from_this(), &source = m_source, &mainQueue = m_mainQueue, excludingWindow] {
            // Every way out hands the picture, or why there is none, back to the main thread.
            std::optional<std::string> entry;
            std::string failure;
            const auto done = [&] {
                mainQueue.post(
                    [weak, entry = std::move(entry), failure = std::move(failure)]() mutable {
                        if (auto self = weak.lock()) {
                            self->finishCapture(std::move(entry), failure);
                        }
                    });
            };
            auto content = source.shareableContent();
            if (!content || content->displays.empty()) {
                failure = "No screen to take a picture of was found.";
                return done();
            }
            const auto& display = content->displays.front();
            std::vector<WindowInfo> excluded;
            if (excludingWindow) {
                for (const auto& window : content->windows) {
                    if (window.windowID == *excludingWindow) excluded.push_back(window);
                }
            }
            // The display's own pixels: more would only enlarge the picture and the request.
            const ScreenCaptureSettings settings{
                static_cast<int>(display.width * display.pixelsPerPoint + 0.5),
                static_cast<int>(display.height * display.pixelsPerPoint + 0.5), false};
            if (auto picture = source.capturePNG(display, settings, excluded)) {
                entry = base64::encode(picture.png);
            } else {
                failure = picture.message;
            }
            done();
        });
}

void ScreenshotCapture::finishCapture(std::optional<std::string> entry,
                                      const std::string& failure) {
    m_inProgress = std::max(0, m_inProgress - 1);
    if (!entry) {
        if (onError) onError(failure);
        return;
    }
    m_queue.push_back(std::move(*entry));
    notify();
}

std::vector<std::string> ScreenshotCapture::flush() {
    auto entries = std::move(m_queue);
    m_queue.clear();
    notify();
    return entries;
}

void ScreenshotCapture::putBack(std::vector<std::string> entries) {
    if (entries.empty()) return;
    entries.insert(entries.end(), std::make_move_iterator(m_queue.begin()),
                   std::make_move_iterator(m_queue.end()));
    entries.resize(std::min<std::size_t>(entries.size(), maxQueued));
    m_queue = std::move(entries);
    notify();
}

void ScreenshotCapture::removeLast() {
    if (m_queue.empty()) return;
    m_queue.pop_back();
    notify();
}

void ScreenshotCapture::clear() {
    m_queue.clear();
    notify();
}

void ScreenshotCapture::notify() {
    if (onQueueChanged) onQueueChanged(static_cast<int>(m_queue.size()));
}

}  // namespace orvane
