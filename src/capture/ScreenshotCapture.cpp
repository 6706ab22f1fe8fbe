// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "capture/ScreenshotCapture.h"

#include "platform/BackgroundQueue.h"
#include "platform/MainQueue.h"
#include "platform/ScreenSource.h"
#include "text/Base64.h"

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
    m_background.async(
        [weak = weak_from_this(), &source = m_source, &mainQueue = m_mainQueue, excludingWindow] {
            auto content = source.shareableContent();
            if (!content || content->displays.empty()) return;
            const auto& display = content->displays.front();
            std::vector<WindowInfo> excluded;
            if (excludingWindow) {
                for (const auto& window : content->windows) {
                    if (window.windowID == *excludingWindow) excluded.push_back(window);
                }
            }
            const ScreenCaptureSettings settings{2 * display.width, 2 * display.height, false};
            auto png = source.capturePNG(display, settings, excluded);
            if (!png) return;
            mainQueue.post([weak, entry = base64::encode(*png)]() mutable {
                auto self = weak.lock();
                if (!self) return;
                self->m_queue.push_back(std::move(entry));
                self->notify();
            });
        });
}

std::vector<std::string> ScreenshotCapture::flush() {
    auto entries = std::move(m_queue);
    m_queue.clear();
    notify();
    return entries;
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
