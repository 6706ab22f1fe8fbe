// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>

#include "session/AnswerSettings.h"

namespace orvane {

// Runs the bundled orvane-backend for the app when the app's backend is on this machine and
// nothing answers there: with the user's answers, their key in the child's environment only
// (never its arguments, never a file), restarted after a crash with growing pauses, restarted
// when the answers change, and stopped when the app quits. The child ends with the app however
// the app ends (the kernel tells it when its parent dies). The app reaches it over a Unix socket
// only this user can use, so nothing else that binds the port first (or while it restarts) gets
// a question or a sign-in. A backend an earlier launch started and left behind without its parent
// (its marker in the data directory names it) is replaced; another live launch's is used as it
// is, and so is one the user runs at an address they named. Main thread only.
class BackendSupervisor : public QObject {
    Q_OBJECT
public:
    struct Launch {
        QString program;  // the orvane-backend to run
        QString host;     // where it listens, a loopback address
        int port = 8787;
        QString dataDirectory;  // its database, keys and log
        // Where the app and the backend it runs talk: a Unix socket in a directory only this
        // user can use. Its TCP address serves the browser's sign-in page alone.
        QString socketPath;
        // The user named this address: a backend Orvane did not start that answers there is
        // used. Otherwise whatever holds the port gets nothing.
        bool useBackendAlreadyThere = false;
        // The first pause before a restart, doubled after each crash in a row.
        int firstRestartMs = 500;
    };
    enum class State {
        idle,      // nothing asked yet, or stopped
        starting,  // the backend is being started
        running,   // the backend this supervisor started answers
        foreign,   // another backend answers there, not ours to restart
        failed,    // it could not be started or kept running
    };

    explicit BackendSupervisor(Launch launch, QObject* parent = nullptr);
    ~BackendSupervisor() override;

    // Serves these answers: starts the backend unless one answers already, or restarts the one
    // this supervisor runs when they differ.
    void apply(const AnswerSettings& answers, const std::optional<std::string>& key);
    // Stops the backend this supervisor started, waiting a few seconds at most.
    void stop();

    State state() const { return m_state; }
    bool ownsBackend() const { return m_process != nullptr; }
    qint64 processId() const;
    std::function<void(State)> onStateChanged;
    // A sentence for the user when answers cannot be had from this machine.
    std::function<void(const QString& problem)> onProblem;
    // How to reach the backend in use, told before its state says it can be: over this Unix
    // socket, or (empty) over TCP at the address, for one the user named.
    std::function<void(const QString& socketPath)> onConnection;

    // orvane-backend beside this program, in a build tree's backend/, or on the PATH.
    static QString findProgram();
    static constexpr int maxRestarts = 5;
    static constexpr int readyTimeoutMs = 15000;
    // The marker in the data directory: which backend a supervisor started, and which process
    // that supervisor was.
    static constexpr const char* markerName = "backend.pid";
    // The backend an earlier launch started here and left without its parent, if one still runs.
    static std::optional<qint64> orphanedBackend(const QString& dataDirectory);

private:
    enum class Over { privateSocket, tcp };
    void probe(Over over, std::function<void(bool answers)> then);
    void useBackendOver(Over over);
    void useOrSpawn();
    void restartUnlessThePortIsTaken();
    void spawn();
    void replaceOrphan(qint64 pid, int waitedMs = 0);
    void writeMarker(qint64 pid) const;
    void waitUntilReady();
    void handleExit(QProcess* process);
    void setState(State state);
    QString logPath() const;
    QString lastLogLine() const;

    Launch m_launch;
    AnswerSettings m_answers;
    std::optional<std::string> m_key;
    QProcess* m_process = nullptr;
    QTimer m_restart;
    QElapsedTimer m_sinceStart;
    int m_crashes = 0;
    // Bumped at every start and stop: what a probe finds out after either is about the past.
    std::uint64_t m_generation = 0;
    bool m_stopping = false;
    State m_state = State::idle;
};

}  // namespace orvane
