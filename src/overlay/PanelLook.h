// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QColor>
#include <QString>

#include <optional>

#include "session/SessionManager.h"

namespace orvane {

// How the panel's status line, light and start/stop button look in a session state: decided
// here, without widgets, and applied by the panel.
struct PanelLook {
    enum class Light { off, on, asBefore };
    struct Button {
        QString symbol;
        QColor fill;
        QColor border;
        QColor tint;
    };

    QString status;
    QColor statusColor;
    Light light = Light::off;
    QColor lightColor;
    // Unset: the button stays as it was.
    std::optional<Button> startStop;

    // Listening while no sound arrives is told apart from listening to something.
    static PanelLook of(SessionManager::State state, bool hearing);
};

}  // namespace orvane
