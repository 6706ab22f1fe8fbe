// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/PillButton.h"

#include <QHBoxLayout>
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
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setStyleSheet("QToolButton { border: none; background: transparent; }");
    m_button->setCursor(Qt::PointingHandCursor);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_button, 0, Qt::AlignCenter);
    connect(m_button, &QToolButton::clicked, this, [this] {
        if (onClick) onClick();
    });
    setSymbol(symbol);
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
