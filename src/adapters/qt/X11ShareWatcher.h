// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

#include "platform/ShareWatcher.h"

class QSocketNotifier;
struct xcb_connection_t;

namespace orvane {

// X11 says nothing of a capture, but the calling programs show a window of their own while they
// share the screen: watches the window list, on a connection of its own, for the indicators of
// share::indicators(). GUI thread only.
class X11ShareWatcher : public QObject, public ShareWatcher {
    Q_OBJECT
public:
    // Connects to the display Qt uses; without one it can tell nothing (method() is empty).
    X11ShareWatcher();
    ~X11ShareWatcher() override;

    std::string method() const override;
    void watch(std::function<void(bool sharing)> onChanged) override;
    bool isSharing() const { return m_sharing; }

private:
    void readEvents();
    void rescan();

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint32_t m_netWmName = 0;
    std::unique_ptr<QSocketNotifier> m_events;
    // Windows come and go in bursts (a browser opens several at once): one look after the burst.
    QTimer m_settle;
    bool m_sharing = false;
    std::function<void(bool)> m_onChanged;
};

}  // namespace orvane
