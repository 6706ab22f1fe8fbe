// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace orvane {

// Keeps decoders warm between recognitions: loading one takes long and a fresh one recognises the
// first sentences worse. A recognition borrows a decoder and gives it back when it ends; a second
// recognition running at the same time (push-to-talk beside the session) gets a second decoder.
template <typename Decoder>
class DecoderPool {
public:
    using Factory = std::function<std::unique_ptr<Decoder>()>;

    explicit DecoderPool(Factory factory) : m_factory(std::move(factory)) {}

    // A decoder, with the pool taking it back when the last holder lets go; nullptr when none
    // could be made.
    std::shared_ptr<Decoder> acquire() {
        std::unique_ptr<Decoder> decoder;
        {
            std::lock_guard lock(m_state->mutex);
            if (!m_state->idle.empty()) {
                decoder = std::move(m_state->idle.back());
                m_state->idle.pop_back();
            }
        }
        if (!decoder) decoder = m_factory();
        if (!decoder) return nullptr;
        Decoder* raw = decoder.release();
        return std::shared_ptr<Decoder>(raw, [state = std::weak_ptr<State>(m_state)](Decoder* d) {
            std::unique_ptr<Decoder> owned(d);
            if (auto alive = state.lock()) {
                std::lock_guard lock(alive->mutex);
                alive->idle.push_back(std::move(owned));
            }
        });
    }

    std::size_t idleCount() const {
        std::lock_guard lock(m_state->mutex);
        return m_state->idle.size();
    }

private:
    struct State {
        mutable std::mutex mutex;
        std::vector<std::unique_ptr<Decoder>> idle;
    };

    Factory m_factory;
    std::shared_ptr<State> m_state = std::make_shared<State>();
};

}  // namespace orvane
