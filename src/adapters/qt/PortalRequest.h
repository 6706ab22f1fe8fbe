// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QVariantMap>

#include <functional>

namespace orvane {

// One call to an XDG desktop portal that answers later through a Request object's Response
// signal. The signal is subscribed to before the call, at the path the handle token predicts,
// so a fast answer is never missed. GUI thread only; it deletes itself once it has reported.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    static constexpr const char* service = "org.freedesktop.portal.Desktop";
    static constexpr const char* path = "/org/freedesktop/portal/desktop";

    // 0: done, with the results; 1: the user cancelled; 2: ended some other way.
    using Response = std::function<void(uint response, const QVariantMap& results)>;
    // The call itself failed: no portal, no such interface, a bad argument.
    using Failure = std::function<void(const QDBusError& error)>;

    // Calls method(arguments..., options) on the portal; options get the handle token.
    static PortalRequest* start(const QDBusConnection& bus, const QString& interface,
                                const QString& method, QVariantList arguments, QVariantMap options,
                                Response onResponse, Failure onFailure, QObject* parent);

    // Asks the portal to drop the request; nothing is reported after this.
    void cancel();

    // Whether this D-Bus error means there is no portal (or not this one of its interfaces).
    static bool meansNoPortal(const QDBusError& error);

private slots:
    void handleResponse(uint response, const QVariantMap& results);

private:
    PortalRequest(const QDBusConnection& bus, Response onResponse, Failure onFailure,
                  QObject* parent);
    void watch(const QString& handle);
    void unwatch();
    void finish();

    QDBusConnection m_bus;
    QString m_handle;
    Response m_onResponse;
    Failure m_onFailure;
    bool m_finished = false;
};

}  // namespace orvane
