// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QLocalServer>
#include <QString>

#include <functional>
#include <memory>

namespace orvane {

// One Orvane per user: the first process listens on a local socket; a later one hands its
// command-line URL (or, without one, a request to come forward) to it and exits. This is how
// the browser's redirect to Orvane's URL scheme reaches the sign-in that waits for it.
class SingleInstance {
public:
    // The socket in the user's runtime directory (or the temporary directory when there is none).
    static QString defaultSocketPath();

    explicit SingleInstance(QString socketPath = defaultSocketPath());
    ~SingleInstance();

    // Becomes the running instance. False when another one is already listening; a socket left
    // behind by an instance that ended is taken over.
    bool listen();

    // Hands a message to the running instance and waits for it to be taken. An empty message
    // asks it to come forward. False when no instance answers.
    bool forward(const QString& message, int timeoutMs = 5000) const;

    // Each message received, on the main thread.
    std::function<void(const QString& message)> onMessage;

private:
    void accept();

    QString m_socketPath;
    std::unique_ptr<QLocalServer> m_server;
};

}  // namespace orvane
