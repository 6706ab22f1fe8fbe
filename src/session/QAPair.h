// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <chrono>
#include <string>

namespace orvane {

// One recorded exchange: the question as sent and its trimmed answer.
struct QAPair {
    std::string question;
    std::string answer;
    std::chrono::system_clock::time_point timestamp;
};

}  // namespace orvane
