// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QLocalServer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace orvane {

// One Orvane per user: the first process listens on a local socket; a later one hands its
// command-line URL (or, without one, a request to come forward) to it and exits. This is how
// the browser's redirect to Orvane's URL scheme reaches the sign-in that waits for it.
//
// The redirect carries a sign-in code, so nobody else may sit on either end: the socket lives in
// a directory only this user can enter, and each end checks that the other runs as this user.
class SingleInstance {
public:
    // The socket in the user's runtime directory, or, without one, in a private directory of a
    // random name in the temporary directory, which the user's cache remembers.
    static QString defaultSocketPath();

    explicit SingleInstance(QString socketPath = defaultSocketPath());
    ~SingleInstance();

    // Why the socket's directory cannot be trusted (another user owns it, others may enter it, it
    // is a link), as a sentence; nothing when it is private. Nothing is listened to or sent then.
    std::optional<QString> problem() const;

    // Becomes the running instance. False when another one is already listening, or when the
    // directory is not private; a socket left behind by an instance that ended is taken over.
    bool listen();

    // Hands a message to the running instance and waits for it to be taken. An empty message
    // asks it to come forward. False when no instance of this user answers.
    bool forward(const QString& message, int timeoutMs = 5000) const;

    // Each message received, on the main thread.
    std::function<void(const QString& message)> onMessage;

private:
    void accept();

    QString m_socketPath;
    std::unique_ptr<QLocalServer> m_server;
};

}  // namespace orvane
