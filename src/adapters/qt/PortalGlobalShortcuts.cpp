// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/PortalGlobalShortcuts.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QRandomGenerator>

#include "adapters/qt/PortalRequest.h"

namespace orvane {

namespace {

constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcuts = QList<PortalShortcut>;

}  // namespace

}  // namespace orvane

Q_DECLARE_METATYPE(orvane::PortalShortcut)
Q_DECLARE_METATYPE(orvane::PortalShortcuts)

namespace orvane {

namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

void registerTypes() {
    static const bool registered = [] {
        // Slots are matched to signals by their types' names, which only registered types have.
        qRegisterMetaType<QDBusObjectPath>();
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<PortalShortcuts>();
        return true;
    }();
    (void)registered;
}

QString sessionToken() {
    return QStringLiteral("orvane%1")
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

}  // namespace

PortalGlobalShortcuts::PortalGlobalShortcuts(QDBusConnection bus) : m_bus(std::move(bus)) {
    registerTypes();
    m_bus.connect(PortalRequest::service, PortalRequest::path, kInterface, "Activated", this,
                  SLOT(handleActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    m_bus.connect(PortalRequest::service, PortalRequest::path, kInterface, "Deactivated", this,
                  SLOT(handleDeactivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

PortalGlobalShortcuts::~PortalGlobalShortcuts() {
    if (m_pending) m_pending->cancel();
    closeSession();
}

ShortcutBindings PortalGlobalShortcuts::failure(const QString& why) {
    ShortcutBindings bindings;
    bindings.problem = why.toStdString();
    return bindings;
}

void PortalGlobalShortcuts::bind(std::vector<GlobalShortcut> shortcuts,
                                 std::function<void(ShortcutBindings)> onBound) {
    if (m_pending) m_pending->cancel();
    closeSession();
    m_pending = PortalRequest::start(
        m_bus, kInterface, "CreateSession", {}, {{"session_handle_token", sessionToken()}},
        [this, shortcuts = std::move(shortcuts), onBound](uint response,
                                                          const QVariantMap& results) mutable {
            // Older portals answer with a string, newer with an object path.
            const auto handle = results.value("session_handle");
            m_session = handle.canConvert<QDBusObjectPath>()
                            ? handle.value<QDBusObjectPath>().path()
                            : handle.toString();
            if (response != 0 || m_session.isEmpty()) {
                m_session.clear();
                if (onBound) onBound(failure("The desktop refused global shortcuts."));
                return;
            }
            bindToSession(std::move(shortcuts), std::move(onBound));
        },
        [onBound](const QDBusError& error) {
            if (!onBound) return;
            onBound(failure(PortalRequest::meansNoPortal(error)
                                ? "This desktop offers no global shortcuts to programs."
                                : "The desktop's shortcuts portal failed: " + error.message()));
        },
        this);
}

void PortalGlobalShortcuts::bindToSession(std::vector<GlobalShortcut> shortcuts,
                                          std::function<void(ShortcutBindings)> onBound) {
    PortalShortcuts wanted;
    for (const auto& shortcut : shortcuts) {
        wanted.push_back(
            {QString::fromStdString(shortcut.id),
             {{"description", QString::fromStdString(shortcut.description)},
              {"preferred_trigger", QString::fromStdString(shortcut.preferredTrigger)}}});
    }
    m_pending = PortalRequest::start(
        m_bus, kInterface, "BindShortcuts",
        {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(wanted), QString()},
        {},
        [onBound](uint response, const QVariantMap& results) {
            if (response != 0) {
                if (onBound) onBound(failure("The global shortcuts were not allowed."));
                return;
            }
            PortalShortcuts granted;
            const auto list = results.value("shortcuts");
            if (list.canConvert<QDBusArgument>()) {
                list.value<QDBusArgument>() >> granted;
            }
            ShortcutBindings bindings;
            bindings.via = "the desktop's shortcuts portal";
            for (const auto& shortcut : granted) {
                const auto keys = shortcut.properties.value("trigger_description").toString();
                bindings.bound.push_back(
                    {shortcut.id.toStdString(),
                     keys.isEmpty() ? "set in the desktop's settings" : keys.toStdString()});
            }
            if (bindings.bound.empty()) {
                bindings.problem = "The desktop bound none of Orvane's shortcuts.";
            }
            if (onBound) onBound(std::move(bindings));
        },
        [onBound](const QDBusError& error) {
            if (onBound)
                onBound(failure("The desktop's shortcuts portal failed: " + error.message()));
        },
        this);
}

void PortalGlobalShortcuts::closeSession() {
    if (m_session.isEmpty()) return;
    m_bus.asyncCall(QDBusMessage::createMethodCall(PortalRequest::service, m_session,
                                                   "org.freedesktop.portal.Session", "Close"));
    m_session.clear();
}

void PortalGlobalShortcuts::handleActivated(const QDBusObjectPath& session, const QString& id,
                                            qulonglong, const QVariantMap&) {
    if (session.path() == m_session && onPressed) onPressed(id.toStdString());
}

void PortalGlobalShortcuts::handleDeactivated(const QDBusObjectPath& session, const QString& id,
                                              qulonglong, const QVariantMap&) {
    if (session.path() == m_session && onReleased) onReleased(id.toStdString());
}

}  // namespace orvane
