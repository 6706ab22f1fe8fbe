// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The app's own answer service, for real: orvane-backend processes started, killed, restarted
// with new answers and stopped, on loopback ports of their own.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fstream>

#include <QTest>
#include "adapters/curl/CurlHttpClient.h"
#include "adapters/std/RunLoop.h"
#include "app/Answers.h"
#include "app/BackendSupervisor.h"
#include "backend/BackendProcess.h"
#include "fakes/ScriptedAccounts.h"

namespace orvane::testing {
namespace {

using State = BackendSupervisor::State;

QByteArray procFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class Supervisor : public ::testing::Test {
protected:
    BackendSupervisor::Launch launch(const QString& program = ORVANE_BACKEND_PATH,
                                     bool useBackendAlreadyThere = false) {
        return {program,
                "127.0.0.1",
                port,
                data.path(),
                data.filePath("run/backend.sock"),
                useBackendAlreadyThere,
                50};
    }
    QTemporaryDir data;
    int port = freeLoopbackPort();
    std::vector<State> states;
    QStringList problems;
    QStringList connections;  // what each onConnection said: a socket, or "" for TCP
    void watch(BackendSupervisor& supervisor) {
        supervisor.onStateChanged = [this](State state) { states.push_back(state); };
        supervisor.onProblem = [this](const QString& problem) { problems << problem; };
        supervisor.onConnection = [this](const QString& socket) { connections << socket; };
    }
};

TEST_F(Supervisor, RunsTheBackendWithTheKeyInItsEnvironmentOnlyAndKeepsItRunning) {
    BackendSupervisor supervisor(launch());
    watch(supervisor);
    AnswerSettings local{AnswerSettings::Source::openaiCompatible, "http://127.0.0.1:9/v1", {}};
    supervisor.apply(local, std::string("sk-test-secret"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return supervisor.state() == State::running; }, 30000));
    const auto pid = supervisor.processId();
    const auto arguments = procFile(pid, "cmdline");
    EXPECT_TRUE(arguments.contains("--openai-url")) << arguments.toStdString();
    EXPECT_FALSE(arguments.contains("sk-test-secret")) << "never on the command line";
    EXPECT_TRUE(procFile(pid, "environ").contains("OPENAI_API_KEY=sk-test-secret"));

    // A crash is followed by a restart.
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return supervisor.state() == State::running && supervisor.processId() != pid; },
        30000));
    // New answers restart it with them; the same ones change nothing.
    const auto restarted = supervisor.processId();
    supervisor.apply(local, std::string("sk-test-secret"));
    EXPECT_EQ(supervisor.processId(), restarted);
    supervisor.apply(AnswerSettings{}, std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return supervisor.state() == State::running && supervisor.processId() != restarted; },
        30000));
    EXPECT_TRUE(procFile(supervisor.processId(), "cmdline").contains("all=offline"));
    EXPECT_FALSE(procFile(supervisor.processId(), "environ").contains("OPENAI_API_KEY"));

    // Another launch finds it answering on the private socket and leaves it be; stopping ends
    // it.
    EXPECT_EQ(connections.last().toStdString(), launch().socketPath.toStdString());
    BackendSupervisor second(launch());
    watch(second);
    second.apply(AnswerSettings{}, std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.state() == State::foreign; }, 5000));
    EXPECT_FALSE(second.ownsBackend());
    EXPECT_EQ(connections.last().toStdString(), launch().socketPath.toStdString());
    const auto last = supervisor.processId();
    supervisor.stop();
    EXPECT_EQ(supervisor.state(), State::idle);
    EXPECT_TRUE(procFile(last, "cmdline").isEmpty()) << "the process is gone";
    EXPECT_TRUE(problems.isEmpty());
}

// Something else that took the port first gets a health probe at most, never a question: the
// app uses it only when the user named its address, and then over TCP.
TEST_F(Supervisor, WhatHoldsThePortIsUsedOnlyWhereTheUserNamedIt) {
    // A backend of another's on the port (a process: this one starts no thread before a fork).
    BackendProcess squatter("squatter");
    port = squatter.port();
    BackendSupervisor supervisor(launch());
    watch(supervisor);
    supervisor.apply(AnswerSettings{}, std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return supervisor.state() == State::failed; }, 30000));
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0].startsWith("Another program listens on 127.0.0.1:"))
        << problems[0].toStdString();
    EXPECT_TRUE(connections.isEmpty());
    for (const auto& line : QString::fromStdString(squatter.log()).split('\n')) {
        if (line.contains(" GET ") || line.contains(" POST ")) {
            EXPECT_TRUE(line.contains(" GET /healthz ")) << line.toStdString();
        }
    }

    BackendSupervisor named(launch(ORVANE_BACKEND_PATH, true));
    watch(named);
    named.apply(AnswerSettings{}, std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return named.state() == State::foreign; }, 5000));
    EXPECT_EQ(connections.size(), 1);
    EXPECT_TRUE(connections.last().isEmpty()) << "over TCP";
}

// Its marker names the launch that started it, which is no longer its parent: it serves what
// that launch was told, and gives way.
TEST_F(Supervisor, ABackendAnEarlierLaunchLeftBehindIsReplaced) {
    const auto dir = std::filesystem::path(data.path().toStdString());
    std::filesystem::create_directory(dir / "run");
    std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
    auto leftBehind = std::make_unique<BackendProcess>(
        "left-behind",
        std::vector<std::string>{"--private-socket", launch().socketPath.toStdString()},
        dir.string());
    port = leftBehind->port();
    const auto pid = leftBehind->pid();
    std::ofstream(dir / BackendSupervisor::markerName) << pid << " 999999\n";
    BackendSupervisor supervisor(launch());
    watch(supervisor);
    supervisor.apply(AnswerSettings{}, std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return supervisor.state() == State::running; }, 30000));
    EXPECT_NE(supervisor.processId(), pid);
    EXPECT_FALSE(leftBehind->running());
    std::ifstream marker(dir / BackendSupervisor::markerName);
    qint64 backend = 0, launcher = 0;
    marker >> backend >> launcher;
    EXPECT_EQ(backend, supervisor.processId());
    EXPECT_EQ(launcher, ::getpid());
}

TEST_F(Supervisor, ABackendThatKeepsFailingIsGivenUpWithItsLastWords) {
    QFile script(data.filePath("failing-backend"));
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho 'orvane-backend: cannot open database' >&2\nexit 1\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    BackendSupervisor supervisor(launch(script.fileName()));
    watch(supervisor);
    supervisor.apply(AnswerSettings{}, std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return supervisor.state() == State::failed; }, 30000));
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(
        problems[0].contains("could not be restarted: orvane-backend: cannot open database"))
        << problems[0].toStdString();

    BackendSupervisor missing(launch(QString()));
    watch(missing);
    missing.apply(AnswerSettings{}, std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return missing.state() == State::failed; }, 5000));
    EXPECT_TRUE(problems.last().contains("is not installed")) << problems.last().toStdString();
}

// The user's answers: kept in a private file without the key, the key in the secret store under
// its provider's account, and a key the run command gave used without being kept.
TEST(AnswersTest, SettingsAreKeptInAPrivateFileAndTheKeyInTheSecretStoreOnly) {
    using Source = AnswerSettings::Source;
    QTemporaryDir config;
    const auto file = std::filesystem::path(config.filePath("orvane/answers.json").toStdString());
    InMemorySecretStore store;
    KeychainHelper keychain(store);
    RunLoop loop;
    CurlHttpClient http;
    Answers answers(keychain, file, ProviderCheck::create(http, loop), nullptr);
    answers.start(AnswerSettings{Source::anthropic, "", {}}, std::string("sk-from-environment"));
    EXPECT_TRUE(answers.hasKey());
    EXPECT_TRUE(store.items.empty()) << "a key from the environment is used, not kept";

    AnswerSettings local{Source::openaiCompatible, "http://127.0.0.1:8080/v1", {{"mini", "q"}}};
    answers.apply(local, std::string("sk-local"));
    EXPECT_EQ(keychain.key(local.keyAccount()), "sk-local");
    QFile saved(QString::fromStdString(file.string()));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const auto text = saved.readAll();
    EXPECT_FALSE(text.contains("sk-local"));
    EXPECT_EQ(saved.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    answers.apply(AnswerSettings{}, std::nullopt);
    EXPECT_EQ(keychain.key(local.keyAccount()), "sk-local") << "no key typed: the kept one stays";

    // A key goes only to what it was typed for: not OpenAI's to a compatible server, not one
    // server's to another, and none in the clear to another machine.
    answers.apply(AnswerSettings{Source::openai}, std::string("sk-openai"));
    auto squatted = local;
    squatted.baseUrl = "http://127.0.0.1:11434/v1";
    answers.apply(squatted, std::nullopt);
    EXPECT_FALSE(answers.hasKey());
    auto elsewhere = local;
    elsewhere.baseUrl = "http://10.0.0.5:8080/v1";
    answers.apply(elsewhere, std::string("sk-lan"));
    EXPECT_FALSE(answers.hasKey());
    EXPECT_FALSE(keychain.key(elsewhere.keyAccount())) << "not even kept";

    answers.apply(local, std::nullopt);
    Answers later(keychain, file, ProviderCheck::create(http, loop), nullptr);
    later.start(std::nullopt, std::nullopt);
    EXPECT_EQ(later.settings(), local);
    EXPECT_TRUE(later.hasKey());
}

}  // namespace
}  // namespace orvane::testing
