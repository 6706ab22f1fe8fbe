// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "protocol/ProviderErrors.h"

#include <nlohmann/json.hpp>

namespace orvane {

namespace {

std::string stringAt(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) return {};
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number_integer()) return std::to_string(it->get<long long>());
    return {};
}

bool any(const std::string& value, std::initializer_list<std::string_view> names) {
    for (const auto name : names) {
        if (value == name) return true;
    }
    return false;
}

}  // namespace

UpstreamError parseUpstreamError(int status, std::string_view body) {
    UpstreamError error{status, {}, {}, std::string(body.substr(0, 2048))};
    const auto parsed = nlohmann::json::parse(body, nullptr, false);
    if (!parsed.is_object()) return error;
    const auto inner = parsed.find("error");
    if (inner == parsed.end()) return error;
    if (inner->is_object()) {
        error.type = stringAt(*inner, "type");
        error.code = stringAt(*inner, "code");
        error.message = stringAt(*inner, "message");
    } else if (inner->is_string()) {
        error.message = inner->get<std::string>();  // Ollama and llama.cpp: {"error": "..."}
    }
    return error;
}

UpstreamProblem classify(const UpstreamError& e) {
    const auto& kind = e.type;
    const auto& code = e.code;
    // Anthropic reports an empty balance as an invalid request; its wording is the only sign.
    if (e.status == 402 || any(kind, {"insufficient_quota", "billing_error"}) ||
        any(code, {"insufficient_quota"}) ||
        e.message.find("credit balance") != std::string::npos) {
        return UpstreamProblem::noCredit;
    }
    if (e.status == 401 || e.status == 403 ||
        any(kind, {"authentication_error", "permission_error", "invalid_api_key"}) ||
        any(code, {"invalid_api_key"})) {
        return UpstreamProblem::keyRefused;
    }
    if (e.status == 404 || any(kind, {"not_found_error"}) || any(code, {"model_not_found"})) {
        return UpstreamProblem::noSuchModel;
    }
    if (e.status == 413 || any(kind, {"request_too_large"}) ||
        any(code, {"context_length_exceeded"})) {
        return UpstreamProblem::tooLarge;
    }
    if (e.status == 429 || any(kind, {"rate_limit_error"}) || any(code, {"rate_limit_exceeded"})) {
        return UpstreamProblem::rateLimited;
    }
    if (e.status == 529 || e.status == 503 || any(kind, {"overloaded_error"})) {
        return UpstreamProblem::overloaded;
    }
    if (e.status >= 500 || any(kind, {"api_error", "server_error"})) {
        return UpstreamProblem::internal;
    }
    return e.status != 0 ? UpstreamProblem::refused : UpstreamProblem::failed;
}

std::string describeUpstreamError(const UpstreamError& e) {
    switch (classify(e)) {
        case UpstreamProblem::noCredit:
            return "The model provider refused the request: the account has no credit left.";
        case UpstreamProblem::keyRefused:
            return "The model provider refused the request: the API key was not accepted.";
        case UpstreamProblem::noSuchModel:
            return "The model provider refused the request: it has no model of that name.";
        case UpstreamProblem::tooLarge:
            return "The model provider refused the request: the question and its screenshots are "
                   "too large.";
        case UpstreamProblem::rateLimited:
            return "The model provider is limiting requests right now; ask again in a moment.";
        case UpstreamProblem::overloaded:
            return "The model provider is overloaded right now; ask again in a moment.";
        case UpstreamProblem::internal:
            return "The model provider had an internal error; ask again.";
        case UpstreamProblem::refused:
            return "The model provider refused the request (HTTP " + std::to_string(e.status) +
                   ").";
        case UpstreamProblem::failed:
            break;
    }
    return "The model provider stopped with an error; ask again.";
}

}  // namespace orvane
