// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/CommandLine.h"

#include "orvane/BuildConfig.h"

namespace orvane {

AppArguments AppArguments::parse(const std::vector<std::string>& arguments) {
    AppArguments parsed;
    for (std::size_t i = 0; i < arguments.size() && !parsed.error; ++i) {
        const std::string& arg = arguments[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                parsed.error = arg + " needs a value";
                return std::nullopt;
            }
            return arguments[++i];
        };
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
        } else if (arg == "--version") {
            parsed.version = true;
        } else if (arg == "--trace-events") {
            parsed.traceEvents = value();
        } else if (arg == "--api-base") {
            parsed.apiBase = value();
            if (parsed.apiBase && !parsed.apiBase->empty() && parsed.apiBase->back() == '/') {
                parsed.apiBase->pop_back();
            }
        } else if (arg == "--sign-in" || arg == "--toggle-session" || arg == "--sign-out" ||
                   arg == "--screenshot" || arg == "--copy-answer" || arg == "--toggle-panel") {
            if (parsed.command) parsed.error = "only one command at a time";
            parsed.command = arg.substr(2);
        } else if (arg == "--install-model") {
            parsed.installModel = value();
        } else if (arg == "--sha256") {
            parsed.sha256 = value();
        } else if (!arg.empty() && arg[0] == '-') {
            parsed.error = "unknown option " + arg;
        } else if (parsed.url) {
            parsed.error = "more than one URL given";
        } else {
            parsed.url = arg;
        }
    }
    if (!parsed.error && parsed.command && parsed.url) {
        parsed.error = "a URL and --" + *parsed.command + " cannot go together";
    }
    if (!parsed.error && parsed.sha256 && !parsed.installModel) {
        parsed.error = "--sha256 goes with --install-model";
    }
    if (!parsed.error && parsed.installModel && (parsed.command || parsed.url)) {
        parsed.error = "--install-model goes on its own";
    }
    return parsed;
}

std::string AppArguments::message() const {
    if (url) return "open " + *url;
    if (command) return *command;
    return "activate";
}

std::string appVersionLine() {
    return "orvane " + std::string(buildconfig::version) + " (" +
           std::string(buildconfig::buildNumber) + ")";
}

std::string appUsage() {
    return "usage: orvane [--trace-events FILE] [--api-base URL] [URL]\n"
           "       orvane --sign-in | --toggle-session | --sign-out | --screenshot |\n"
           "              --copy-answer | --toggle-panel\n"
           "       orvane --install-model NAME|FILE|URL [--sha256 HEX]\n"
           "\n"
           "Orvane listens to the interviewer on your computer, transcribes on-device and shows\n"
           "an answer to each question in a small always-on-top panel.\n"
           "\n"
           "  URL                 a sign-in redirect from the browser: handed to the running\n"
           "                      Orvane, which completes its sign-in; this process then exits\n"
           "  --trace-events FILE write every session event as one JSON object per line\n"
           "  --api-base URL      the backend to use instead of the build's (" +
           std::string(buildconfig::apiBase) +
           ");\n"
           "                      a development sign-in provider at the build's backend moves\n"
           "                      with it\n"
           "  --sign-in           start Google sign-in in the running Orvane\n"
           "  --toggle-session    start or stop the running Orvane's session, as its play\n"
           "                      button does (bind it to a desktop shortcut)\n"
           "  --sign-out          sign the running Orvane out\n"
           "  --screenshot        queue a screenshot for the next answer, as Ctrl+Shift+S does\n"
           "  --copy-answer       copy the answer, as Ctrl+Shift+C does\n"
           "  --toggle-panel      hide the panel, or bring it back\n"
           "                      (these three are for desktop key bindings where the desktop\n"
           "                      gives programs no global shortcuts)\n"
           "  --install-model NAME|FILE|URL\n"
           "                      install a Whisper model (a ggml .bin file, as whisper.cpp\n"
           "                      reads) for a second, finer pass over each question: one of\n"
           "                      tiny.en, base.en, small.en, tiny, base (downloaded from\n"
           "                      whisper.cpp's models, or ORVANE_MODEL_BASE_URL, and checked\n"
           "                      against its known SHA-256), a file, or a URL, which is\n"
           "                      downloaded with progress and needs --sha256\n"
           "  --sha256 HEX        the model's SHA-256, checked before it is installed\n"
           "  --version           print the version and exit\n"
           "  --help              print this help and exit\n"
           "\n"
           "Only one Orvane runs per user: starting it again brings the running one forward.\n";
}

}  // namespace orvane
