// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary

// The portal client against a stand-in desktop portal on a private D-Bus daemon: real D-Bus
// messages, marshalled both ways, with a portal that does what desktops do (asks, picks other
// keys, refuses, is absent).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QTest>

#include "adapters/qt/PortalGlobalShortcuts.h"
#include "session/DesktopShortcuts.h"
#include "ui/PrivateBus.h"

struct PortalEntry {
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(PortalEntry)
Q_DECLARE_METATYPE(QList<PortalEntry>)

QDBusArgument& operator<<(QDBusArgument& argument, const PortalEntry& entry) {
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalEntry& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

namespace orvane {
namespace {

// What a desktop's shortcuts portal does, as far as a client can see.
class FakeShortcutsPortal : public FakePortal {
public:
    explicit FakeShortcutsPortal(QDBusConnection bus) : FakePortal(std::move(bus)) {
        qDBusRegisterMetaType<PortalEntry>();
        qDBusRegisterMetaType<QList<PortalEntry>>();
    }

    // How the desktop answers a binding: 0 granted, 1 the user said no.
    uint bindResponse = 0;
    // The keys the desktop chose, by id; ids not here are not bound.
    std::map<QString, QString> chosenKeys{{"push-to-talk", "Super+Space"},
                                          {"screenshot", "Ctrl+Alt+S"}};
    QList<PortalEntry> asked;
    QString session;
    QStringList closedSessions;

    void activate(const QString& id, const QString& onSession = {}) {
        emitShortcut("Activated", id, onSession);
    }
    void deactivate(const QString& id) { emitShortcut("Deactivated", id, {}); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override {
        const QString member = message.member();
        if (message.interface() == "org.freedesktop.portal.Session" && member == "Close") {
            closedSessions.push_back(message.path());
            m_bus.send(message.createReply());
            return true;
        }
        if (message.interface() != "org.freedesktop.portal.GlobalShortcuts") return false;
        const auto arguments = message.arguments();
        const auto options = qdbus_cast<QVariantMap>(arguments.last());
        const auto request = acceptRequest(message, options);
        QVariantMap results;
        uint response = 0;
        if (member == "CreateSession") {
            session = "/org/freedesktop/portal/desktop/session/" + sender(message) + "/" +
                      options.value("session_handle_token").toString();
            results.insert("session_handle", QVariant::fromValue(QDBusObjectPath(session)));
        } else if (member == "BindShortcuts") {
            asked = qdbus_cast<QList<PortalEntry>>(arguments.at(1));
            QList<PortalEntry> bound;
            for (const auto& entry : asked) {
                const auto keys = chosenKeys.find(entry.id);
                if (keys != chosenKeys.end()) {
                    bound.push_back({entry.id,
                                     {{"description", entry.properties["description"]},
                                      {"trigger_description", keys->second}}});
                }
            }
            results.insert("shortcuts", QVariant::fromValue(bound));
            response = bindResponse;
        }
        respond(request, response, results);
        return true;
    }

private:
    void emitShortcut(const QString& signal, const QString& id, const QString& onSession) {
        auto message = QDBusMessage::createSignal("/org/freedesktop/portal/desktop",
                                                  "org.freedesktop.portal.GlobalShortcuts", signal);
        message << QVariant::fromValue(QDBusObjectPath(onSession.isEmpty() ? session : onSession))
                << id << qulonglong(1) << QVariantMap();
        m_bus.send(message);
    }
};

class ShortcutsPortal : public ::testing::Test {
protected:
    ~ShortcutsPortal() override {
        shortcuts.reset();
        portal.reset();
        bus.disconnectAll();
    }
    void startPortal() { portal = std::make_unique<FakeShortcutsPortal>(bus.connect("portal")); }
    void startClient() {
        shortcuts = std::make_unique<PortalGlobalShortcuts>(bus.connect("client"));
        shortcuts->onPressed = [this](const std::string& id) { events.push_back("+" + id); };
        shortcuts->onReleased = [this](const std::string& id) { events.push_back("-" + id); };
    }
    std::optional<ShortcutBindings> bind() {
        std::optional<ShortcutBindings> result;
        shortcuts->bind(desktopShortcuts(), [&](ShortcutBindings bound) { result = bound; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return result.has_value(); }));
        return result;
    }

    PrivateBus bus;
    std::unique_ptr<FakeShortcutsPortal> portal;
    std::unique_ptr<PortalGlobalShortcuts> shortcuts;
    std::vector<std::string> events;
};

// One session's life: the desktop is asked for every shortcut and picks its own keys, presses of
// this session alone arrive, and binding again or ending closes the session before.
TEST_F(ShortcutsPortal, ASessionBindsTheDesktopsKeysHearsItsOwnPressesAndIsClosedAfter) {
    startPortal();
    startClient();
    const auto bound = bind();
    ASSERT_TRUE(bound);
    ASSERT_EQ(portal->asked.size(), 4);
    EXPECT_EQ(portal->asked[0].id, "push-to-talk");
    EXPECT_EQ(portal->asked[0].properties["preferred_trigger"].toString(), "CTRL+ALT+space");
    EXPECT_FALSE(portal->asked[0].properties["description"].toString().isEmpty());
    EXPECT_EQ(bound->via, "the desktop's shortcuts portal");
    ASSERT_EQ(bound->bound.size(), 2u);
    EXPECT_EQ(bound->bound[0].id, "push-to-talk");
    EXPECT_EQ(bound->bound[0].trigger, "Super+Space") << "the desktop chose other keys";
    EXPECT_EQ(bound->bound[1].id, "screenshot");
    EXPECT_EQ(bound->problem, "");

    portal->activate("push-to-talk", "/org/freedesktop/portal/desktop/session/other/x");
    portal->activate("push-to-talk");
    portal->deactivate("push-to-talk");
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= 2; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(events, (std::vector<std::string>{"+push-to-talk", "-push-to-talk"}));

    const auto first = portal->session;
    ASSERT_TRUE(bind());
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal->closedSessions.size() == 1; }));
    EXPECT_EQ(portal->closedSessions[0], first);
    const auto second = portal->session;
    shortcuts.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portal->closedSessions.size() == 2; }));
    EXPECT_EQ(portal->closedSessions[1], second);
}

TEST_F(ShortcutsPortal, ARefusalBindsNothingAndSaysSo) {
    startPortal();
    portal->bindResponse = 1;
    startClient();
    const auto bound = bind();
    ASSERT_TRUE(bound);
    EXPECT_TRUE(bound->bound.empty());
    EXPECT_EQ(bound->problem, "The global shortcuts were not allowed.");
}

TEST_F(ShortcutsPortal, NoPortalIsAnAnswerNotAWait) {
    startClient();
    const auto bound = bind();
    ASSERT_TRUE(bound) << "the missing service was reported";
    EXPECT_TRUE(bound->bound.empty());
    EXPECT_EQ(bound->via, "");
    EXPECT_EQ(bound->problem, "This desktop offers no global shortcuts to programs.");
}

}  // namespace
}  // namespace orvane
