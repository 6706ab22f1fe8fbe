// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/BackendSupervisor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTimer>

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "adapters/std/PrivateFiles.h"

namespace orvane {

namespace {

// Keys and backend settings the app itself was started with go to the child only as the user's
// answers say; the rest of the environment is inherited.
QProcessEnvironment childEnvironment(const AnswerSettings& answers,
                                     const std::optional<std::string>& key) {
    auto environment = QProcessEnvironment::systemEnvironment();
    for (const auto& name : environment.keys()) {
        if (name.startsWith("ORVANE_BACKEND_") || name == "ANTHROPIC_API_KEY" ||
            name == "OPENAI_API_KEY") {
            environment.remove(name);
        }
    }
    if (key && !key->empty() && !answers.keyVariable().empty() && answers.mayCarryKey()) {
        environment.insert(QString::fromUtf8(answers.keyVariable().data(),
                                             static_cast<int>(answers.keyVariable().size())),
                           QString::fromStdString(*key));
    }
    return environment;
}

QByteArray procFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The parent in /proc/PID/stat, after the command's name, which may hold spaces and brackets.
std::optional<qint64> parentOf(qint64 pid) {
    const auto stat = procFile(pid, "stat");
    const auto fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    bool ok = false;
    const auto parent = fields.size() > 1 ? fields[1].toLongLong(&ok) : 0;
    return ok ? std::optional(parent) : std::nullopt;
}

bool isGone(qint64 pid) {
    const auto stat = procFile(pid, "stat");
    // A zombie has ended; only its parent's wait is left.
    return stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
}

}  // namespace

std::optional<qint64> BackendSupervisor::orphanedBackend(const QString& dataDirectory) {
    QFile marker(QDir(dataDirectory).filePath(markerName));
    if (!marker.open(QIODevice::ReadOnly)) return std::nullopt;
    const auto fields = QString::fromLatin1(marker.read(64)).split(' ', Qt::SkipEmptyParts);
    if (fields.size() != 2) return std::nullopt;
    const auto backend = fields[0].toLongLong();
    const auto supervisor = fields[1].trimmed().toLongLong();
    if (backend <= 1) return std::nullopt;
    // The number may since have gone to another program: it must be an orvane-backend serving
    // this data directory.
    const auto arguments = procFile(backend, "cmdline").split('\0');
    const auto data = arguments.indexOf("--data");
    if (arguments.isEmpty() || !arguments[0].endsWith("orvane-backend") || data < 0 ||
        data + 1 >= arguments.size() || arguments[data + 1] != dataDirectory.toUtf8()) {
        return std::nullopt;
    }
    const auto parent = parentOf(backend);
    if (!parent || *parent == supervisor) return std::nullopt;
    return backend;
}

BackendSupervisor::BackendSupervisor(Launch launch, QObject* parent)
    : QObject(parent), m_launch(std::move(launch)) {
    m_restart.setSingleShot(true);
    connect(&m_restart, &QTimer::timeout, this, [this] { spawn(); });
}

BackendSupervisor::~BackendSupervisor() {
    stop();
}

QString BackendSupervisor::findProgram() {
    const QDir here(QCoreApplication::applicationDirPath());
    for (const auto& candidate :
         {here.filePath("orvane-backend"), here.filePath("../backend/orvane-backend")}) {
        if (QFileInfo(candidate).isExecutable()) return QFileInfo(candidate).canonicalFilePath();
    }
    return QStandardPaths::findExecutable("orvane-backend");
}

qint64 BackendSupervisor::processId() const {
    return m_process ? m_process->processId() : 0;
}

void BackendSupervisor::setState(State state) {
    if (m_state == state) return;
    m_state = state;
    if (onStateChanged) onStateChanged(state);
}

QString BackendSupervisor::logPath() const {
    return QDir(m_launch.dataDirectory).filePath("backend.log");
}

QString BackendSupervisor::lastLogLine() const {
    QFile log(logPath());
    if (!log.open(QIODevice::ReadOnly)) return {};
    if (log.size() > 4096) log.seek(log.size() - 4096);
    const auto lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

// A plain socket on this thread rather than Qt's network access manager, which would start a
// thread of its own for one request a second at most, and then be forked with every start of the
// backend. Told once, whichever comes first: the status line, an error or the second's end.
template <typename Socket, typename Error>
void askHealth(Socket* socket, const QString& host, std::function<void(bool)> then) {
    auto reply = std::make_shared<QByteArray>();
    auto pending = std::make_shared<std::function<void(bool)>>(std::move(then));
    const auto conclude = [socket, pending](bool answering) {
        if (!*pending) return;
        auto tell = std::move(*pending);
        *pending = nullptr;
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
        tell(answering);
    };
    const auto answered = [reply] {
        return reply->startsWith("HTTP/1.1 200 ") || reply->startsWith("HTTP/1.0 200 ");
    };
    QObject::connect(socket, &Socket::connected, socket, [socket, host] {
        socket->write(
            QStringLiteral("GET /healthz HTTP/1.1\r\nHost: %1\r\nConnection: close\r\n\r\n")
                .arg(host)
                .toLatin1());
    });
    QObject::connect(socket, &Socket::readyRead, socket, [socket, reply, conclude, answered] {
        reply->append(socket->readAll());
        // The status line is all it takes.
        if (reply->contains("\r\n")) conclude(answered());
    });
    QObject::connect(socket, &Socket::errorOccurred, socket,
                     [conclude, answered](Error) { conclude(answered()); });
    QTimer::singleShot(1000, socket, [conclude] { conclude(false); });
}

void BackendSupervisor::probe(Over over, std::function<void(bool)> then) {
    const auto host = QStringLiteral("%1:%2").arg(m_launch.host).arg(m_launch.port);
    if (over == Over::privateSocket) {
        auto* socket = new QLocalSocket(this);
        askHealth<QLocalSocket, QLocalSocket::LocalSocketError>(socket, host, std::move(then));
        socket->connectToServer(m_launch.socketPath);
    } else {
        auto* socket = new QTcpSocket(this);
        askHealth<QTcpSocket, QAbstractSocket::SocketError>(socket, host, std::move(then));
        socket->connectToHost(m_launch.host, static_cast<quint16>(m_launch.port));
    }
}

void BackendSupervisor::useBackendOver(Over over) {
    if (onConnection) onConnection(over == Over::privateSocket ? m_launch.socketPath : QString());
}

void BackendSupervisor::apply(const AnswerSettings& answers,
                              const std::optional<std::string>& key) {
    const bool changed = !(answers == m_answers) || key != m_key;
    m_answers = answers;
    m_key = key;
    m_crashes = 0;
    if (m_process) {
        if (!changed) return;
        stop();
        spawn();
        return;
    }
    if (m_state == State::starting) return;
    setState(State::starting);
    probe(Over::privateSocket, [self = QPointer(this), generation = m_generation](bool answering) {
        if (!self || self->m_generation != generation) return;
        if (!answering) {
            self->useOrSpawn();
        } else if (const auto orphan = orphanedBackend(self->m_launch.dataDirectory)) {
            // It serves what that launch was told, not what this one is.
            self->replaceOrphan(*orphan);
        } else {
            // Another live launch of this user's runs it.
            self->useBackendOver(Over::privateSocket);
            self->setState(State::foreign);
        }
    });
}

void BackendSupervisor::useOrSpawn() {
    if (!m_launch.useBackendAlreadyThere) {
        spawn();
        return;
    }
    probe(Over::tcp, [self = QPointer(this), generation = m_generation](bool answering) {
        if (!self || self->m_generation != generation) return;
        if (answering) {
            self->useBackendOver(Over::tcp);
            self->setState(State::foreign);
        } else {
            self->spawn();
        }
    });
}

void BackendSupervisor::replaceOrphan(qint64 pid, int waitedMs) {
    if (waitedMs == 0) ::kill(static_cast<pid_t>(pid), SIGTERM);
    if (isGone(pid)) {
        spawn();
        return;
    }
    if (waitedMs >= 3000) ::kill(static_cast<pid_t>(pid), SIGKILL);
    // The timer's context is this supervisor: it does not fire after it is gone.
    QTimer::singleShot(50, this, [this, pid, waitedMs, generation = m_generation] {
        if (m_generation == generation) replaceOrphan(pid, waitedMs + 50);
    });
}

void BackendSupervisor::writeMarker(qint64 pid) const {
    auto opened = files::openPrivateForWriting(
        QDir(m_launch.dataDirectory).filePath(markerName).toStdString());
    if (auto* fd = std::get_if<files::FileDescriptor>(&opened)) {
        files::writeAll(fd->get(), std::to_string(pid) + " " + std::to_string(::getpid()) + "\n");
    }
}

void BackendSupervisor::spawn() {
    if (m_process) return;
    ++m_generation;
    if (m_launch.program.isEmpty()) {
        setState(State::failed);
        if (onProblem) {
            onProblem(
                "Orvane's answer service (orvane-backend) is not installed beside Orvane, so "
                "questions cannot be answered.");
        }
        return;
    }
    QDir().mkpath(m_launch.dataDirectory);
    QFile::setPermissions(m_launch.dataDirectory,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_process = new QProcess(this);
    m_process->setProgram(m_launch.program);
    QDir().mkpath(QFileInfo(m_launch.socketPath).path());
    QFile::setPermissions(QFileInfo(m_launch.socketPath).path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QStringList arguments = {
        "--listen", QStringLiteral("%1:%2").arg(m_launch.host).arg(m_launch.port), "--data",
        m_launch.dataDirectory,
        // The app talks to it over a socket only this user can reach, and signing in on this
        // computer signs in that user.
        "--private-socket", m_launch.socketPath, "--dev-identity-provider=force"};
    for (const auto& argument : m_answers.backendArguments()) {
        arguments << QString::fromStdString(argument);
    }
    m_process->setArguments(arguments);
    m_process->setProcessEnvironment(childEnvironment(m_answers, m_key));
    m_process->setStandardOutputFile(logPath(), QIODevice::Append);
    m_process->setStandardErrorFile(logPath(), QIODevice::Append);
    // However this app ends, a crash or SIGKILL included, the kernel tells the child: it must not
    // outlive the app with the user's key in its environment. A parent gone before the request
    // was made would never send it, so the child checks and ends itself.
    m_process->setChildProcessModifier([parent = ::getpid()] {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);
    });
    connect(m_process, &QProcess::started, this, [this, process = m_process] {
        if (process == m_process) writeMarker(process->processId());
    });
    // Each process reports for itself only: a late word from one already replaced changes nothing.
    connect(m_process, &QProcess::finished, this,
            [this, process = m_process] { handleExit(process); });
    connect(m_process, &QProcess::errorOccurred, this,
            [this, process = m_process](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart) handleExit(process);
            });
    m_stopping = false;
    setState(State::starting);
    m_sinceStart.start();
    m_process->start();
    waitUntilReady();
}

void BackendSupervisor::waitUntilReady() {
    probe(Over::privateSocket,
          [self = QPointer(this), process = QPointer(m_process)](bool answering) {
              if (!self || !process || self->m_process != process) return;
              if (answering) {
                  self->useBackendOver(Over::privateSocket);
                  self->setState(State::running);
                  return;
              }
              if (self->m_sinceStart.elapsed() > readyTimeoutMs) {
                  self->m_process->kill();
                  return;
              }
              QTimer::singleShot(100, self, [self] {
                  if (self) self->waitUntilReady();
              });
          });
}

void BackendSupervisor::handleExit(QProcess* process) {
    if (!process || process != m_process) return;
    m_process = nullptr;
    process->deleteLater();
    if (m_stopping) {
        setState(State::idle);
        return;
    }
    // Not running any more, whatever comes next.
    setState(State::starting);
    // A backend that ran for a good while before it failed starts its count of crashes afresh.
    if (m_sinceStart.isValid() && m_sinceStart.elapsed() > 60000) m_crashes = 0;
    // Another launch may have started one first: then that one answers, and is used.
    probe(Over::privateSocket, [self = QPointer(this), generation = m_generation](bool answering) {
        if (!self || self->m_process || self->m_generation != generation) return;
        if (answering) {
            self->useBackendOver(Over::privateSocket);
            self->setState(State::foreign);
            return;
        }
        self->restartUnlessThePortIsTaken();
    });
}

void BackendSupervisor::restartUnlessThePortIsTaken() {
    probe(Over::tcp, [self = QPointer(this), generation = m_generation](bool answering) {
        if (!self || self->m_process || self->m_generation != generation) return;
        if (answering && self->m_launch.useBackendAlreadyThere) {
            self->useBackendOver(Over::tcp);
            self->setState(State::foreign);
            return;
        }
        if (answering) {
            // Not ours: whatever it is gets nothing of the user's unless they named its address.
            self->setState(State::failed);
            if (self->onProblem) {
                const auto address =
                    QStringLiteral("%1:%2").arg(self->m_launch.host).arg(self->m_launch.port);
                self->onProblem(
                    QStringLiteral(
                        "Another program listens on %1, so Orvane's answer service cannot start "
                        "there. Orvane sends it nothing: quit that program, or start Orvane with "
                        "--api-base http://%1 to use it.")
                        .arg(address));
            }
            return;
        }
        if (++self->m_crashes > maxRestarts) {
            self->setState(State::failed);
            if (self->onProblem) {
                auto why = self->lastLogLine();
                self->onProblem("Orvane's answer service stopped and could not be restarted" +
                                (why.isEmpty() ? QString(".") : QStringLiteral(": %1").arg(why)) +
                                QStringLiteral(" (its log: %1)").arg(self->logPath()));
            }
            return;
        }
        self->setState(State::starting);
        self->m_restart.start(self->m_launch.firstRestartMs << (self->m_crashes - 1));
    });
}

void BackendSupervisor::stop() {
    m_restart.stop();
    ++m_generation;
    if (!m_process) return;
    m_stopping = true;
    auto* process = m_process;
    process->terminate();
    if (!process->waitForFinished(3000)) {
        process->kill();
        process->waitForFinished(1000);
    }
    handleExit(process);
}

}  // namespace orvane
