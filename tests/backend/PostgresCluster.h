// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "integration/FreePort.h"

namespace orvane::testing {

// A private PostgreSQL cluster for one test process: Debian's server binaries, initdb in a
// temporary directory, served on a free loopback port with trust authentication, stopped and
// removed at the end. The server refuses to run as root, so under root it runs as "nobody".
class PostgresCluster {
public:
    PostgresCluster() {
        m_bin = binDirectory();
        if (m_bin.empty()) return;
        char pattern[] = "/tmp/orvane-postgres-XXXXXX";
        m_dir = ::mkdtemp(pattern);
        if (::geteuid() == 0) {
            if (const auto* nobody = ::getpwnam("nobody")) {
                [[maybe_unused]] const int owned =
                    ::chown(m_dir.c_str(), nobody->pw_uid, nobody->pw_gid);
                m_asUser = "runuser -u nobody -- ";
            }
        }
        m_port = freeLoopbackPort();
        const auto data = (m_dir / "data").string();
        if (run(m_bin + "/initdb -D " + data + " -A trust -U orvane -E UTF8 --no-sync") != 0)
            return;
        m_initialised = true;
        start();
    }
    ~PostgresCluster() {
        if (m_initialised) stop();
        if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
    }

    bool running() const { return m_running; }
    // Stops the server, as a crash or a failover would take it away; start() brings it back.
    void stop() {
        run(m_bin + "/pg_ctl -D " + (m_dir / "data").string() + " -m immediate -w stop");
        m_running = false;
    }
    void start() {
        m_running =
            run(m_bin + "/pg_ctl -D " + (m_dir / "data").string() + " -l " +
                (m_dir / "server.log").string() + " -w -o \"-p " + std::to_string(m_port) + " -k " +
                m_dir.string() + " -c listen_addresses=127.0.0.1 -c fsync=off\" start") == 0;
    }
    // A new, empty database on the cluster, and its URI.
    std::string createDatabase() {
        const auto name = "orvane_" + std::to_string(++m_databases);
        run(m_bin + "/createdb -h 127.0.0.1 -p " + std::to_string(m_port) + " -U orvane " + name);
        return uri(name);
    }
    std::string uri(const std::string& name) const {
        return "postgres://orvane@127.0.0.1:" + std::to_string(m_port) + "/" + name;
    }

private:
    static std::string binDirectory() {
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
            if (std::filesystem::exists(entry.path() / "bin" / "initdb")) {
                return (entry.path() / "bin").string();
            }
        }
        return {};
    }
    int run(const std::string& command) const {
        return std::system(
            (m_asUser + command + " >>" + (m_dir / "commands.log").string() + " 2>&1").c_str());
    }

    std::string m_bin;
    std::filesystem::path m_dir;
    std::string m_asUser;
    int m_port = 0;
    int m_databases = 0;
    bool m_initialised = false;
    bool m_running = false;
};

}  // namespace orvane::testing
