// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// orvane: the desktop application. See `orvane --help`.

#include <QApplication>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "adapters/libsecret/LibsecretStore.h"
#include "adapters/std/PrivateFiles.h"
#include "adapters/whisper/ModelCatalog.h"
#include "adapters/whisper/ModelInstaller.h"
#include "adapters/whisper/WhisperTranscriber.h"
#include "app/Answers.h"
#include "app/AppDelegate.h"
#include "app/AppServices.h"
#include "app/BackendSupervisor.h"
#include "app/CommandLine.h"
#include "app/Desktop.h"
#include "app/ModelInstallCommand.h"
#include "app/QuitSignals.h"
#include "app/SingleInstance.h"
#include "app/SpeechEngines.h"
#include "app/TranscriptionServers.h"
#include "orvane/BuildConfig.h"
#include "overlay/FloatingPanelWindow.h"
#include "overlay/MarkdownView.h"
#include "session/SessionEventLog.h"
#include "text/Url.h"

namespace {

using namespace orvane;

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
    // Where the catalog's models download from: whisper.cpp's own host, or a mirror.
    const char* mirror = std::getenv("ORVANE_MODEL_BASE_URL");
    const std::string modelBaseUrl = mirror && *mirror ? mirror : ModelCatalog::defaultBaseUrl;
    if (arguments.installModel)
        return installModelCommand(*arguments.installModel, arguments.sha256, modelBaseUrl);

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
    if (!desktop::hasDisplay()) {
        std::cerr << "orvane: no display found: Orvane needs a graphical desktop session "
                     "(neither DISPLAY nor WAYLAND_DISPLAY is set)\n";
        return 1;
    }

    desktop::preferXWayland();
    QApplication app(argc, argv);
    if (desktop::onWayland() && QGuiApplication::platformName() != "xcb") {
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

    AppServices services;

    auto authConfig = AuthConfig::fromBuild();
    auto sessionConfig = SessionConfig::fromBuild();
    // For measuring what sending questions ahead gains (bench/answer_latency.py); 0 turns it off.
    if (const char* delay = std::getenv("ORVANE_PREFETCH_DELAY")) {
        sessionConfig.prefetchDelay = std::atof(delay);
    }
    if (arguments.apiBase) {
        authConfig.authorizationEndpoint =
            rebased(authConfig.authorizationEndpoint, *arguments.apiBase);
        authConfig.tokenEndpoint = rebased(authConfig.tokenEndpoint, *arguments.apiBase);
        authConfig.apiBase = *arguments.apiBase;
        sessionConfig.apiBase = *arguments.apiBase;
    }
    // The process's one account state; it goes before the services it uses.
    AuthManager auth(services.accounts(), authConfig);

    // When the backend is on this machine and nothing answers there, Orvane runs its own, serving
    // the answers the user chose; it stops when Orvane quits.
    LibsecretStore secrets;
    KeychainHelper keychain(secrets);
    // It is reached over a Unix socket only this user can use: nothing else on this computer
    // that takes its port gets a question, and nobody else signs in to it.
    std::unique_ptr<BackendSupervisor> supervisor;
    std::optional<QString> noPlaceForTheBackend;
    if (const auto api = Url::parse(sessionConfig.apiBase);
        api && api->scheme == "http" && api->isLoopback()) {
        if (const auto data = files::userDataHome()) {
            const auto dataDirectory = QString::fromStdString((*data / "orvane-backend").string());
            const auto runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
            const auto socketPath = runtime.startsWith('/') ? runtime + "/orvane/backend.sock"
                                                            : dataDirectory + "/backend.sock";
            supervisor = std::make_unique<BackendSupervisor>(BackendSupervisor::Launch{
                BackendSupervisor::findProgram(), QString::fromStdString(api->host),
                api->port.value_or(80), dataDirectory, socketPath, arguments.apiBase.has_value()});
            services.http.connectThrough(sessionConfig.apiBase, socketPath.toStdString());
            supervisor->onConnection = [&http = services.http,
                                        origin = sessionConfig.apiBase](const QString& path) {
                http.connectThrough(origin, path.toStdString());
            };
        } else {
            noPlaceForTheBackend =
                "Orvane's answer service keeps its data in your home directory, and HOME is not "
                "set: start Orvane from your desktop session, or give --api-base.";
        }
    }
    Answers answers(keychain, Answers::settingsFileForUser().value_or(""),
                    ProviderCheck::create(services.http, services.mainQueue), supervisor.get());

    std::vector<std::unique_ptr<SessionEventLog>> logs;
    AppDelegate delegate(services.session(auth), sessionConfig);
    delegate.useAnswers(answers);
    delegate.useDocumentReader(services.documents, services.documentWork);
    delegate.useSoundDevices(services.soundDevices, SoundChoice::fileForUser());
    if (supervisor) {
        supervisor->onProblem = [&delegate](const QString& problem) {
            delegate.showServiceProblem(problem);
        };
    }
    const auto environment = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto fromEnvironment = AnswerSettings::fromEnvironment(environment);
    answers.start(fromEnvironment,
                  fromEnvironment ? environment(std::string(fromEnvironment->keyVariable()).c_str())
                                  : std::nullopt);
    delegate.useGlobalShortcuts(*services.shortcuts);
    if (services.shareWatcher) delegate.useShareWatcher(*services.shareWatcher);
    if (services.shareTrial) delegate.useShareTrial(*services.shareTrial);
    SpeechEngines speechEngines(
        services.speech, services.mainQueue, services.modelWork, SpeechEngines::Places::forUser(),
        [](const std::filesystem::path& model) {
            auto loaded = WhisperTranscriber::load(model.string());
            return std::pair<std::shared_ptr<UtteranceTranscriber>, std::string>(
                std::move(loaded.transcriber), loaded.problem);
        },
        [&http = services.http](const std::filesystem::path& file, const std::atomic<bool>& stop) {
            const auto result =
                ModelInstaller(http, ModelInstaller::defaultDirectory().value_or(""))
                    .install(file.string(), std::nullopt, nullptr, &stop);
            return std::pair(result.installed, result.problem);
        },
        SpeechEngines::downloadFrom(services.http, ModelInstaller::defaultDirectory().value_or(""),
                                    modelBaseUrl));
    delegate.useSpeechEngines(speechEngines);
    TranscriptionServers transcription(keychain, services.http, services.mainQueue, speechEngines,
                                       TranscriptionServers::settingsFileForUser().value_or(""));
    transcription.start();
    delegate.useTranscriptionServers(transcription);
    delegate.panelBypassesWindowManager =
        QGuiApplication::platformName() == "xcb" && !desktop::windowManagerKeepsPanelAbove();
    delegate.onRedirect = [&webAuth = services.webAuth](const QString& url) {
        return webAuth.deliver(url);
    };
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
    QuitSignals quitSignals;
    quitSignals.onQuit = [&delegate] { delegate.quit(); };
    QTimer::singleShot(0, &delegate, [&delegate, noPlaceForTheBackend] {
        delegate.applicationDidFinishLaunching();
        if (noPlaceForTheBackend) delegate.showServiceProblem(*noPlaceForTheBackend);
    });
    const int status = QApplication::exec();
    // The event loop has ended: a screenshot still waiting for it must not wait any longer, or
    // the background queue, drained below, would never finish.
    services.screenSource->close();
    if (supervisor) supervisor->onProblem = nullptr;
    return status;
}
