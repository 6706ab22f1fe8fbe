// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <string>

namespace orvane {

// A share of the screen started on purpose, the way a call starts one and taking its frames as a
// call would, so that the user sees before the call what a share shows of Orvane. The desktop may
// ask the user which screen to share.
class ShareTrial {
public:
    virtual ~ShareTrial() = default;
    // Whether this desktop can start one at all.
    virtual bool available() const = 0;
    // Starts a share. onSharing: its first frame has arrived. onEnded: it ended by itself, failed
    // or was refused, with a line for people saying why. Both on the main thread, never from
    // inside start() or stop().
    virtual void start(std::function<void()> onSharing,
                       std::function<void(const std::string& problem)> onEnded) = 0;
    // Ends the share under way, or the asking for one; nothing more is reported of it.
    virtual void stop() = 0;
};

}  // namespace orvane
