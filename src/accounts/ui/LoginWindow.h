// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QLabel>
#include <QWidget>

#include <functional>

namespace orvane {

class AuthManager;
class ClickableView;
class LineLimitedLabel;
class MainQueue;

// The small dark sign-in window: the logo, a welcome, one "Continue with Google" button and a
// status line that reports progress and the outcome. It never closes itself; the application
// hides it once onAuthenticated has been called.
class LoginWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr double welcomeDelaySeconds = 0.6;

    LoginWindow(AuthManager& auth, MainQueue& mainQueue, QWidget* parent = nullptr);
    ~LoginWindow() override;

    // Called once, a moment after a successful sign-in.
    std::function<void()> onAuthenticated;

    // The button's action.
    void signInGoogle();
    // Says why signing in cannot work now (no answer service on this computer).
    void showProblem(const QString& problem);

    QLabel* logo() const { return m_logo; }
    QLabel* title() const { return m_title; }
    LineLimitedLabel* statusLabel() const { return m_statusLabel; }
    ClickableView* googleButton() const { return m_googleButton; }
    QColor statusColor() const;

private:
    void setupContent();
    void setLoading(bool loading);
    void handleAuthResult(bool success);
    void setStatus(const QString& text, const QColor& color);

    AuthManager& m_auth;
    MainQueue& m_mainQueue;
    QLabel* m_logo = nullptr;
    QLabel* m_title = nullptr;
    LineLimitedLabel* m_statusLabel = nullptr;
    ClickableView* m_googleButton = nullptr;
};

}  // namespace orvane
