// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "app/AppDelegate.h"

#include <cstdio>

#include <QAction>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QPixmap>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include "accounts/AuthManager.h"
#include "accounts/ui/LoginWindow.h"
#include "adapters/std/PrivateFiles.h"
#include "app/Answers.h"
#include "app/AnswersView.h"
#include "app/PreferencesWindow.h"
#include "app/SpeechEngines.h"
#include "app/TranscriptionServerView.h"
#include "app/TranscriptionServers.h"
#include "orvane/BuildConfig.h"
#include "overlay/ContextSheet.h"
#include "overlay/FloatingPanelWindow.h"
#include "overlay/SymbolIcons.h"
#include "overlay/UIHelpers.h"
#include "platform/AudioSource.h"
#include "platform/BackgroundQueue.h"
#include "platform/Microphone.h"
#include "session/DesktopShortcuts.h"

namespace orvane {

namespace {

StatusIcon::State statusFor(SessionManager::State state) {
    switch (state) {
        case SessionManager::State::listening:
            return StatusIcon::State::listening;
        case SessionManager::State::processing:
            return StatusIcon::State::processing;
        case SessionManager::State::idle:
            break;
    }
    return StatusIcon::State::idle;
}

QString fromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

}  // namespace

AppDelegate::AppDelegate(SessionServices services, SessionConfig sessionConfig)
    : statusAreaAvailable([] { return QSystemTrayIcon::isSystemTrayAvailable(); }),
      m_services(services),
      m_sessionConfig(std::move(sessionConfig)) {}

AppDelegate::~AppDelegate() {
    if (m_shortcuts) {
        m_shortcuts->onPressed = nullptr;
        m_shortcuts->onReleased = nullptr;
    }
    // The session's pending work ends before the services it uses go.
    if (m_floatingPanel) m_floatingPanel->stopSession();
    // Nothing runs the event loop after this: the windows go now.
    delete m_floatingPanel.release();
    delete m_loginWindow.release();
    delete m_preferencesWindow.release();
    delete m_aboutBox.data();
    delete m_contextSheet.data();
}

void AppDelegate::applicationDidFinishLaunching() {
    registerBundledFonts();
    bindGlobalShortcuts();
    startSpeechEngines();
    watchForShares();
    if (m_services.auth.isAuthenticated()) {
        transitionToPanel();
    } else {
        showLogin();
    }
}

void AppDelegate::startSpeechEngines() {
    if (!m_speechEngines) return;
    m_speechEngines->onChanged = [self = QPointer(this)](const SpeechEngines::Status& status) {
        if (!status.problem.empty()) qWarning("orvane: %s", status.problem.c_str());
        if (!self) return;
        if (self->m_preferencesWindow) self->m_preferencesWindow->showHearing(status);
        self->followTakenOffer(status);
    };
    m_speechEngines->start();
    std::fprintf(stderr, "orvane: hearing with %s\n", m_speechEngines->status().engines.c_str());
}

// A panel's first session offers what hears better, or else, once, to tell Orvane about the
// interview: a line on the panel, never a window in the way.
void AppDelegate::offerOnFirstSession() {
    if (!m_floatingPanel || m_floatingPanel->offerButton()->isVisibleTo(m_floatingPanel.get())) {
        return;
    }
    offerSpeechModel();
    if (m_contextOffered || m_floatingPanel->offerButton()->isVisibleTo(m_floatingPanel.get()) ||
        !m_floatingPanel->session().systemContext().empty()) {
        return;
    }
    m_contextOffered = true;
    const QPointer self(this);
    m_floatingPanel->showOffer(
        "Tell Orvane about this interview: company, role, notes",
        [self] {
            if (!self) return;
            if (self->m_floatingPanel) self->m_floatingPanel->hideOffer();
            self->showContextSheet();
        },
        nullptr);
}

void AppDelegate::offerSpeechModel() {
    if (!m_speechEngines || !m_floatingPanel) return;
    const auto model = m_speechEngines->downloadToOffer();
    if (!model) return;
    const QPointer self(this);
    // The cross puts it off to the next run; "Never" for good.
    m_floatingPanel->showOffer(
        QString::fromUtf8("Hear better: download Whisper %1, %2 MB \u2014 recommended for this "
                          "computer")
            .arg(QString::fromStdString(model->name))
            .arg(model->megabytes),
        [self, model = *model] {
            if (!self || !self->m_speechEngines) return;
            self->m_offerTaken = true;
            self->m_speechEngines->download(model);
        },
        nullptr,
        [self] {
            if (self && self->m_speechEngines) self->m_speechEngines->dismissOffer();
        });
}

void AppDelegate::followTakenOffer(const SpeechEngines::Status& status) {
    // The interview that ended is worth more than a download's progress: its offer stays.
    if (!m_offerTaken || !m_floatingPanel || m_interviewOffered) return;
    if (status.download) {
        const auto& download = *status.download;
        const auto name = QString::fromStdString(download.model);
        QString text = QStringLiteral("Downloading Whisper %1...").arg(name);
        if (download.total && *download.total > 0) {
            text = QStringLiteral("Downloading Whisper %1: %2 %")
                       .arg(name)
                       .arg(download.bytes * 100 / *download.total);
        } else if (download.bytes > 0) {
            text =
                QStringLiteral("Downloading Whisper %1: %2 MB").arg(name).arg(download.bytes >> 20);
        }
        m_floatingPanel->showOffer(text, nullptr, nullptr);
    } else if (status.loading) {
        m_floatingPanel->showOffer("Loading the Whisper model...", nullptr, nullptr);
    } else {
        m_offerTaken = false;
        if (status.problem.empty()) {
            m_floatingPanel->hideOffer();
        } else if (status.problem.find("SHA-256") != std::string::npos) {
            // The sums are for Preferences; the panel says what it means.
            m_floatingPanel->showOffer(
                "The Whisper model arrived damaged, not installed: Preferences can try again.",
                nullptr, nullptr);
        } else {
            m_floatingPanel->showOffer(UI::breakable(QString::fromStdString(status.problem)),
                                       nullptr, nullptr);
        }
    }
}

void AppDelegate::offerToSaveInterview() {
    if (!m_floatingPanel || m_floatingPanel->session().interview().empty()) return;
    m_interviewOffered = true;
    const QPointer self(this);
    m_floatingPanel->showOffer(
        QString::fromUtf8("Save this interview\u2026"),
        [self] {
            if (self) self->saveInterview();
        },
        [self] {
            if (self) self->m_interviewOffered = false;
        });
}

void AppDelegate::saveInterview() {
    if (!m_floatingPanel) return;
    const auto& session = m_floatingPanel->session();
    const auto started =
        QDateTime::fromSecsSinceEpoch(std::chrono::duration_cast<std::chrono::seconds>(
                                          session.interview().startedAt().time_since_epoch())
                                          .count());
    const auto suggested = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                               .filePath(started.toString("'Interview' yyyy-MM-dd HH.mm'.md'"));
    const auto chosen = chooseInterviewFile ? chooseInterviewFile(suggested)
                                            : QFileDialog::getSaveFileName(
                                                  m_floatingPanel.get(), "Save this interview",
                                                  suggested, "Markdown (*.md)");
    if (!m_floatingPanel) return;
    if (chosen.isEmpty()) {
        offerToSaveInterview();
        return;
    }
    const auto problem = files::writePrivate(QFile::encodeName(chosen).toStdString(),
                                             m_floatingPanel->session().interview().markdown(
                                                 m_floatingPanel->session().systemContext()));
    if (problem) {
        m_floatingPanel->showOffer(
            UI::breakable(QString::fromStdString("Not saved. " + *problem)),
            [self = QPointer(this)] {
                if (self) self->saveInterview();
            },
            nullptr);
        return;
    }
    m_interviewOffered = true;
    m_floatingPanel->showOffer(UI::breakable("Saved to " + chosen), nullptr, nullptr);
}

QString AppDelegate::sharingNote() const {
    SharingDesktop desktop;
    desktop.leavesOrvaneOut = m_floatingPanel && m_floatingPanel->canHideFromCapture();
    if (m_shareWatcher) {
        desktop.seenFrom = m_shareWatcher->method();
        desktop.seenBeforeItsFrames = m_shareWatcher->seesSharesBeforeTheirFrames();
    }
    return shareCases(desktop);
}

void AppDelegate::testShare() {
    if (!m_shareTrial) return;
    if (!m_shareTest)
        m_shareTest = std::make_unique<ShareTest>(*m_shareTrial, m_services.mainQueue);
    if (m_shareTest->running()) return m_shareTest->stop();
    const bool stealth = !m_floatingPanel || m_floatingPanel->isStealth();
    m_shareTest->start(stealth, [self = QPointer(this)](const QString& line, bool running) {
        if (self && self->m_preferencesWindow) {
            self->m_preferencesWindow->showShareTest(line, running);
        }
    });
}

void AppDelegate::checkSound() {
    m_soundCheck = std::make_unique<SoundCheck>(m_services.audioSource, m_services.background,
                                                m_services.mainQueue);
    const QPointer self(this);
    m_soundCheck->onLevel = [self](double level) {
        if (self && self->m_preferencesWindow) self->m_preferencesWindow->showLevel(level);
    };
    m_soundCheck->onProblem = [self](const std::string& problem) {
        if (self && self->m_preferencesWindow) {
            self->m_preferencesWindow->showSoundProblem(QString::fromStdString(problem));
        }
    };
    m_soundCheck->start();
}

void AppDelegate::watchForShares() {
    if (!m_shareWatcher || m_shareWatcher->method().empty()) return;
    m_shareWatcher->watch([self = QPointer(this)](bool sharing) {
        if (!self) return;
        self->m_shareSeen = sharing;
        if (self->m_shareTest) self->m_shareTest->shareSeen(sharing);
        self->stepAsideFromShares();
    });
}

bool AppDelegate::hidesFromShare() const {
    // Signed out there is no stealth switch: it stands at its default, on.
    const bool stealth = !m_floatingPanel || m_floatingPanel->isStealth();
    const bool desktopHidesIt = m_floatingPanel && m_floatingPanel->canHideFromCapture();
    return m_shareSeen && stealth && !desktopHidesIt;
}

void AppDelegate::stepAsideFromShares() {
    if (hidesFromShare()) {
        for (QWidget* window : std::initializer_list<QWidget*>{
                 m_floatingPanel.get(), m_loginWindow.get(), m_preferencesWindow.get(),
                 m_contextSheet.data(), m_aboutBox.data()}) {
            if (window && window->isVisible()) {
                window->hide();
                m_steppedAside.emplace_back(window);
            }
        }
        m_statusIcon.setNote(hiddenWhileShared);
        return;
    }
    m_statusIcon.setNote({});
    for (const auto& window : std::exchange(m_steppedAside, {})) {
        if (window) window->show();
    }
}

void AppDelegate::bindGlobalShortcuts() {
    if (!m_shortcuts) return;
    const QPointer self(this);
    m_shortcuts->onPressed = [self](const std::string& id) {
        if (self) self->runPanelCommand(id);
    };
    m_shortcuts->onReleased = [self](const std::string& id) {
        if (self && id == shortcut::pushToTalk && self->m_floatingPanel) {
            self->m_floatingPanel->endPushToTalk();
        }
    };
    m_shortcuts->bind(desktopShortcuts(), [self](ShortcutBindings bindings) {
        if (!self) return;
        self->m_bindings = std::move(bindings);
        if (self->m_preferencesWindow) self->m_preferencesWindow->showShortcuts(*self->m_bindings);
    });
}

bool AppDelegate::runPanelCommand(const std::string& command) {
    auto* panel = m_floatingPanel.get();
    if (command == shortcut::togglePanel) {
        togglePanel();
    } else if (command == shortcut::pushToTalk) {
        if (panel) panel->beginPushToTalk();
    } else if (command == shortcut::screenshot) {
        if (panel) panel->takeScreenshot();
    } else if (command == shortcut::copyAnswer) {
        if (panel) panel->copyAnswer();
    } else {
        return false;
    }
    return true;
}

void AppDelegate::togglePanel() {
    if (!m_floatingPanel) return;
    if (m_floatingPanel->isVisible()) {
        m_floatingPanel->endPushToTalk();
        m_floatingPanel->hide();
    } else {
        bringToFront(m_floatingPanel.get());
    }
}

bool AppDelegate::applicationShouldHandleReopen() {
    if (m_floatingPanel) bringToFront(m_floatingPanel.get());
    return false;
}

void AppDelegate::handleActivation() {
    applicationShouldHandleReopen();
    if (!m_floatingPanel && m_loginWindow && !m_loginWindow->isVisible()) {
        bringToFront(m_loginWindow.get());
    }
}

void AppDelegate::bringToFront(QWidget* window) {
    // Opened during a share: it shows when the share ends.
    if (hidesFromShare()) {
        m_steppedAside.emplace_back(window);
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void AppDelegate::installWindowCommands(QWidget* window) {
    const auto add = [window](const QKeySequence& keys, std::function<void()> action) {
        auto* command = new QAction(window);
        command->setShortcut(keys);
        command->setShortcutContext(Qt::WindowShortcut);
        connect(command, &QAction::triggered, window, std::move(action));
        window->addAction(command);
    };
    QPointer<AppDelegate> self(this);
    QPointer<QWidget> target(window);
    add(QKeySequence("Ctrl+,"), [self] {
        if (self) self->handlePreferencesMenu();
    });
    add(QKeySequence("Ctrl+Q"), [self] {
        if (self) self->quit();
    });
    add(QKeySequence("Ctrl+M"), [target] {
        if (target) target->showMinimized();
    });
    add(QKeySequence("Ctrl+W"), [target] {
        if (target) target->close();
    });
}

bool AppDelegate::handleMessage(const QString& message) {
    if (message.startsWith("open ")) {
        const QString url = message.mid(5).trimmed();
        const bool taken = onRedirect && onRedirect(url);
        if (!taken) qWarning("orvane: no sign-in is waiting for the redirect it was given");
        return true;
    }
    if (message == "activate") {
        handleActivation();
    } else if (message == "sign-in") {
        if (!m_floatingPanel && m_loginWindow) {
            bringToFront(m_loginWindow.get());
            m_loginWindow->signInGoogle();
        }
    } else if (message == "toggle-session") {
        if (m_floatingPanel) m_floatingPanel->toggleSession();
    } else if (message == "sign-out") {
        if (m_floatingPanel) handleSignOut();
    } else if (message == shortcut::screenshot || message == shortcut::copyAnswer ||
               message == shortcut::togglePanel) {
        // For desktops that bind keys to commands rather than give programs shortcuts. Holding
        // a key cannot be told this way, so push-to-talk is not among them.
        runPanelCommand(message.toStdString());
    } else {
        return false;
    }
    return true;
}

void AppDelegate::showLogin() {
    if (m_floatingPanel) m_floatingPanel->hide();
    m_floatingPanel.reset();
    m_statusIcon.setState(StatusIcon::State::idle);
    WindowPtr<LoginWindow> window(new LoginWindow(m_services.auth, m_services.mainQueue));
    installWindowCommands(window.get());
    window->onAuthenticated = [self = QPointer(this)] {
        if (self) self->transitionToPanel();
    };
    bringToFront(window.get());
    if (m_loginWindow) m_loginWindow->hide();
    m_loginWindow = std::move(window);
}

void AppDelegate::transitionToPanel() {
    WindowPtr<FloatingPanelWindow> panel(
        new FloatingPanelWindow(SessionManager::create(m_services, m_sessionConfig),
                                m_services.mainQueue, m_services.workspace));
    panel->session().setHearsCandidate(m_soundChoice.hearMeToo);
    if (onSessionCreated) onSessionCreated(panel->session());
    installWindowCommands(panel.get());
    const QPointer self(this);
    if (m_shareWatcher && !m_shareWatcher->method().empty() && !panel->canHideFromCapture()) {
        panel->stepAsideWhileShared(QString::fromStdString(m_shareWatcher->method()));
        panel->onStealthChanged = [self](bool) {
            if (self) self->stepAsideFromShares();
        };
    }
    panel->onOpenPreferences = [self] {
        if (self) self->showPreferences();
    };
    panel->tierModels = [self] {
        std::map<std::string, std::string> models;
        if (!self || !self->m_answers) return models;
        const auto& settings = self->m_answers->settings();
        if (settings.source == AnswerSettings::Source::offline) return models;
        for (const auto& tier : AnswerSettings::tiers()) models[tier] = settings.modelFor(tier);
        return models;
    };
    panel->onOpenContext = [self] {
        if (self) self->showContextSheet();
    };
    panel->onSignOut = [self] {
        if (self) self->handleSignOut();
    };
    panel->onSessionStateChanged = [self](SessionManager::State state) {
        if (!self) return;
        self->m_statusIcon.setState(statusFor(state));
        if (state == SessionManager::State::listening) {
            // The one that ended gives way to the one that starts.
            if (std::exchange(self->m_interviewOffered, false) && self->m_floatingPanel) {
                self->m_floatingPanel->hideOffer();
            }
            self->offerOnFirstSession();
        } else if (state == SessionManager::State::idle) {
            self->offerToSaveInterview();
        }
    };
    if (!statusAreaAvailable || !statusAreaAvailable()) {
        panel->onAbout = [self] {
            if (self) self->showAbout();
        };
        panel->onQuit = [self] {
            if (self) self->quit();
        };
    }
    if (panelBypassesWindowManager) {
        // An ordinary window type, not a tool's: compositors give the keyboard to an unmanaged
        // window on a click only if it does not look like a menu or a palette.
        panel->setWindowFlags((panel->windowFlags() & ~Qt::WindowType_Mask) | Qt::Window |
                              Qt::X11BypassWindowManagerHint);
    }
    bringToFront(panel.get());
    if (m_floatingPanel) m_floatingPanel->hide();
    m_floatingPanel = std::move(panel);
    if (m_loginWindow) m_loginWindow->hide();

    m_statusIcon.install();
    m_statusIcon.onStartStop = [self] {
        if (self) self->toggleSession();
    };
    m_statusIcon.onAbout = [self] {
        if (self) self->showAbout();
    };
    m_statusIcon.onPreferences = [self] {
        if (self) self->showPreferences();
    };
    m_statusIcon.onSignOut = [self] {
        if (self) self->handleSignOut();
    };
    m_statusIcon.onQuit = [self] {
        if (self) self->quit();
    };
}

void AppDelegate::useSoundDevices(SoundDevices& devices, std::filesystem::path choiceFile) {
    m_soundDevices = &devices;
    m_soundChoiceFile = std::move(choiceFile);
    m_soundChoice = SoundChoice::load(m_soundChoiceFile);
    m_services.audioSource.useDevice(m_soundChoice.output);
    m_services.microphone.useDevice(m_soundChoice.input);
    if (m_floatingPanel) m_floatingPanel->session().setHearsCandidate(m_soundChoice.hearMeToo);
    // The level follows the output just chosen.
    if (m_soundCheck) checkSound();
}

// Heard from the next time listening or push-to-talk starts.
void AppDelegate::chooseSoundDevices(SoundChoice choice) {
    m_soundChoice = std::move(choice);
    m_soundChoice.save(m_soundChoiceFile);
    m_services.audioSource.useDevice(m_soundChoice.output);
    m_services.microphone.useDevice(m_soundChoice.input);
    if (m_floatingPanel) m_floatingPanel->session().setHearsCandidate(m_soundChoice.hearMeToo);
}

void AppDelegate::showPreferences() {
    if (m_preferencesWindow) {
        bringToFront(m_preferencesWindow.get());
        return;
    }
    WindowPtr<PreferencesWindow> window(new PreferencesWindow(m_services.auth));
    if (m_bindings) window->showShortcuts(*m_bindings);
    window->showSharing(sharingNote(), m_shareTrial && m_shareTrial->available());
    window->onTestShare = [self = QPointer(this)] {
        if (self) self->testShare();
    };
    if (m_floatingPanel) {
        window->showLastHeard(QString::fromStdString(m_floatingPanel->session().lastQuestion()));
    }
    if (m_speechEngines) {
        window->showHearing(m_speechEngines->status());
        window->onChooseSpeechModel = [engines = m_speechEngines](auto model) {
            engines->choose(model);
        };
        window->onAddSpeechModelFile = [engines = m_speechEngines](auto file) {
            engines->addModelFile(file);
        };
        window->onDownloadSpeechModel = [engines = m_speechEngines](const std::string& name) {
            if (const auto* model = ModelCatalog::find(name)) engines->download(*model);
        };
        window->onCancelSpeechModelDownload = [engines = m_speechEngines] {
            engines->cancelDownload();
        };
    }
    if (m_transcription) {
        auto* view = window->transcriptionView();
        view->showSettings(m_transcription->settings(), m_transcription->hasKey());
        view->onApply = [servers = m_transcription, view = QPointer(view)](
                            const TranscriptionServer& settings, const auto& key) {
            const auto problem = servers->apply(settings, key);
            if (view) view->showSettings(servers->settings(), servers->hasKey());
            if (view && !problem.empty()) view->showResult(problem);
        };
        view->onTest = [servers = m_transcription, view = QPointer(view)](
                           const TranscriptionServer& settings, const auto& key) {
            servers->test(settings, key, [view](ServerTranscriber::Check check) {
                if (view) view->showResult(check.text);
            });
        };
    }
    if (m_soundDevices) {
        window->onChooseSoundDevices = [self = QPointer(this)](SoundChoice choice) {
            if (self) self->chooseSoundDevices(std::move(choice));
        };
        // Asking the sound server can take a moment: not on this thread.
        m_services.background.async(
            [self = QPointer(this), devices = m_soundDevices, &queue = m_services.mainQueue] {
                auto outputs = devices->outputs();
                auto inputs = devices->inputs();
                queue.post([self, outputs = std::move(outputs), inputs = std::move(inputs)] {
                    if (self && self->m_preferencesWindow) {
                        self->m_preferencesWindow->showSoundDevices(outputs, inputs,
                                                                    self->m_soundChoice);
                    }
                });
            });
    }
    if (m_answers) {
        auto* view = window->answersView();
        view->onApply = [answers = m_answers](const AnswerSettings& settings, const auto& key) {
            answers->apply(settings, key);
        };
        view->onTest = [answers = m_answers, view = QPointer(view)](const AnswerSettings& settings,
                                                                    const auto& key) {
            answers->test(settings, key, [view](ProviderCheck::Outcome outcome) {
                if (view) view->showTestResult(outcome);
            });
        };
        view->onListModels = [answers = m_answers, view = QPointer(view)](const std::string& url) {
            answers->listModels(url, [view](ProviderCheck::Models models) {
                if (view) view->showModels(models);
            });
        };
        m_answers->onChanged = [self = QPointer(this)] {
            if (self && self->m_preferencesWindow && self->m_answers) {
                self->m_preferencesWindow->answersView()->showNote(self->m_answers->note());
            }
        };
        // Shown once it can ask for a server's models: a saved server lists them at once.
        view->showSettings(m_answers->settings(), m_answers->hasKey());
        view->showNote(m_answers->note());
    }
    installWindowCommands(window.get());
    window->onClose = [self = QPointer(this), closing = window.get()] {
        if (!self) return;
        // Released once the close has finished, not inside it.
        self->m_services.mainQueue.post([self, closing] {
            if (self && self->m_preferencesWindow.get() == closing) {
                self->m_preferencesWindow.reset();
                self->m_soundCheck.reset();
                // A test share left to run would hide the windows with nothing to say why.
                self->m_shareTest.reset();
            }
        });
    };
    bringToFront(window.get());
    m_preferencesWindow = std::move(window);
    checkSound();
}

void AppDelegate::showServiceProblem(const QString& problem) {
    qWarning("orvane: %s", problem.toLocal8Bit().constData());
    if (m_floatingPanel) {
        m_floatingPanel->showProblem(problem);
    } else if (m_loginWindow) {
        m_loginWindow->showProblem(problem);
    }
}

void AppDelegate::showContextSheet() {
    // A sheet already open stays open and works on its own.
    const bool during = m_floatingPanel && m_floatingPanel->session().isRunning();
    auto* sheet = new ContextSheet(during ? ContextSheet::Mode::duringSession
                                          : ContextSheet::Mode::beforeSession);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    installWindowCommands(sheet);
    if (m_documentReader && m_documentQueue) {
        sheet->readDocumentsWith(
            [reader = m_documentReader, queue = m_documentQueue, &mainQueue = m_services.mainQueue](
                const std::filesystem::path& file, auto done) {
                queue->async([reader, &mainQueue, file, done = std::move(done)] {
                    mainQueue.post([done, result = reader->read(file)] { done(result); });
                });
            });
    }
    sheet->onSave = [self = QPointer(this), sheet = QPointer(sheet)](const std::string& text) {
        if (!self) return;
        if (self->m_floatingPanel) {
            self->m_floatingPanel->session().setSystemContext(text);
            self->m_floatingPanel->clearProblem();
        }
        if (sheet) sheet->deleteLater();
    };
    bringToFront(sheet);
    m_contextSheet = sheet;
}

void AppDelegate::toggleSession() {
    if (m_floatingPanel && !m_floatingPanel->isVisible()) bringToFront(m_floatingPanel.get());
}

void AppDelegate::handleSignOut() {
    if (m_floatingPanel) m_floatingPanel->stopSession();
    m_services.auth.signOut();
    if (m_floatingPanel) m_floatingPanel->hide();
    m_floatingPanel.reset();
    if (m_preferencesWindow) m_preferencesWindow->hide();
    m_preferencesWindow.reset();
    m_soundCheck.reset();
    if (onSignedOut) onSignedOut();
    showLogin();
}

void AppDelegate::handlePreferencesMenu() {
    showPreferences();
}

QString AppDelegate::aboutText() {
    return QStringLiteral(
               "<p style='font-size:15pt'><b>Orvane</b></p>"
               "<p>Version %1 (%2)</p>"
               "<p style='font-size:11pt; color:rgba(255,255,255,140)'>%3</p>")
        .arg(fromView(buildconfig::version), fromView(buildconfig::buildNumber),
             QString::fromUtf8("AI overlay assistant \u2014 invisible to screen recorders."));
}

void AppDelegate::showAbout() {
    if (!m_aboutBox) {
        auto* box =
            new QMessageBox(QMessageBox::NoIcon, "About Orvane", aboutText(), QMessageBox::Ok);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setTextFormat(Qt::RichText);
        const QPixmap logo(":/images/orvane-logo.png");
        if (!logo.isNull()) box->setIconPixmap(logo.scaledToHeight(84, Qt::SmoothTransformation));
        m_aboutBox = box;
    }
    bringToFront(m_aboutBox);
}

void AppDelegate::quit() {
    if (onQuit) {
        onQuit();
    } else {
        QCoreApplication::quit();
    }
}

}  // namespace orvane
