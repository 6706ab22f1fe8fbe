// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane-backend: the reference service Orvane signs in to and asks.

#include <csignal>
#include <iostream>
#include <map>

#include "BackendConfig.h"
#include "BackendServer.h"

extern char** environ;

namespace {

orvane::backend::BackendServer* g_server = nullptr;

void handleSignal(int) {
    if (g_server) g_server->requestStop();
}

std::map<std::string, std::string> environment() {
    std::map<std::string, std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const auto equals = text.find('=');
        if (equals != std::string::npos) env[text.substr(0, equals)] = text.substr(equals + 1);
    }
    return env;
}

}  // namespace

int main(int argc, char** argv) {
    auto parsed = orvane::backend::BackendConfig::parse({argv + 1, argv + argc}, environment());
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::cerr << "orvane-backend: " << *error << "\n\n"
                  << orvane::backend::BackendConfig::help();
        return 2;
    }
    auto config = std::get<orvane::backend::BackendConfig>(std::move(parsed));
    if (config.showHelp) {
        std::cout << orvane::backend::BackendConfig::help();
        return 0;
    }
    try {
        orvane::backend::BackendServer server(config, std::cerr);
        if (config.disableUser || config.enableUser) {
            const bool disable = config.disableUser.has_value();
            const auto id = disable ? *config.disableUser : *config.enableUser;
            if (!server.database().userById(id)) {
                std::cerr << "orvane-backend: no user " << id << "\n";
                return 1;
            }
            server.database().setDisabled(id, disable);
            std::cout << "user " << id << (disable ? " disabled" : " enabled") << "\n";
            return 0;
        }
        g_server = &server;
        std::signal(SIGINT, handleSignal);
        std::signal(SIGTERM, handleSignal);
        std::cerr << "orvane-backend: serving on " << config.origin()
                  << (!config.privateSocket.empty()
                          ? " (the sign-in page only; every route on " + config.privateSocket +
                                ", where this computer's user signs in)"
                      : config.devIdentityEnabled()
                          ? " (development identity provider on: anyone can sign in)"
                          : "")
                  << "\n";
        std::string error;
        if (!server.run(error)) {
            std::cerr << "orvane-backend: " << error << "\n";
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "orvane-backend: " << e.what() << "\n";
        return 1;
    }
}
