// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QPointer>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "adapters/std/PrivateFiles.h"

namespace orvane {

namespace {

// A message is one line of UTF-8; the receiver answers "ok" once it has it.
constexpr int kMaxMessageBytes = 64 * 1024;

// Whether the process at the other end of a connected local socket runs as this user.
bool peerIsThisUser(const QLocalSocket& socket) {
    ucred peer{};
    socklen_t length = sizeof peer;
    const auto fd = static_cast<int>(socket.socketDescriptor());
    return fd >= 0 && ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           length == sizeof peer && peer.uid == ::getuid();
}

}  // namespace

QString SingleInstance::defaultSocketPath() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) {
        return QDir(runtime).filePath("orvane-instance");
    }
    // The temporary directory is everybody's, and a name there that anyone can guess can be
    // taken first by anyone. The socket goes in a directory of a random name, private to this
    // user, whose name is kept in their cache, where only they can write.
    const auto cache = files::userCacheHome();
    if (!cache) {
        const QString mine =
            QDir(QDir::tempPath()).filePath(QStringLiteral("orvane-%1").arg(::getuid()));
        ::mkdir(QFile::encodeName(mine).constData(), 0700);
        return QDir(mine).filePath("instance");
    }
    const auto record = *cache / "orvane" / "instance-directory";
    if (std::ifstream in(record); in) {
        std::string kept;
        std::getline(in, kept);
        SingleInstance candidate(QDir(QString::fromStdString(kept)).filePath("instance"));
        if (!kept.empty() && !candidate.problem()) return candidate.m_socketPath;
    }
    auto pattern =
        QFile::encodeName(QDir(QDir::tempPath()).filePath("orvane-XXXXXX")).toStdString();
    if (!::mkdtemp(pattern.data()) || files::ensurePrivateDirectory(record.parent_path())) {
        return QDir(QString::fromStdString(pattern)).filePath("instance");
    }
    files::writePrivate(record, pattern + "\n");
    return QDir(QString::fromStdString(pattern)).filePath("instance");
}

SingleInstance::SingleInstance(QString socketPath) : m_socketPath(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (m_server) m_server->close();
}

std::optional<QString> SingleInstance::problem() const {
    const QString dir = QFileInfo(m_socketPath).absolutePath();
    struct stat info {};
    if (::lstat(QFile::encodeName(dir).constData(), &info) != 0) {
        return QStringLiteral("%1 does not exist").arg(dir);
    }
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
        return QStringLiteral("%1 is not a directory of its own (a link, or a file)").arg(dir);
    }
    if (info.st_uid != ::getuid()) return QStringLiteral("%1 belongs to another user").arg(dir);
    if ((info.st_mode & 077) != 0) {
        return QStringLiteral("%1 may be entered by other users (chmod 700 it)").arg(dir);
    }
    return std::nullopt;
}

bool SingleInstance::listen() {
    if (problem()) return false;
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
        if (!peerIsThisUser(*connection)) {
            connection->abort();
            continue;
        }
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
    if (problem()) return false;
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(timeoutMs)) return false;
    // Whoever else listens there must not receive a sign-in code.
    if (!peerIsThisUser(socket)) return false;
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
