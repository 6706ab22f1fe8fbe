// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// What Sign in with Apple hands back: the identity token's bytes and the stable user id.
struct AppleIdCredential {
    std::optional<std::vector<std::uint8_t>> identityToken;
    std::string user;
};

// The platform's Sign in with Apple sheet, asked for the full name and e-mail scopes. It reports
// once, on any thread: a credential (absent when the platform returned another kind), or an
// error description (the user cancelled, or the platform has no such service).
class AppleSignIn {
public:
    using Completion = std::function<void(std::optional<AppleIdCredential> credential,
                                          std::optional<std::string> errorDescription)>;
    virtual ~AppleSignIn() = default;
    virtual void performRequest(Completion completion) = 0;
};

}  // namespace orvane
