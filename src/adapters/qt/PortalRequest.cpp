// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/qt/PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QRandomGenerator>

namespace orvane {

namespace {

constexpr const char* requestInterface = "org.freedesktop.portal.Request";

QString newHandleToken() {
    return QStringLiteral("orvane%1")
        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
}

// The Request object's path the portal will use: our unique bus name without its colon, dots
// as underscores, then the token.
QString predictedHandle(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

}  // namespace

PortalRequest::PortalRequest(const QDBusConnection& bus, Response onResponse, Failure onFailure,
                             QObject* parent)
    : QObject(parent),
      m_bus(bus),
      m_onResponse(std::move(onResponse)),
      m_onFailure(std::move(onFailure)) {}

PortalRequest* PortalRequest::start(const QDBusConnection& bus, const QString& interface,
                                    const QString& method, QVariantList arguments,
                                    QVariantMap options, Response onResponse, Failure onFailure,
                                    QObject* parent) {
    auto* request = new PortalRequest(bus, std::move(onResponse), std::move(onFailure), parent);
    const QString token = newHandleToken();
    options.insert(QStringLiteral("handle_token"), token);
    request->watch(predictedHandle(bus, token));

    auto message = QDBusMessage::createMethodCall(service, path, interface, method);
    arguments.append(options);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(request->m_bus.asyncCall(message), request);
    connect(watcher, &QDBusPendingCallWatcher::finished, request,
            [request](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (request->m_finished) return;
                QDBusPendingReply<QDBusObjectPath> reply = *call;
                if (reply.isError()) {
                    request->unwatch();
                    const auto failure = request->m_onFailure;
                    const auto error = reply.error();
                    request->finish();
                    if (failure) failure(error);
                    return;
                }
                // Portals older than handle tokens choose their own path.
                const QString handle = reply.value().path();
                if (handle != request->m_handle) {
                    request->unwatch();
                    request->watch(handle);
                }
            });
    return request;
}

void PortalRequest::watch(const QString& handle) {
    m_handle = handle;
    m_bus.connect(service, m_handle, requestInterface, QStringLiteral("Response"), this,
                  SLOT(handleResponse(uint, QVariantMap)));
}

void PortalRequest::unwatch() {
    m_bus.disconnect(service, m_handle, requestInterface, QStringLiteral("Response"), this,
                     SLOT(handleResponse(uint, QVariantMap)));
}

void PortalRequest::handleResponse(uint response, const QVariantMap& results) {
    if (m_finished) return;
    unwatch();
    const auto respond = m_onResponse;
    finish();
    if (respond) respond(response, results);
}

void PortalRequest::cancel() {
    if (m_finished) return;
    unwatch();
    m_bus.asyncCall(QDBusMessage::createMethodCall(service, m_handle, requestInterface, "Close"));
    finish();
}

void PortalRequest::finish() {
    m_finished = true;
    m_onResponse = nullptr;
    m_onFailure = nullptr;
    deleteLater();
}

bool PortalRequest::meansNoPortal(const QDBusError& error) {
    switch (error.type()) {
        case QDBusError::ServiceUnknown:
        case QDBusError::UnknownMethod:
        case QDBusError::UnknownInterface:
        case QDBusError::UnknownObject:
            return true;
        default:
            return false;
    }
}

}  // namespace orvane
