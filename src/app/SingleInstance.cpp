// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QPointer>

#include <unistd.h>

namespace orvane {

namespace {

// A message is one line of UTF-8; the receiver answers "ok" once it has it.
constexpr int kMaxMessageBytes = 64 * 1024;

}  // namespace

QString SingleInstance::defaultSocketPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return QDir(runtime).filePath("orvane-instance");
    }
    return QDir(QDir::tempPath()).filePath(QStringLiteral("orvane-%1-instance").arg(getuid()));
}

SingleInstance::SingleInstance(QString socketPath) : m_socketPath(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (m_server) m_server->close();
}

bool SingleInstance::listen() {
    // Asked first: with access options set, Qt binds elsewhere and renames the socket into place,
    // which would silently take the name from a running instance.
    QLocalSocket probe;
    probe.connectToServer(m_socketPath);
    if (probe.waitForConnected(1000)) return false;
    // Nobody answers: any socket there was left by an instance that ended.
    QLocalServer::removeServer(m_socketPath);
    m_server = std::make_unique<QLocalServer>();
    // Only this user may talk to the running instance.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        m_server.reset();
        return false;
    }
    QObject::connect(m_server.get(), &QLocalServer::newConnection, [this] { accept(); });
    return true;
}

void SingleInstance::accept() {
    while (auto* connection = m_server->nextPendingConnection()) {
        QObject::connect(connection, &QLocalSocket::disconnected, connection,
                         &QObject::deleteLater);
        QObject::connect(connection, &QLocalSocket::readyRead, [this, connection] {
            if (!connection->canReadLine()) {
                if (connection->bytesAvailable() > kMaxMessageBytes) connection->abort();
                return;
            }
            const QString message = QString::fromUtf8(connection->readLine()).trimmed();
            connection->write("ok\n");
            connection->flush();
            connection->disconnectFromServer();
            if (onMessage) onMessage(message);
        });
    }
}

bool SingleInstance::forward(const QString& message, int timeoutMs) const {
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(timeoutMs)) return false;
    QByteArray line = message.toUtf8();
    line.replace('\n', ' ');
    socket.write(line + "\n");
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs)) return false;
    }
    return socket.readLine().trimmed() == "ok";
}

}  // namespace orvane
