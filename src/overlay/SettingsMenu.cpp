// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/SettingsMenu.h"

#include "overlay/UIHelpers.h"
#include "session/DesktopShortcuts.h"

namespace orvane {

namespace {

void addCommand(QMenu* menu, const QString& title, const std::function<void()>& action,
                std::string_view keys = {}) {
    auto* item = menu->addAction(title);
    if (!keys.empty()) {
        item->setShortcut(
            QKeySequence(QString::fromUtf8(keys.data(), static_cast<int>(keys.size()))));
    }
    QObject::connect(item, &QAction::triggered, menu, [action] {
        if (action) action();
    });
}

}  // namespace

const std::vector<std::pair<QString, QString>>& SettingsMenu::languages() {
    static const std::vector<std::pair<QString, QString>> table = {
        {"English", "en-US"}, {"German", "de-DE"},     {"French", "fr-FR"},
        {"Spanish", "es-ES"}, {"Portuguese", "pt-BR"}, {"Luxembourgish", "lb-LU"}};
    return table;
}

QMenu* SettingsMenu::build(QWidget* parent, SessionManager& session, Actions actions) {
    auto* menu = new QMenu(parent);
    menu->setFont(UI::ubuntu(13));
    // Dark like the panel it opens from.
    menu->setStyleSheet(
        "QMenu { background: #1f1d1b; color: rgba(255,255,255,220); border: 1px solid "
        "rgba(204,120,92,60); border-radius: 8px; padding: 4px; }"
        "QMenu::item { padding: 4px 18px 4px 24px; border-radius: 4px; }"
        "QMenu::item:selected { background: rgba(204,120,92,70); }"
        "QMenu::item:disabled { color: rgba(255,255,255,90); }"
        "QMenu::separator { height: 1px; background: rgba(255,255,255,25); margin: 4px 6px; }");
    menu->addAction("Model")->setEnabled(false);
    const auto selected = SessionManager::rawValue(session.selectedModel());
    for (const auto model : SessionManager::allModels) {
        const auto raw =
            QString::fromUtf8(SessionManager::rawValue(model).data(),
                              static_cast<int>(SessionManager::rawValue(model).size()));
        auto title = QString::fromUtf8(SessionManager::displayName(model).data());
        // The tier, and the model Preferences has it ask for.
        if (const auto it = actions.tierModels.find(raw.toStdString());
            it != actions.tierModels.end() && !it->second.empty()) {
            title += QStringLiteral(" \u00b7 %1").arg(QString::fromStdString(it->second));
        }
        auto* item = menu->addAction(title);
        item->setCheckable(true);
        item->setChecked(SessionManager::rawValue(model) == selected);
        item->setData(raw);
        QObject::connect(item, &QAction::triggered, menu, [&session, raw] {
            if (auto model = SessionManager::modelFromRawValue(raw.toStdString())) {
                session.setSelectedModel(*model);
            }
        });
    }
    menu->addSeparator();
    menu->addAction("Answer Style")->setEnabled(false);
    for (const auto style : SessionManager::allAnswerStyles) {
        auto* item = menu->addAction(QString::fromUtf8(SessionManager::displayName(style).data()));
        item->setCheckable(true);
        item->setChecked(style == session.answerStyle());
        QObject::connect(item, &QAction::triggered, menu,
                         [&session, style, chosen = actions.styleChosen] {
                             session.setAnswerStyle(style);
                             if (chosen) chosen();
                         });
    }
    menu->addSeparator();
    menu->addAction("Language")->setEnabled(false);
    const auto locale = QString::fromStdString(session.transcriptionLocale());
    for (const auto& [title, identifier] : languages()) {
        // Choosing a language nothing can hear would leave the session deaf while it listens.
        const bool installed = session.canTranscribe(identifier.toStdString());
        auto* item = menu->addAction(installed ? title : title + " (not installed)");
        item->setEnabled(installed);
        item->setCheckable(true);
        item->setChecked(identifier == locale);
        item->setData(identifier);
        QObject::connect(item, &QAction::triggered, menu, [&session, identifier = identifier] {
            session.setTranscriptionLocale(identifier.toStdString());
        });
    }
    menu->addSeparator();
    addCommand(menu, "Copy Code Block", actions.copyCode, keysFor("copy-code"));
    menu->actions().back()->setEnabled(actions.canCopyCode);
    addCommand(menu, "Interview Prep...", actions.openContext);
    addCommand(menu, "Preferences...", actions.openPreferences,
               keysFor("preferences", KeyBinding::Where::menu));
    if (actions.about) addCommand(menu, "About Orvane", actions.about);
    menu->addSeparator();
    addCommand(menu, "Sign Out", actions.signOut);
    if (actions.quit) {
        addCommand(menu, "Quit Orvane", actions.quit, keysFor("quit", KeyBinding::Where::menu));
    }
    return menu;
}

}  // namespace orvane
