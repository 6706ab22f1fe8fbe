// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/PortalScreenSource.h"

#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "adapters/qt/PortalRequest.h"

namespace orvane {

namespace {

constexpr auto noPortal =
    "This desktop offers no screenshot portal: install xdg-desktop-portal and the portal for "
    "your desktop (xdg-desktop-portal-gnome, -kde or -wlr).";

}  // namespace

// What one capture learned. GUI-thread fields are touched there only; the rest is written under
// the hand-over's lock once, when done is set.
struct PortalScreenSource::Outcome {
    // GUI thread
    std::vector<QPointer<QWindow>> hidden;
    QPointer<PortalRequest> request;
    bool abandoned = false;
    // written once, under the lock; plain strings, so that no implicitly shared Qt data crosses
    // to the calling thread
    bool done = false;
    ScreenPicture::Failure failure = ScreenPicture::Failure::none;
    std::string message;
    std::string file;
};

ScreenPicture PortalScreenSource::capturePNG(const DisplayInfo&,
                                             const ScreenCaptureSettings& settings,
                                             const std::vector<WindowInfo>& excludedWindows) {
    auto outcome = std::make_shared<Outcome>();
    const bool ran = m_gui.run([&] {
        for (auto* window : visibleWindows(excludedWindows)) {
            outcome->hidden.emplace_back(window);
            window->hide();
        }
        if (outcome->hidden.empty()) return request(outcome);
        QTimer::singleShot(settleMilliseconds, m_gui.context(), [this, outcome] {
            if (!outcome->abandoned) request(outcome);
        });
    });
    if (!ran) {
        return ScreenPicture::failed(ScreenPicture::Failure::unavailable,
                                     "Orvane is closing; no screenshot was taken.");
    }
    if (!m_gui.waitUntil(answerWait, [&] { return outcome->done; })) {
        m_gui.run([&] {
            outcome->abandoned = true;
            if (outcome->request) outcome->request->cancel();
            for (auto& window : outcome->hidden) {
                if (window) window->show();
            }
            outcome->hidden.clear();
        });
        if (m_gui.closed()) {
            return ScreenPicture::failed(ScreenPicture::Failure::unavailable,
                                         "Orvane is closing; no screenshot was taken.");
        }
        return ScreenPicture::failed(ScreenPicture::Failure::failed,
                                     "The desktop did not answer the screenshot request in time.");
    }
    return picture(*outcome, settings);
}

void PortalScreenSource::request(const std::shared_ptr<Outcome>& outcome) {
    outcome->request = PortalRequest::start(
        m_bus, "org.freedesktop.portal.Screenshot", "Screenshot", {QString()},
        {{"interactive", false}},
        [this, outcome](uint response, const QVariantMap& results) {
            finish(outcome, [&] {
                if (response == 0) {
                    outcome->file =
                        QUrl(results.value("uri").toString()).toLocalFile().toStdString();
                    if (outcome->file.empty()) {
                        outcome->failure = ScreenPicture::Failure::failed;
                        outcome->message = "The desktop's screenshot was not a local file.";
                    }
                } else if (response == 1) {
                    outcome->failure = ScreenPicture::Failure::permissionDenied;
                    outcome->message = "The screenshot was cancelled.";
                } else {
                    outcome->failure = ScreenPicture::Failure::permissionDenied;
                    outcome->message =
                        "The desktop refused the screenshot: allow Orvane to take screenshots "
                        "in the desktop's privacy settings.";
                }
            });
        },
        [this, outcome](const QDBusError& error) {
            finish(outcome, [&] {
                if (PortalRequest::meansNoPortal(error)) {
                    outcome->failure = ScreenPicture::Failure::unavailable;
                    outcome->message = noPortal;
                } else {
                    outcome->failure = ScreenPicture::Failure::failed;
                    outcome->message =
                        "The desktop's screenshot portal failed: " + error.message().toStdString();
                }
            });
        },
        m_gui.context());
}

void PortalScreenSource::finish(const std::shared_ptr<Outcome>& outcome,
                                const std::function<void()>& record) {
    for (auto& window : outcome->hidden) {
        if (window) window->show();
    }
    outcome->hidden.clear();
    m_gui.complete([&] {
        record();
        outcome->done = true;
    });
}

ScreenPicture PortalScreenSource::picture(const Outcome& outcome,
                                          const ScreenCaptureSettings& settings) {
    if (outcome.failure != ScreenPicture::Failure::none) {
        return ScreenPicture::failed(outcome.failure, outcome.message);
    }
    const auto file = QString::fromStdString(outcome.file);
    QImage image(file);
    // The portal saved it for this one picture; it must not pile up among the user's files.
    QFile::remove(file);
    return encode(std::move(image), settings);
}

}  // namespace orvane
