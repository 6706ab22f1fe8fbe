// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QMenu>
#include <QString>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "session/SessionManager.h"

namespace orvane {

// The panel's settings menu: the model, the answer style and the language the session uses,
// copying the answer's code, the windows it opens, and signing out.
class SettingsMenu {
public:
    struct Actions {
        bool canCopyCode = false;
        std::function<void()> copyCode;
        std::function<void()> openContext;
        std::function<void()> openPreferences;
        std::function<void()> signOut;
        // Given where the desktop shows no status icon, which would otherwise offer them.
        std::function<void()> about;
        std::function<void()> quit;
        // After the user chose another answer style, for the panel to show it.
        std::function<void()> styleChosen;
        // The model each tier asks for where Preferences names one ("mini": "gpt-4.1-mini").
        std::map<std::string, std::string> tierModels;
    };

    // The language menu: title and locale identifier.
    static const std::vector<std::pair<QString, QString>>& languages();

    // The menu as it would open now, owned by the caller; choices go to the session.
    static QMenu* build(QWidget* parent, SessionManager& session, Actions actions);
};

}  // namespace orvane
