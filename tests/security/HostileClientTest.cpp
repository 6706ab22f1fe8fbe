// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// Orvane's own side, read with an attacker's eyes: a proxy in the environment, another user on
// the same machine, a web page that sends the browser to Orvane's URL scheme.

#include <grp.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <thread>

#include "adapters/curl/CurlHttpClient.h"
#include "adapters/qt/BrowserWebAuth.h"
#include "adapters/std/PrivateFiles.h"
#include "app/SingleInstance.h"
#include "backend/BackendProcess.h"
#include "integration/LoopbackServer.h"

namespace orvane::testing {
namespace {

using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;

// Sets an environment variable for the test's length.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

HttpResult sendAndWait(CurlHttpClient& client, HttpRequest request) {
    std::promise<HttpResult> result;
    client.send(std::move(request), [&](HttpResult reply) { result.set_value(std::move(reply)); });
    return result.get_future().get();
}

TEST(HostileClient, AProxyInTheEnvironmentSeesNothingOfRequestsToThisMachine) {
    BackendProcess backend("hostile-proxy", {"--dev-identity-provider"});
    LoopbackServer proxy([](LoopbackConnection&) {});
    const auto proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.port());
    ScopedEnvironment http("http_proxy", proxyUrl), httpUpper("HTTP_PROXY", proxyUrl),
        all("ALL_PROXY", proxyUrl), https("https_proxy", proxyUrl);
    CurlHttpClient client;
    HttpRequest chat;
    chat.method = "POST";
    chat.url = "http://127.0.0.1:" + std::to_string(backend.port()) + "/api/v1/ai/chat";
    chat.headers = {{"Authorization", "Bearer secret-access-token"},
                    {"Content-Type", "application/json"}};
    chat.body = R"({"model":"mini","messages":[{"role":"user","content":"hi"}]})";
    const auto reply = sendAndWait(client, chat);
    ASSERT_FALSE(reply.error) << *reply.error;
    EXPECT_EQ(reply.response->statusCode, 401) << "the backend itself answered";
    EXPECT_EQ(proxy.connectionCount(), 0) << "nothing reached the proxy";
}

// Another user of the machine gets to the temporary directory first and waits there for the
// sign-in code that the browser hands to Orvane.
class SocketSquatting : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to play a second user";
    }
    QString privateDir() {
        const auto path = tmp.filePath("orvane-private");
        ::mkdir(QFile::encodeName(path).constData(), 0700);
        return path;
    }
    QTemporaryDir tmp;
};

TEST_F(SocketSquatting, ADirectoryOthersCanReachIsNotUsed) {
    const auto shared = tmp.filePath("shared");
    ::mkdir(QFile::encodeName(shared).constData(), 0777);
    ::chmod(QFile::encodeName(shared).constData(), 0777);
    const auto foreign = tmp.filePath("foreign");
    ::mkdir(QFile::encodeName(foreign).constData(), 0700);
    ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), kNobody, kNobody), 0);
    const auto link = tmp.filePath("link");
    ::symlink(QFile::encodeName(privateDir()).constData(), QFile::encodeName(link).constData());

    for (const auto& dir : {shared, foreign, link}) {
        SingleInstance instance(QDir(dir).filePath("instance"));
        EXPECT_TRUE(instance.problem()) << dir.toStdString();
        EXPECT_FALSE(instance.listen()) << dir.toStdString();
        EXPECT_FALSE(instance.forward("open scheme:/cb?code=secret", 500)) << dir.toStdString();
    }
    EXPECT_FALSE(SingleInstance(QDir(privateDir()).filePath("instance")).problem());
}

TEST_F(SocketSquatting, AListenerOfAnotherUserIsNotToldTheCode) {
    const auto path = QDir(privateDir()).filePath("instance");
    const auto native = QFile::encodeName(path);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t squatter = ::fork();
    if (squatter == 0) {
        // Binds where Orvane will look, then listens and reads as somebody else.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, native.constData(), sizeof address.sun_path - 1);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::chmod(native.constData(), 0777);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(1);
        }
        ::listen(fd, 4);
        ::write(ready[1], "r", 1);
        const int client = ::accept(fd, nullptr, nullptr);
        char buffer[256];
        const auto n = ::recv(client, buffer, sizeof buffer, 0);
        ::_exit(n > 0 ? 3 : 0);  // 3: it was told something
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    EXPECT_FALSE(SingleInstance(path).forward("open scheme:/cb?code=secret", 1000));
    int status = 0;
    ::waitpid(squatter, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the squatter read the message";
}

TEST_F(SocketSquatting, TheRunningInstanceHearsOnlyItsOwnUser) {
    const auto dir = privateDir();
    const auto path = QDir(dir).filePath("instance");
    SingleInstance running(path);
    ASSERT_TRUE(running.listen());
    QStringList received;
    running.onMessage = [&](const QString& message) { received << message; };
    // Permissions loosened by mistake: only the peer check is left to keep the stranger out.
    ::chmod(QFile::encodeName(tmp.path()).constData(), 0711);
    ::chmod(QFile::encodeName(dir).constData(), 0711);
    ::chmod(QFile::encodeName(path).constData(), 0777);

    const pid_t stranger = ::fork();
    if (stranger == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(1);
        }
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                     sizeof address.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) _exit(2);
        const char message[] = "sign-out\n";
        ::send(fd, message, sizeof message - 1, MSG_NOSIGNAL);
        char buffer[16];
        _exit(::recv(fd, buffer, sizeof buffer, 0) > 0 ? 3 : 0);
    }
    int status = 0;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return ::waitpid(stranger, &status, WNOHANG) == stranger; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(received.isEmpty()) << "a stranger's message was carried out";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "and was answered";
}

// Without a runtime directory, the place in the temporary directory is not one anybody can guess:
// another user who makes /tmp/orvane-<uid> first stops nothing.
TEST_F(SocketSquatting, WithoutARuntimeDirectoryAGuessedPlaceTakenFirstStopsNothing) {
    const auto squatted = tmp.filePath(QStringLiteral("orvane-%1").arg(::getuid()));
    ::mkdir(QFile::encodeName(squatted).constData(), 0700);
    ASSERT_EQ(::chown(QFile::encodeName(squatted).constData(), kNobody, kNobody), 0);
    qputenv("TMPDIR", tmp.path().toLocal8Bit());
    qputenv("HOME", tmp.filePath("home").toLocal8Bit());
    qunsetenv("XDG_RUNTIME_DIR");
    qunsetenv("XDG_CACHE_HOME");
    const auto path = SingleInstance::defaultSocketPath();
    EXPECT_FALSE(path.startsWith(squatted + u'/')) << path.toStdString();
    SingleInstance instance(path);
    EXPECT_FALSE(instance.problem());
    EXPECT_TRUE(instance.listen());
    EXPECT_EQ(SingleInstance::defaultSocketPath(), path) << "a second launch finds the first";
}

// The event trace holds what was heard and answered: it is never written into a file another
// user owns or can read, nor through a link or into a pipe somebody planted.
TEST(PrivateFiles, TheTraceGoesOnlyIntoAFileOfThisUsersOwn) {
    QTemporaryDir tmp;
    const auto at = [&tmp](const char* name) { return tmp.filePath(name).toStdString(); };
    std::ofstream(at("mine")) << "old events";
    ::chmod(at("mine").c_str(), 0644);
    ::symlink(at("mine").c_str(), at("link").c_str());
    ::mkfifo(at("fifo").c_str(), 0600);
    std::ofstream(at("theirs")) << "their file";
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(at("theirs").c_str(), kNobody, kNobody), 0);
    }
    for (const char* refused : {"link", "fifo", root ? "theirs" : "link"}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(files::openPrivateForWriting(at(refused))))
            << refused;
    }
    for (const char* taken : {"mine", "new"}) {
        auto opened = files::openPrivateForWriting(at(taken));
        ASSERT_TRUE(std::holds_alternative<files::FileDescriptor>(opened)) << taken;
        struct stat info {};
        ASSERT_EQ(::fstat(std::get<files::FileDescriptor>(opened).get(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << taken;
        EXPECT_EQ(info.st_size, 0) << taken;
    }
}

TEST(ForgedCallbacks, ARedirectWithoutTheSignInsStateEndsNothing) {
    BrowserWebAuthFactory factory({"true"}, 10s);
    std::vector<std::string> callbacks;
    auto session = factory.makeSession(
        "https://idp.test/auth?client_id=x&state=Zm9yZ2VkLW5vdA&nonce=n", "org.example.app",
        [&](std::optional<std::string> url, std::optional<std::string>) {
            callbacks.push_back(url.value_or(""));
        });
    session->start();
    for (const char* forged :
         {"org.example.app:/oauth2redirect/google?error=access_denied",
          "org.example.app:/oauth2redirect/google?error=access_denied&state=guess",
          "org.example.app:/oauth2redirect/google?code=attacker&state=Zm9yZ2VkLW5vdA2"}) {
        EXPECT_FALSE(factory.deliver(forged)) << forged;
    }
    EXPECT_TRUE(callbacks.empty());
    EXPECT_TRUE(factory.isWaiting()) << "the real answer can still come";
    EXPECT_TRUE(
        factory.deliver("org.example.app:/oauth2redirect/google?code=c&state=Zm9yZ2VkLW5vdA"));
    EXPECT_EQ(callbacks.size(), 1u);
}

}  // namespace
}  // namespace orvane::testing

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
