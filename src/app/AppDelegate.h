// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

#include "app/StatusIcon.h"
#include "overlay/ContextSheet.h"
#include "session/SessionManager.h"

namespace orvane {

class FloatingPanelWindow;
class LoginWindow;
class PreferencesWindow;

// Windows are released with deleteLater, so one may be dropped from inside its own callback.
struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};
template <class Window>
using WindowPtr = std::unique_ptr<Window, DeleteLater>;

// The application's controller: shows the sign-in window or the overlay, wires the windows and
// the status icon to each other, and creates and releases the windows. Main thread only.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    // Everything a session needs; the services outlive the delegate.
    AppDelegate(SessionServices services, SessionConfig sessionConfig);
    ~AppDelegate() override;

    // Each session once its panel is built, before it is shown (for tracing).
    std::function<void(SessionManager&)> onSessionCreated;
    std::function<void()> onSignedOut;
    // A sign-in redirect handed over by another `orvane URL`; answers whether a sign-in took it.
    std::function<bool(const QString& url)> onRedirect;
    // Ends the application; by default the Qt event loop quits.
    std::function<void()> onQuit;

    void applicationDidFinishLaunching();
    // The user asked for Orvane again (a second launch): the panel comes forward when there is
    // one. Always answers false.
    bool applicationShouldHandleReopen();
    // A second launch while signed out also brings the sign-in window back if it was closed.
    void handleActivation();

    // A message from another `orvane` process: "open URL", "activate", "sign-in",
    // "toggle-session" or "sign-out". Answers false for a message it does not know.
    bool handleMessage(const QString& message);

    void showLogin();
    void transitionToPanel();
    void showPreferences();
    void showContextSheet();
    void toggleSession();
    void handleSignOut();
    void handlePreferencesMenu();
    void showAbout();
    void quit();

    LoginWindow* loginWindow() const { return m_loginWindow.get(); }
    FloatingPanelWindow* floatingPanel() const { return m_floatingPanel.get(); }
    PreferencesWindow* preferencesWindow() const { return m_preferencesWindow.get(); }
    ContextSheet* contextSheet() const { return m_contextSheet; }
    QMessageBox* aboutBox() const { return m_aboutBox; }
    StatusIcon& statusIcon() { return m_statusIcon; }

    static QString aboutText();

private:
    // Ctrl+, Ctrl+Q, Ctrl+M and Ctrl+W on one of Orvane's windows.
    void installWindowCommands(QWidget* window);
    void bringToFront(QWidget* window);

    SessionServices m_services;
    SessionConfig m_sessionConfig;
    WindowPtr<LoginWindow> m_loginWindow;
    WindowPtr<FloatingPanelWindow> m_floatingPanel;
    WindowPtr<PreferencesWindow> m_preferencesWindow;
    QPointer<ContextSheet> m_contextSheet;
    QPointer<QMessageBox> m_aboutBox;
    StatusIcon m_statusIcon;
};

}  // namespace orvane
