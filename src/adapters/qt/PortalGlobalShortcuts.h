// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QPointer>

#include "platform/GlobalShortcuts.h"

namespace orvane {

class PortalRequest;

// Global shortcuts through the desktop portal (org.freedesktop.portal.GlobalShortcuts), the way
// Wayland desktops that offer them let a program have keys while another has the focus: a
// session is created, the shortcuts are bound to it (the desktop may ask the user and may
// choose other keys), and Activated/Deactivated signals report them. GUI thread only.
class PortalGlobalShortcuts : public QObject, public GlobalShortcuts {
    Q_OBJECT
public:
    explicit PortalGlobalShortcuts(QDBusConnection bus = QDBusConnection::sessionBus());
    ~PortalGlobalShortcuts() override;

    void bind(std::vector<GlobalShortcut> shortcuts,
              std::function<void(ShortcutBindings)> onBound) override;

private slots:
    void handleActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                         const QVariantMap& options);
    void handleDeactivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                           const QVariantMap& options);

private:
    void bindToSession(std::vector<GlobalShortcut> shortcuts,
                       std::function<void(ShortcutBindings)> onBound);
    void closeSession();
    static ShortcutBindings failure(const QString& why);

    QDBusConnection m_bus;
    QString m_session;
    QPointer<PortalRequest> m_pending;
};

}  // namespace orvane
