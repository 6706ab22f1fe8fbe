// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/PanelLook.h"

#include "overlay/UIHelpers.h"

namespace orvane {

PanelLook PanelLook::of(SessionManager::State state, bool hearing) {
    using State = SessionManager::State;
    switch (state) {
        case State::idle:
            return {"", Qt::transparent, Light::off, Qt::transparent,
                    Button{"play.fill", UI::white(0.06), UI::white(0.08), UI::white(0.5)}};
        case State::listening: {
            const auto red = UI::systemRed();
            const Button stop{"stop.fill", UI::withOpacity(red, 0.12), UI::withOpacity(red, 0.2),
                              UI::withOpacity(red, 0.85)};
            if (!hearing) {
                const auto orange = UI::systemOrange();
                return {"NO SOUND", UI::withOpacity(orange, 0.8), Light::on,
                        UI::withOpacity(orange, 0.9), stop};
            }
            const auto green = UI::systemGreen();
            return {"LISTENING", UI::withOpacity(green, 0.7), Light::on,
                    UI::withOpacity(green, 0.9), stop};
        }
        case State::processing:
            return {"THINKING", UI::withOpacity(UI::bookCloth(), 0.7), Light::asBefore,
                    UI::withOpacity(UI::bookCloth(), 0.9), std::nullopt};
    }
    return {};
}

}  // namespace orvane
