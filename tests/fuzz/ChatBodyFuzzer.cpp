// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The chat request body, as a signed-in client (or a stolen token) sends it. Besides crashes: an
// accepted body has a known model, at least one user turn, and only Base64 images.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "ChatInput.h"
#include "JsonFields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string body(reinterpret_cast<const char*>(data), size);
    const auto parsed = orvane::backend::ChatInput::parse(body);
    const auto* input = std::get_if<orvane::backend::ChatInput>(&parsed);
    if (!input) return 0;
    if (!orvane::backend::nestsWithin(body, orvane::backend::kMaxJsonNesting)) std::abort();
    if (input->model != "nano" && input->model != "mini" && input->model != "standard" &&
        input->model != "vision") {
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
