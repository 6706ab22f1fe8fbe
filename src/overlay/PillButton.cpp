// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/PillButton.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

#include "overlay/SymbolIcons.h"
#include "overlay/UIHelpers.h"

namespace orvane {

namespace {
constexpr double kSymbolSize = 13;
}

PillButton::PillButton(const QString& symbol, QWidget* parent)
    : QWidget(parent),
      m_button(new QToolButton(this)),
      m_tint(UI::white(0.5)),
      m_fill(UI::white(0.06)),
      m_border(UI::white(0.08)) {
    setFixedSize(32, 32);
    m_button->setAutoRaise(true);
    // Reached with Tab and pressed with Enter; space stays the panel's push-to-talk.
    m_button->setFocusPolicy(Qt::TabFocus);
    m_button->installEventFilter(this);
    m_button->setStyleSheet(
        "QToolButton { border: 1px solid transparent; border-radius: 6px; background: "
        "transparent; } QToolButton:focus { border-color: rgba(230,150,120,230); }");
    m_button->setCursor(Qt::PointingHandCursor);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_button, 0, Qt::AlignCenter);
    connect(m_button, &QToolButton::clicked, this, [this] {
        if (onClick) onClick();
    });
    setSymbol(symbol);
}

void PillButton::setDescription(const QString& description) {
    setToolTip(description);
    m_button->setAccessibleName(description);
}

bool PillButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_button ||
        (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)) {
        return QWidget::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                       key->modifiers() == Qt::NoModifier;
    if (enter) {
        if (event->type() == QEvent::KeyPress) m_button->click();
        return true;
    }
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
    // Every other key is the panel's (space to talk, arrows to page), however the focus lies.
    if (auto* panel = window(); panel && panel != this) QCoreApplication::sendEvent(panel, event);
    return true;
}

void PillButton::setSymbol(const QString& symbol) {
    if (!SymbolIcons::resourceFor(symbol)) return;
    m_symbol = symbol;
    redrawIcon();
}

void PillButton::setTint(const QColor& tint) {
    m_tint = tint;
    redrawIcon();
}

void PillButton::setColors(const QColor& fill, const QColor& border) {
    m_fill = fill;
    m_border = border;
    update();
}

void PillButton::redrawIcon() {
    if (auto icon = SymbolIcons::icon(m_symbol, kSymbolSize, m_tint)) {
        m_button->setIcon(*icon);
        m_button->setIconSize(QSize(kSymbolSize, kSymbolSize));
    }
}

void PillButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.25, 0.25, -0.25, -0.25), 8, 8);
    painter.fillPath(path, m_fill);
    painter.strokePath(path, QPen(m_border, 0.5));
}

}  // namespace orvane
