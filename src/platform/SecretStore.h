// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// The desktop's store for small secrets, one value per (service, account). Nothing is reported:
// a read that fails for any reason is absent, a save or remove that fails changes nothing. Calls
// block; call them from any thread.
class SecretStore {
public:
    virtual ~SecretStore() = default;
    virtual std::optional<std::vector<std::uint8_t>> read(const std::string& service,
                                                          const std::string& account) = 0;
    virtual void save(const std::string& service, const std::string& account,
                      const std::vector<std::uint8_t>& value) = 0;
    virtual void remove(const std::string& service, const std::string& account) = 0;
};

}  // namespace orvane
