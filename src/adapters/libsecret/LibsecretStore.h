// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "platform/SecretStore.h"

namespace orvane {

// SecretStore on libsecret: items in the desktop's Secret Service (GNOME Keyring, KWallet),
// identified by the attributes "service" and "account" and stored in the default collection.
// Where no Secret Service is running, reads are absent and writes do nothing; secrets are never
// written to a plain file instead.
class LibsecretStore : public SecretStore {
public:
    std::optional<std::vector<std::uint8_t>> read(const std::string& service,
                                                  const std::string& account) override;
    void save(const std::string& service, const std::string& account,
              const std::vector<std::uint8_t>& value) override;
    void remove(const std::string& service, const std::string& account) override;
};

}  // namespace orvane
