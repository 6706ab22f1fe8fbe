// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <string>
#include <string_view>

namespace orvane {

// What a model provider said went wrong, as its documented fields: the HTTP status of a refused
// request (0 for an error inside a stream), and the error's type and code.
struct UpstreamError {
    int status = 0;
    std::string type;
    std::string code;
    std::string message;  // the provider's own words: for the server's log, never for the user
};

// Reads an error body or event of either format: {"error": {"type", "code", "message"}} or
// {"type": "error", "error": {...}}. Whatever does not parse leaves the fields empty.
UpstreamError parseUpstreamError(int status, std::string_view body);

// What went wrong, by the provider's documented statuses and error types.
enum class UpstreamProblem {
    noCredit,
    keyRefused,
    noSuchModel,
    tooLarge,
    rateLimited,
    overloaded,
    internal,
    refused,  // any other refusal of the request
    failed,   // an error inside the stream
};
UpstreamProblem classify(const UpstreamError& error);

// The sentence the user is shown: the provider's raw text can carry organisation ids, limits or
// gateway internals, so it is mapped to words of our own.
std::string describeUpstreamError(const UpstreamError& error);

}  // namespace orvane
