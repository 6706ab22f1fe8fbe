// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "accounts/ui/LoginWindow.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>

#include "accounts/AuthManager.h"
#include "overlay/LineLimitedLabel.h"
#include "overlay/SymbolIcons.h"
#include "overlay/UIHelpers.h"
#include "platform/MainQueue.h"

namespace orvane {

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 520;
const QColor kButtonInk = QColor::fromRgbF(0.12f, 0.12f, 0.12f);

void paint(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

}  // namespace

LoginWindow::LoginWindow(AuthManager& auth, MainQueue& mainQueue, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_auth(auth),
      m_mainQueue(mainQueue) {
    setWindowTitle("Orvane");
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(kWidth, kHeight);
    const auto* screen = QGuiApplication::primaryScreen();
    const QPoint centre = screen ? screen->availableGeometry().center() : QPoint(0, 0);
    move(centre - QPoint(kWidth / 2, kHeight / 2));
    moveByBackground(this);
    setupContent();
}

LoginWindow::~LoginWindow() = default;

void LoginWindow::setupContent() {
    auto* container = new RoundedPanel(UI::panelBg(), this);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(container);

    m_logo = new QLabel;
    m_logo->setFixedSize(64, 84);
    m_logo->setAlignment(Qt::AlignCenter);
    const QPixmap logo(":/images/orvane-logo.png");
    if (!logo.isNull()) {
        QPixmap scaled = logo.scaled(64 * 2, 84 * 2, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        scaled.setDevicePixelRatio(2.0);
        m_logo->setPixmap(scaled);
    }

    m_title = UI::label("Welcome to Orvane", 24, QFont::Bold, UI::white(0.92));
    m_title->setAlignment(Qt::AlignCenter);
    auto* subtitle = UI::label("Sign in to start your session", 13, QFont::Normal, UI::white(0.4));
    subtitle->setAlignment(Qt::AlignCenter);

    m_googleButton = new ClickableView;
    m_googleButton->setFill(Qt::white);
    m_googleButton->setCornerRadius(12);
    m_googleButton->setFixedHeight(50);
    auto* buttonRow = new QHBoxLayout(m_googleButton);
    buttonRow->setSpacing(10);
    buttonRow->addStretch();
    auto* globe = new QLabel;
    globe->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (const auto image = SymbolIcons::pixmap("globe", 16, kButtonInk)) {
        globe->setPixmap(*image);
        globe->setFixedSize(16, 16);
        globe->setScaledContents(true);
    }
    auto* buttonTitle = UI::label("Continue with Google", 15, QFont::Medium, kButtonInk);
    buttonTitle->setWordWrap(false);
    buttonTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    buttonRow->addWidget(globe, 0, Qt::AlignVCenter);
    buttonRow->addWidget(buttonTitle, 0, Qt::AlignVCenter);
    buttonRow->addStretch();
    m_googleButton->onClick = [window = QPointer(this)] {
        if (window) window->signInGoogle();
    };

    m_statusLabel = new LineLimitedLabel(3);
    m_statusLabel->setFont(UI::ubuntu(12, QFont::Normal));
    m_statusLabel->setAlignment(Qt::AlignCenter);
    paint(m_statusLabel, UI::white(0.4));

    auto* stack = new QVBoxLayout(container);
    stack->setContentsMargins(48, 0, 48, 0);
    stack->setSpacing(0);
    stack->addStretch();
    stack->addWidget(m_logo, 0, Qt::AlignHCenter);
    stack->addSpacing(24);
    stack->addWidget(m_title);
    stack->addSpacing(8);
    stack->addWidget(subtitle);
    stack->addSpacing(40);
    stack->addWidget(m_googleButton);
    stack->addSpacing(32);
    stack->addWidget(m_statusLabel);
    stack->addStretch();
}

QColor LoginWindow::statusColor() const {
    return m_statusLabel->palette().color(QPalette::WindowText);
}

void LoginWindow::showProblem(const QString& problem) {
    setStatus(problem, UI::systemRed());
}

void LoginWindow::setStatus(const QString& text, const QColor& color) {
    paint(m_statusLabel, color);
    m_statusLabel->setFullText(text);
}

void LoginWindow::signInGoogle() {
    setLoading(true);
    m_auth.signInWithGoogle([window = QPointer(this)](bool success) {
        if (window) window->handleAuthResult(success);
    });
}

void LoginWindow::setLoading(bool loading) {
    m_googleButton->setOpacity(loading ? 0.4 : 1.0);
    if (loading) setStatus("Authenticating...", UI::white(0.4));
}

void LoginWindow::handleAuthResult(bool success) {
    if (success) {
        const auto name = m_auth.userName().value_or("there");
        setStatus(QString::fromStdString("Welcome, " + name + "!"), UI::systemGreen());
        m_mainQueue.postAfter(welcomeDelaySeconds, [window = QPointer(this)] {
            if (window && window->onAuthenticated) window->onAuthenticated();
        });
        return;
    }
    m_googleButton->setOpacity(1.0);
    setStatus(QString::fromStdString(m_auth.lastError().value_or("Something went wrong")),
              UI::systemRed());
}

}  // namespace orvane
