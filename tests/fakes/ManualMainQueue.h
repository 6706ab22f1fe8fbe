// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "adapters/std/SteppedMainQueue.h"

namespace orvane::testing {

// The tests' main queue: virtual time, advanced by the test.
using ManualMainQueue = SteppedMainQueue;

}  // namespace orvane::testing
