// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>

#include <memory>

#include "platform/ShareTrial.h"

namespace orvane {

class PipeWireStreamViewer;
class PortalRequest;

// A test share the way a call on a Wayland desktop makes one: a ScreenCast portal session for a
// monitor (the desktop may ask the user which), started, and its stream's frames taken from the
// PipeWire the portal hands over. GUI thread only.
class PortalShareTrial : public QObject, public ShareTrial {
    Q_OBJECT
public:
    explicit PortalShareTrial(QDBusConnection bus = QDBusConnection::sessionBus());
    ~PortalShareTrial() override;

    bool available() const override { return m_bus.isConnected(); }
    void start(std::function<void()> onSharing,
               std::function<void(const std::string& problem)> onEnded) override;
    void stop() override;

private slots:
    void sessionClosed();

private:
    void ask(const QString& method, QVariantList arguments, QVariantMap options,
             std::function<void(const QVariantMap& results)> then);
    void openStream(std::uint32_t node);
    void end(const std::string& problem);
    void closeSession();

    QDBusConnection m_bus;
    QPointer<PortalRequest> m_request;
    QString m_session;
    std::unique_ptr<PipeWireStreamViewer> m_viewer;
    // Bumped by each start and end, so that a reply for a share already over changes nothing.
    int m_generation = 0;
    std::function<void()> m_onSharing;
    std::function<void(const std::string&)> m_onEnded;
};

}  // namespace orvane
