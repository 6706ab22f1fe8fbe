// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/StatusIcon.h"

#include <QCursor>

#include "overlay/SymbolIcons.h"
#include "overlay/UIHelpers.h"
#include "session/DesktopShortcuts.h"

namespace orvane {

namespace {

QKeySequence keySequence(std::string_view id) {
    const auto keys = keysFor(id, KeyBinding::Where::menu);
    return QKeySequence(QString::fromUtf8(keys.data(), static_cast<int>(keys.size())));
}

}  // namespace

StatusIcon::StatusIcon() = default;

StatusIcon::~StatusIcon() = default;

QString StatusIcon::symbolFor(State state) {
    switch (state) {
        case State::listening:
            return "waveform";
        case State::processing:
            return "ellipsis.bubble";
        case State::idle:
            break;
    }
    return "bubble.left";
}

QColor StatusIcon::tintFor(State state) {
    switch (state) {
        case State::listening:
            return UI::systemGreen();
        case State::processing:
            return UI::systemOrange();
        case State::idle:
            break;
    }
    return UI::secondaryLabelColor();
}

void StatusIcon::install() {
    // The earlier item, if any, leaves the status area as it is released.
    m_menu.reset();
    m_statusItem = std::make_unique<QSystemTrayIcon>();
    m_shownSymbol.clear();
    updateIcon();

    m_menu = std::make_unique<QMenu>();
    m_noteItem = nullptr;
    m_startStopItem = addCommand("Start Session", {}, &StatusIcon::onStartStop);
    m_menu->addSeparator();
    addCommand("About Orvane", {}, &StatusIcon::onAbout);
    addCommand("Preferences...", keySequence("preferences"), &StatusIcon::onPreferences);
    m_menu->addSeparator();
    addCommand("Sign Out", {}, &StatusIcon::onSignOut);
    addCommand("Quit Orvane", keySequence("quit"), &StatusIcon::onQuit);
    setNote(m_note);
    m_statusItem->setContextMenu(m_menu.get());
    // A click opens the menu too, as it does on desktops whose status area has no context menus.
    QObject::connect(m_statusItem.get(), &QSystemTrayIcon::activated,
                     [menu = m_menu.get()](QSystemTrayIcon::ActivationReason reason) {
                         if (reason == QSystemTrayIcon::Trigger) menu->popup(QCursor::pos());
                     });
    m_statusItem->show();
}

QAction* StatusIcon::addCommand(const QString& title, const QKeySequence& shortcut,
                                std::function<void()> StatusIcon::*callback) {
    auto* action = m_menu->addAction(title);
    action->setShortcut(shortcut);
    QObject::connect(action, &QAction::triggered, [this, callback] {
        if (auto handler = this->*callback) handler();
    });
    return action;
}

void StatusIcon::setState(State state) {
    m_state = state;
    updateIcon();
    if (m_startStopItem) {
        m_startStopItem->setText(state == State::idle ? "Start Session" : "Stop Session");
    }
}

void StatusIcon::updateIcon() {
    if (!m_statusItem) return;
    const QString symbol = symbolFor(m_state);
    const QColor tint = tintFor(m_state);
    const auto image = SymbolIcons::icon(symbol, 14, tint);
    // Without the symbol the item keeps the image it has.
    if (!image) return;
    m_statusItem->setIcon(*image);
    m_statusItem->setToolTip(m_note.isEmpty() ? "Orvane" : "Orvane: " + m_note);
    m_shownSymbol = symbol;
}

void StatusIcon::setNote(const QString& note) {
    m_note = note;
    if (m_menu && note.isEmpty() && m_noteItem) {
        m_menu->removeAction(m_noteItem);
        delete std::exchange(m_noteItem, nullptr);
    } else if (m_menu && !note.isEmpty()) {
        if (!m_noteItem) {
            m_noteItem = new QAction(m_menu.get());
            m_noteItem->setEnabled(false);
            m_menu->insertAction(m_menu->actions().value(0), m_noteItem);
        }
        m_noteItem->setText(note);
    }
    if (m_statusItem) m_statusItem->setToolTip(note.isEmpty() ? "Orvane" : "Orvane: " + note);
}

}  // namespace orvane
