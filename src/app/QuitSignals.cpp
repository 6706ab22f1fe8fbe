// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/QuitSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
volatile sig_atomic_t g_writeFd = -1;

void tell(int signal) {
    const char byte = static_cast<char>(signal);
    // Nothing more is safe in a handler; a full pipe already holds a quit.
    [[maybe_unused]] const auto written = ::write(g_writeFd, &byte, 1);
}

}  // namespace

QuitSignals::QuitSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0) return;
    g_writeFd = m_fds[0];
    m_notifier = std::make_unique<QSocketNotifier>(m_fds[1], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(m_fds[1], bytes, sizeof bytes) > 0) {
        }
        if (onQuit) onQuit();
    });
    struct sigaction action = {};
    action.sa_handler = tell;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    for (const int signal : kSignals) ::signal(signal, SIG_DFL);
    g_writeFd = -1;
    m_notifier.reset();
    for (const int fd : m_fds) {
        if (fd >= 0) ::close(fd);
    }
}

}  // namespace orvane
