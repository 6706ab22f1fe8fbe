// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane: the desktop application. See `orvane --help`.

#include <QApplication>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

#include "accounts/AuthManager.h"
#include "adapters/curl/CurlHttpClient.h"
#include "adapters/null/NullPlatform.h"
#include "adapters/openssl/OpenSslCrypto.h"
#include "adapters/pocketsphinx/PocketSphinxSpeech.h"
#include "adapters/pulse/PulseAudioSource.h"
#include "adapters/pulse/PulseMicrophone.h"
#include "adapters/qt/BrowserWebAuth.h"
#include "adapters/qt/PortalGlobalShortcuts.h"
#include "adapters/qt/PortalScreenSource.h"
#include "adapters/qt/QtMainQueue.h"
#include "adapters/qt/QtScreenSource.h"
#include "adapters/qt/X11GlobalShortcuts.h"
#include "adapters/std/PrivateFiles.h"
#include "adapters/std/WorkerQueue.h"
#include "adapters/whisper/ModelInstaller.h"
#include "adapters/whisper/WhisperTranscriber.h"
#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/SpeechEngines.h"
#include "orvane/BuildConfig.h"
#include "overlay/FloatingPanelWindow.h"
#include "overlay/MarkdownView.h"
#include "tools/SessionEventLog.h"

namespace {

using namespace orvane;

bool hasDisplay() {
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
}

bool onWayland() {
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qgetenv("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
}

// A Wayland program cannot keep its window above others nor place it; through XWayland it can,
// on every desktop that runs XWayland (GNOME, KDE, wlroots). Screenshots and shortcuts then go
// through the desktop's portals, since X11 grabs see only other X11 programs there.
void preferXWayland() {
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
}

// GNOME's and KDE's window managers keep an X11 window marked "above" over Wayland windows too;
// wlroots compositors (sway and its kin) have no such order, but draw unmanaged X11 windows over
// every other window.
bool windowManagerKeepsPanelAbove() {
    if (!onWayland()) return true;
    const auto desktop = qgetenv("XDG_CURRENT_DESKTOP").toUpper();
    return desktop.contains("GNOME") || desktop.contains("KDE");
}

std::unique_ptr<GuiScreenSource> screenSourceForDesktop() {
    if (onWayland()) return std::make_unique<PortalScreenSource>();
    return std::make_unique<QtScreenSource>();
}

std::unique_ptr<GlobalShortcuts> shortcutsForDesktop() {
    if (onWayland()) return std::make_unique<PortalGlobalShortcuts>();
    return std::make_unique<X11GlobalShortcuts>();
}

// Hands this launch to the Orvane already running, if there is one.
bool forwardToRunningInstance(int& argc, char** argv, const SingleInstance& instance,
                              const std::string& message) {
    QCoreApplication probe(argc, argv);
    return instance.forward(QString::fromStdString(message));
}

// Moves the endpoints that live at the build's backend (the development sign-in provider) to
// the backend given on the command line.
std::string rebased(const std::string& endpoint, const std::string& apiBase) {
    const std::string buildBase{buildconfig::apiBase};
    if (endpoint.rfind(buildBase, 0) != 0) return endpoint;
    return apiBase + endpoint.substr(buildBase.size());
}

// `orvane --install-model`: downloads or copies a model into place, showing how far it has got.
int installModel(const std::string& source, const std::optional<std::string>& sha256) {
    CurlHttpClient http;
    ModelInstaller installer(http, ModelInstaller::defaultDirectory().value_or(""));
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    const bool download = source.rfind("http://", 0) == 0 || source.rfind("https://", 0) == 0;
    int shown = -1;
    const auto progress = [&](const ModelInstaller::Progress& p) {
        const double mb = static_cast<double>(p.bytes) / 1e6;
        const int percent =
            p.total && *p.total ? static_cast<int>(100 * p.bytes / *p.total) : static_cast<int>(mb);
        // On a terminal the line is redrawn; in a log, one line per tenth.
        if (percent == shown || (!terminal && percent / 10 == shown / 10)) return;
        shown = percent;
        char line[160];
        if (p.total && *p.total) {
            std::snprintf(line, sizeof line, "%s: %3d%% (%.1f of %.1f MB)",
                          download ? "Downloading" : "Copying", percent, mb,
                          static_cast<double>(*p.total) / 1e6);
        } else {
            std::snprintf(line, sizeof line, "%s: %.1f MB", download ? "Downloading" : "Copying",
                          mb);
        }
        std::cerr << (terminal ? "\r" : "") << line << (terminal ? "" : "\n") << std::flush;
    };
    const auto result = installer.install(source, sha256, progress);
    if (terminal && shown >= 0) std::cerr << "\n";
    if (!result.installed) {
        std::cerr << "orvane: " << result.problem << "\n";
        return 1;
    }
    std::cout << "Installed " << result.installed->string() << "\nSHA-256 " << result.sha256
              << "\nOrvane hears with it from its next start (Preferences can choose another).\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto arguments = AppArguments::parse(std::vector<std::string>(argv + 1, argv + argc));
    if (arguments.error) {
        std::cerr << "orvane: " << *arguments.error << "\n\n" << appUsage();
        return 2;
    }
    if (arguments.help) {
        std::cout << appUsage();
        return 0;
    }
    if (arguments.version) {
        std::cout << appVersionLine() << "\n";
        return 0;
    }
    if (arguments.installModel) return installModel(*arguments.installModel, arguments.sha256);

    SingleInstance instance;
    if (const auto problem = instance.problem()) {
        std::cerr << "orvane: cannot talk to another Orvane safely: " << problem->toStdString()
                  << "\n";
        return 1;
    }
    if (forwardToRunningInstance(argc, argv, instance, arguments.message())) return 0;
    if (arguments.command) {
        std::cerr << "orvane: Orvane is not running\n";
        return 1;
    }
    if (arguments.url) {
        std::cerr << "orvane: no sign-in is waiting for this address; starting Orvane\n";
    }
    if (!hasDisplay()) {
        std::cerr << "orvane: no display found: Orvane needs a graphical desktop session "
                     "(neither DISPLAY nor WAYLAND_DISPLAY is set)\n";
        return 1;
    }

    preferXWayland();
    QApplication app(argc, argv);
    if (onWayland() && QGuiApplication::platformName() != "xcb") {
        std::cerr << "orvane: running as a Wayland window: without XWayland the panel cannot be "
                     "kept above other windows\n";
    }
    QApplication::setApplicationName("Orvane");
    QApplication::setApplicationVersion(
        QString::fromUtf8(buildconfig::version.data(), buildconfig::version.size()));
    QGuiApplication::setDesktopFileName("orvane");
    // Closing every window leaves Orvane running; it ends through Quit.
    QApplication::setQuitOnLastWindowClosed(false);
    if (!instance.listen()) {
        // Another Orvane started at the same moment and won.
        return instance.forward(QString::fromStdString(arguments.message())) ? 0 : 1;
    }

    // The trace holds what was heard and answered: for this user's eyes only, never written into
    // a file another user owns or through a link they planted.
    std::unique_ptr<files::DescriptorStream> trace;
    if (arguments.traceEvents) {
        auto opened = files::openPrivateForWriting(*arguments.traceEvents);
        if (const auto* problem = std::get_if<std::string>(&opened)) {
            std::cerr << "orvane: --trace-events: " << *problem << "\n";
            return 1;
        }
        trace = std::make_unique<files::DescriptorStream>(
            std::move(std::get<files::FileDescriptor>(opened)));
    }

    // Destroyed in reverse: the background queue goes before the services its work uses, and
    // the main queue, which everything posts to, last.
    QtMainQueue mainQueue;
    CurlHttpClient http;
    PocketSphinxSpeechService pocketSphinx;
    TwoPassSpeechService speech(pocketSphinx);
    PulseAudioSource audioSource;
    PulseMicrophone microphone;
    const auto screenSource = screenSourceForDesktop();
    // X11 and Wayland cannot leave a window out of other programs' screen capture, and there is no
    // privacy page to open either: the panel is told so.
    NullWorkspace workspace;
    OpenSslCrypto crypto;
    BrowserWebAuthFactory webAuth;
    const auto shortcuts = shortcutsForDesktop();
    UnavailableAppleSignIn apple;
    WorkerQueue background;

    auto authConfig = AuthConfig::fromBuild();
    auto sessionConfig = SessionConfig::fromBuild();
    if (arguments.apiBase) {
        authConfig.authorizationEndpoint =
            rebased(authConfig.authorizationEndpoint, *arguments.apiBase);
        authConfig.tokenEndpoint = rebased(authConfig.tokenEndpoint, *arguments.apiBase);
        authConfig.apiBase = *arguments.apiBase;
        sessionConfig.apiBase = *arguments.apiBase;
    }
    // The process's one account state; it goes before the services it uses.
    AuthManager auth({mainQueue, http, crypto, webAuth, apple}, authConfig);

    std::vector<std::unique_ptr<SessionEventLog>> logs;
    AppDelegate delegate({mainQueue, background, http, speech, audioSource, microphone,
                          *screenSource, workspace, auth},
                         sessionConfig);
    delegate.useGlobalShortcuts(*shortcuts);
    SpeechEngines speechEngines(
        speech, mainQueue, background, SpeechEngines::Places::forUser(),
        [](const std::filesystem::path& model) {
            auto loaded = WhisperTranscriber::load(model.string());
            return std::pair<std::shared_ptr<UtteranceTranscriber>, std::string>(
                std::move(loaded.transcriber), loaded.problem);
        },
        [&http](const std::filesystem::path& file) {
            const auto result =
                ModelInstaller(http, ModelInstaller::defaultDirectory().value_or(""))
                    .install(file.string(), std::nullopt, nullptr);
            return std::pair(result.installed, result.problem);
        });
    delegate.useSpeechEngines(speechEngines);
    delegate.panelBypassesWindowManager =
        QGuiApplication::platformName() == "xcb" && !windowManagerKeepsPanelAbove();
    delegate.onRedirect = [&webAuth](const QString& url) { return webAuth.deliver(url); };
    if (arguments.traceEvents) {
        delegate.onSessionCreated = [&logs, &trace, &delegate](SessionManager& session) {
            logs.push_back(std::make_unique<SessionEventLog>(*trace));
            logs.back()->write({{"event", "signed-in"}});
            logs.back()->attach(session, [&delegate] {
                const auto* panel = delegate.floatingPanel();
                return panel ? panel->answerView()->text().toStdString() : std::string();
            });
        };
        delegate.onSignedOut = [&logs] {
            if (!logs.empty()) logs.back()->write({{"event", "signed-out"}});
        };
    }
    instance.onMessage = [&delegate](const QString& message) {
        if (!delegate.handleMessage(message)) {
            qWarning("orvane: another orvane sent a message this one does not know");
        }
    };
    QTimer::singleShot(0, &delegate, [&delegate] { delegate.applicationDidFinishLaunching(); });
    const int status = QApplication::exec();
    // The event loop has ended: a screenshot still waiting for it must not wait any longer, or
    // the background queue, drained below, would never finish.
    screenSource->close();
    return status;
}
