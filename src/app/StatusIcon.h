// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QAction>
#include <QColor>
#include <QMenu>
#include <QString>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

namespace orvane {

// Orvane's item in the desktop's status area: a symbol whose shape and colour show the session's
// state, and a menu of commands. It decides nothing: each command calls its callback, and the
// state comes from outside.
class StatusIcon {
public:
    enum class State { idle, listening, processing };

    StatusIcon();
    ~StatusIcon();
    StatusIcon(const StatusIcon&) = delete;
    StatusIcon& operator=(const StatusIcon&) = delete;

    std::function<void()> onStartStop;
    std::function<void()> onAbout;
    std::function<void()> onPreferences;
    std::function<void()> onSignOut;
    std::function<void()> onQuit;

    // Puts a new item with a new menu into the status area, replacing any earlier one.
    void install();
    // Stores the state, redraws the symbol and retitles the first menu item.
    void setState(State state);
    State state() const { return m_state; }
    // A line at the top of the menu and in the tooltip ("Hidden while your screen is shared");
    // empty takes it away.
    void setNote(const QString& note);
    const QString& note() const { return m_note; }

    // What is on show, for the desktop and for tests.
    bool isInstalled() const { return m_statusItem != nullptr; }
    QSystemTrayIcon* statusItem() const { return m_statusItem.get(); }
    QMenu* menu() const { return m_menu.get(); }
    QAction* startStopItem() const { return m_startStopItem; }
    const QString& shownSymbol() const { return m_shownSymbol; }

    static QString symbolFor(State state);
    static QColor tintFor(State state);

private:
    void updateIcon();
    QAction* addCommand(const QString& title, const QKeySequence& shortcut,
                        std::function<void()> StatusIcon::*callback);

    std::unique_ptr<QSystemTrayIcon> m_statusItem;
    std::unique_ptr<QMenu> m_menu;
    QAction* m_startStopItem = nullptr;
    State m_state = State::idle;
    QString m_shownSymbol;
    QString m_note;
    QAction* m_noteItem = nullptr;
};

}  // namespace orvane
