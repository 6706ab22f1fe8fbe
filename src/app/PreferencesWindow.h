// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QLabel>
#include <QWidget>

#include <functional>

#include "platform/GlobalShortcuts.h"

namespace orvane {

class AuthManager;
class LineLimitedLabel;

// A small read-only window naming the signed-in user, saying the AI service comes with the
// account, listing the global shortcuts and showing the version. The name is the one known when the
// window is built.
class PreferencesWindow : public QWidget {
    Q_OBJECT
public:
    explicit PreferencesWindow(const AuthManager& auth, QWidget* parent = nullptr);

    // Lists the global shortcuts the desktop bound, and says why any are missing.
    void showShortcuts(const ShortcutBindings& bindings);

    // Called as the window closes, before it is hidden.
    std::function<void()> onClose;

    QLabel* accountLabel() const { return m_account; }
    QLabel* signedInLabel() const { return m_signedIn; }
    LineLimitedLabel* serviceLabel() const { return m_service; }
    QLabel* versionLabel() const { return m_version; }
    QLabel* shortcutsLabel() const { return m_shortcuts; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setupContent(const AuthManager& auth);

    QLabel* m_account = nullptr;
    QLabel* m_signedIn = nullptr;
    LineLimitedLabel* m_service = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_shortcuts = nullptr;
};

}  // namespace orvane
