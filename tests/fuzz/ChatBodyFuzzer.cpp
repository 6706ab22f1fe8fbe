// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The chat request body, as a signed-in client (or a stolen token) sends it. Besides crashes: an
// accepted body has a known model, at least one user turn, and only Base64 images.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/ChatBody.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    const auto parsed = orvane::chat::parse(body);
    const auto* input = std::get_if<orvane::chat::Request>(&parsed);
    if (!input) return 0;
    if (!orvane::chat::nestsWithin(body, orvane::chat::maxNesting)) std::abort();
    if (!orvane::chat::isModel(input->model)) std::abort();
    // What was parsed, written out again, parses to the same request.
    const auto again = orvane::chat::parse(
        orvane::chat::encode({input->model, input->messages, input->systemContext}));
    const auto* reread = std::get_if<orvane::chat::Request>(&again);
    if (!reread || reread->messages.size() != input->messages.size() ||
        reread->systemContext != input->systemContext) {
        std::abort();
    }
    if (!input->latestUserTurn() || input->messages.empty()) std::abort();
    for (const auto& turn : input->messages) {
        if (turn.role != "user" && turn.role != "assistant") std::abort();
        for (const auto& image : turn.images) {
            if (image.empty() ||
                image.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                        "0123456789+/=") != std::string::npos) {
                std::abort();
            }
        }
    }
    return 0;
}
