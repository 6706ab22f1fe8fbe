// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <optional>
#include <string>

namespace orvane {

// `orvane --install-model NAME|FILE|URL [--sha256 HEX]`: downloads or copies a model into place,
// showing how far it has got on standard error. A name of the catalog ("tiny.en") downloads
// that model from under baseUrl, checked against the catalog's sum. Returns the exit status.
int installModelCommand(const std::string& source, const std::optional<std::string>& sha256,
                        const std::string& baseUrl);

}  // namespace orvane
