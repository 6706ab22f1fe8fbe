// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <string>

namespace orvane {

// Tells when another program is sharing the whole screen, as far as this desktop lets a program
// know, so that windows the desktop cannot leave out of the share can step aside.
class ShareWatcher {
public:
    virtual ~ShareWatcher() = default;
    // How it knows, in a line for people ("the sharing bar of Chrome, ..."); empty when it cannot.
    virtual std::string method() const = 0;
    // Whether a share is seen as it is set up, before its first frame is taken.
    virtual bool seesSharesBeforeTheirFrames() const { return false; }
    // Calls onChanged(true) when a share starts and onChanged(false) when the last one ends, on
    // the main thread; once at once if a share is already under way.
    virtual void watch(std::function<void(bool sharing)> onChanged) = 0;
};

}  // namespace orvane
