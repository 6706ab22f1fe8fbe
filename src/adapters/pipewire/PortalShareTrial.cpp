// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/pipewire/PortalShareTrial.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <unistd.h>

#include <optional>

#include "adapters/pipewire/PipeWireStreamViewer.h"
#include "adapters/qt/PortalRequest.h"

namespace orvane {

namespace {

constexpr auto screenCast = "org.freedesktop.portal.ScreenCast";
constexpr auto sessionInterface = "org.freedesktop.portal.Session";
constexpr std::uint32_t monitor = 1;

// The first of the portal's streams, a(ua{sv}): its PipeWire node.
std::optional<std::uint32_t> firstNode(const QVariant& streams) {
    if (!streams.canConvert<QDBusArgument>()) return std::nullopt;
    const auto list = streams.value<QDBusArgument>();
    std::optional<std::uint32_t> node;
    list.beginArray();
    while (!list.atEnd()) {
        uint id = 0;
        QVariantMap properties;
        list.beginStructure();
        list >> id >> properties;
        list.endStructure();
        if (!node) node = id;
    }
    list.endArray();
    return node;
}

std::string failureText(const QDBusError& error) {
    if (PortalRequest::meansNoPortal(error)) {
        return "This desktop offers no screen-cast portal: install xdg-desktop-portal and the "
               "portal for your desktop (xdg-desktop-portal-gnome, -kde or -wlr).";
    }
    return "The screen-cast portal failed: " + error.message().toStdString();
}

}  // namespace

PortalShareTrial::PortalShareTrial(QDBusConnection bus) : m_bus(std::move(bus)) {}

PortalShareTrial::~PortalShareTrial() {
    m_viewer.reset();
    if (m_request) m_request->cancel();
    closeSession();
}

void PortalShareTrial::start(std::function<void()> onSharing,
                             std::function<void(const std::string&)> onEnded) {
    stop();
    m_onSharing = std::move(onSharing);
    m_onEnded = std::move(onEnded);
    const int generation = ++m_generation;
    ask("CreateSession", {},
        {{"session_handle_token", QStringLiteral("orvane_share_test%1").arg(generation)}},
        [this](const QVariantMap& created) {
            m_session = created.value("session_handle").toString();
            m_bus.connect(PortalRequest::service, m_session, sessionInterface, "Closed", this,
                          SLOT(sessionClosed()));
            const QDBusObjectPath session(m_session);
            ask("SelectSources", {QVariant::fromValue(session)},
                {{"types", monitor}, {"multiple", false}}, [this, session](const QVariantMap&) {
                    ask("Start", {QVariant::fromValue(session), QString()}, {},
                        [this](const QVariantMap& started) {
                            const auto node = firstNode(started.value("streams"));
                            if (!node) return end("The desktop started a share with no stream.");
                            openStream(*node);
                        });
                });
        });
}

void PortalShareTrial::ask(const QString& method, QVariantList arguments, QVariantMap options,
                           std::function<void(const QVariantMap&)> then) {
    const int generation = m_generation;
    m_request = PortalRequest::start(
        m_bus, screenCast, method, std::move(arguments), std::move(options),
        [this, generation, then](uint response, const QVariantMap& results) {
            if (generation != m_generation) return;
            if (response == 0) return then(results);
            end(response == 1 ? "The share was cancelled." : "The desktop refused the share.");
        },
        [this, generation](const QDBusError& error) {
            if (generation == m_generation) end(failureText(error));
        },
        this);
}

void PortalShareTrial::openStream(std::uint32_t node) {
    auto message = QDBusMessage::createMethodCall(PortalRequest::service, PortalRequest::path,
                                                  screenCast, "OpenPipeWireRemote");
    message << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap();
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    const int generation = m_generation;
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, generation, node](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (generation != m_generation) return;
                QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                if (reply.isError()) return end(failureText(reply.error()));
                // The reply's descriptor closes with it; the viewer's PipeWire keeps its own.
                const int fd = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
                if (fd < 0) return end("The desktop handed over no PipeWire to share through.");
                m_viewer = std::make_unique<PipeWireStreamViewer>(
                    fd, node,
                    [this, generation] {
                        if (generation == m_generation && m_onSharing) m_onSharing();
                    },
                    [this, generation](const std::string& problem) {
                        if (generation == m_generation) end(problem);
                    });
            });
}

void PortalShareTrial::stop() {
    m_onEnded = nullptr;
    end({});
}

void PortalShareTrial::sessionClosed() {
    end("The desktop ended the share.");
}

void PortalShareTrial::end(const std::string& problem) {
    ++m_generation;
    // Let go of once its report, which may be what ended the share, has returned.
    if (m_viewer) m_viewer.release()->deleteLater();
    if (m_request) m_request->cancel();
    closeSession();
    m_onSharing = nullptr;
    if (auto ended = std::exchange(m_onEnded, nullptr)) ended(problem);
}

void PortalShareTrial::closeSession() {
    if (m_session.isEmpty()) return;
    m_bus.disconnect(PortalRequest::service, m_session, sessionInterface, "Closed", this,
                     SLOT(sessionClosed()));
    m_bus.asyncCall(QDBusMessage::createMethodCall(PortalRequest::service, m_session,
                                                   sessionInterface, "Close"));
    m_session.clear();
}

}  // namespace orvane
