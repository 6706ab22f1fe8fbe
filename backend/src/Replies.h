// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <httplib.h>

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "Database.h"

namespace orvane::backend {

// The reply shapes every route answers with: a JSON object, or {"error", "details"?}.
void jsonReply(httplib::Response& response, int status, const nlohmann::json& body);
void errorReply(httplib::Response& response, int status, const std::string& error,
                const std::string& details = {});
std::optional<std::string> bearerToken(const httplib::Request& request);
nlohmann::json userJson(const User& user);
std::int64_t nowSeconds();

// Names the user a request acts for, in its log line (the request's own thread only).
void noteRequestUser(std::int64_t userId);

}  // namespace orvane::backend
