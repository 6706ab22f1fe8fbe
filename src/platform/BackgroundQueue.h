// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>

namespace orvane {

// A serial queue off the main thread for work that may block: opening and closing audio streams,
// grabbing and encoding screenshots. Blocks run one at a time in the order given, so a stop queued
// after a start always sees what that start created. async() may be called from any thread and
// never runs the block inside the call.
class BackgroundQueue {
public:
    virtual ~BackgroundQueue() = default;
    virtual void async(std::function<void()> block) = 0;
};

}  // namespace orvane
