// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <QTest>

namespace orvane {

// A bus of the test's own, with no services to start: nothing on the machine answers on it.
class PrivateBus {
public:
    PrivateBus() {
        m_dir.setAutoRemove(true);
        const QString config = m_dir.filePath("bus.conf");
        QFile file(config);
        file.open(QIODevice::WriteOnly);
        file.write(QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                                  "<auth>EXTERNAL</auth><policy context=\"default\">"
                                  "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                                  "</busconfig>")
                       .arg(m_dir.path())
                       .toUtf8());
        file.close();
        m_daemon.start("dbus-daemon", {"--config-file=" + config, "--nofork", "--print-address"});
        m_daemon.waitForReadyRead(5000);
        address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus() {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
    QDBusConnection connect(const QString& name) {
        m_names.push_back(name);
        return QDBusConnection::connectToBus(address, name);
    }
    void disconnectAll() {
        for (const auto& name : m_names) QDBusConnection::disconnectFromBus(name);
    }
    QString address;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QStringList m_names;
};

// A desktop portal as a client sees it, on a bus: the service and object registered, and the
// request handles every portal call answers with and then responds on.
class FakePortal : public QDBusVirtualObject {
public:
    explicit FakePortal(QDBusConnection bus) : m_bus(std::move(bus)) {
        m_bus.registerService("org.freedesktop.portal.Desktop");
        m_bus.registerVirtualObject("/org/freedesktop/portal/desktop", this,
                                    QDBusConnection::SubPath);
    }
    QString introspect(const QString&) const override { return {}; }

protected:
    // Replies to the call with its request handle (from the caller's name and handle token).
    QString acceptRequest(const QDBusMessage& call, const QVariantMap& options) {
        const auto request = "/org/freedesktop/portal/desktop/request/" + sender(call) + "/" +
                             options.value("handle_token").toString();
        m_bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        return request;
    }
    void respond(const QString& request, uint response, const QVariantMap& results) {
        auto answer =
            QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
        answer << response << results;
        m_bus.send(answer);
    }
    static QString sender(const QDBusMessage& call) {
        QString name = call.service().mid(1);
        return name.replace('.', '_');
    }

    QDBusConnection m_bus;
};

}  // namespace orvane
