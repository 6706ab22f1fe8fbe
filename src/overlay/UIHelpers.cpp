// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/UIHelpers.h"

#include <QEnterEvent>
#include <QFontDatabase>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "overlay/SymbolIcons.h"

namespace orvane {

namespace {

constexpr double kHoverOpacity = 0.85;
constexpr double kPressOpacity = 0.7;

// The faces the Ubuntu family offers, by the weight asked for.
QFont::Weight ubuntuWeight(QFont::Weight weight) {
    switch (weight) {
        case QFont::Bold:
        case QFont::ExtraBold:
        case QFont::Black:
            return QFont::Bold;
        case QFont::Medium:
        case QFont::DemiBold:
            return QFont::Medium;
        case QFont::Thin:
        case QFont::ExtraLight:
        case QFont::Light:
            return QFont::Light;
        default:
            return QFont::Normal;
    }
}

bool hasFace(const QString& family, QFont::Weight weight) {
    if (!QFontDatabase::families().contains(family)) return false;
    for (const auto& style : QFontDatabase::styles(family)) {
        if (QFontDatabase::weight(family, style) == weight) return true;
    }
    return false;
}

QFont sized(QFont font, double size) {
    font.setPointSizeF(size);
    return font;
}

void colour(QLabel* label, const std::optional<QColor>& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color.value_or(palette.color(QPalette::WindowText)));
    label->setPalette(palette);
}

ClickableView* button(const QString& title, const QColor& fill, const QColor& border,
                      double borderWidth, QFont::Weight weight, std::optional<QColor> textColor) {
    auto* view = new ClickableView;
    view->setFill(fill);
    view->setBorder(border, borderWidth);
    view->setCornerRadius(12);
    auto* layout = new QHBoxLayout(view);
    layout->setContentsMargins(8, 0, 8, 0);
    auto* text = UI::label(title, 14, weight, textColor);
    text->setWordWrap(false);  // a button title is one line, centred
    text->setAlignment(Qt::AlignCenter);
    text->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(text);
    return view;
}

}  // namespace

QColor UI::bookCloth() {
    return QColor::fromRgbF(0.8f, 0.47f, 0.36f, 1.0f);
}

QColor UI::white(double opacity) {
    return withOpacity(Qt::white, opacity);
}

QColor UI::withOpacity(QColor color, double opacity) {
    color.setAlphaF(static_cast<float>(opacity));
    return color;
}

QColor UI::panelBg() {
    return QColor::fromRgbF(0.07f, 0.065f, 0.06f, 0.94f);
}

QColor UI::systemGreen() {
    return QColor::fromRgbF(0.196f, 0.843f, 0.294f);
}

QColor UI::systemRed() {
    return QColor::fromRgbF(1.0f, 0.271f, 0.227f);
}

QColor UI::systemOrange() {
    return QColor::fromRgbF(1.0f, 0.624f, 0.039f);
}

QColor UI::labelColor() {
    return white(0.85);
}

QColor UI::secondaryLabelColor() {
    return white(0.55);
}

// Light enough for 4.5:1 on the panel's fill (WCAG AA): white at 0.25 was 2:1.
QColor UI::tertiaryLabelColor() {
    return white(0.5);
}

QString UI::breakable(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 24);
    int run = 0;
    for (const QChar c : text) {
        run = c.isSpace() || c == '/' || c == '-' ? 0 : run + 1;
        if (run > 24) {
            out += QChar(0x200B);
            run = 1;
        }
        out += c;
    }
    return out;
}

QFont UI::ubuntu(double size, QFont::Weight weight) {
    const auto face = ubuntuWeight(weight);
    if (hasFace("Ubuntu", face)) {
        QFont font("Ubuntu");
        font.setWeight(face);
        return sized(font, size);
    }
    QFont system = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    system.setWeight(weight);
    return sized(system, size);
}

QFont UI::ubuntuMono(double size) {
    if (hasFace("Ubuntu Mono", QFont::Normal)) return sized(QFont("Ubuntu Mono"), size);
    // The desktop's fixed font can resolve to a proportional face (fontconfig's "monospace" alias
    // lands on whatever matched first), so the face drawn is checked, and else the first family
    // fontconfig says is fixed-pitch and really draws so is taken.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setWeight(QFont::Normal);
    fixed.setStyleHint(QFont::Monospace);
    if (QFontInfo(fixed).fixedPitch()) return sized(fixed, size);
    for (const auto& family : QFontDatabase::families()) {
        if (!QFontDatabase::isFixedPitch(family)) continue;
        QFont candidate(family);
        candidate.setWeight(QFont::Normal);
        if (QFontInfo(candidate).fixedPitch()) return sized(candidate, size);
    }
    return sized(fixed, size);
}

QLabel* UI::label(const QString& text, double size, QFont::Weight weight,
                  std::optional<QColor> color) {
    auto* label = new QLabel(text);
    // Labels show what users, models and servers wrote: never markup to interpret.
    label->setTextFormat(Qt::PlainText);
    label->setFont(ubuntu(size, weight));
    label->setWordWrap(true);
    colour(label, color);
    return label;
}

QLabel* UI::monoLabel(const QString& text, double size, QFont::Weight,
                      std::optional<QColor> color) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setFont(ubuntuMono(size));
    label->setWordWrap(true);
    colour(label, color);
    return label;
}

QWidget* UI::card() {
    auto* view = new ClickableView;
    view->setFill(white(0.045));
    view->setBorder(white(0.08), 0.5);
    view->setCornerRadius(14);
    view->setAttribute(Qt::WA_TransparentForMouseEvents);
    return view;
}

ClickableView* UI::primaryButton(const QString& title) {
    return button(title, bookCloth(), Qt::transparent, 0, QFont::DemiBold, QColor(Qt::white));
}

ClickableView* UI::ghostButton(const QString& title) {
    return button(title, white(0.06), white(0.10), 0.5, QFont::Medium, white(0.85));
}

QToolButton* UI::iconButton(const QString& symbol, double size, const QColor& tint) {
    auto* button = new QToolButton;
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet("QToolButton { border: none; background: transparent; }");
    if (auto icon = SymbolIcons::icon(symbol, size, tint)) {
        button->setIcon(*icon);
        button->setIconSize(QSize(static_cast<int>(size), static_cast<int>(size)));
    }
    return button;
}

RoundedPanel::RoundedPanel(const QColor& fill, QWidget* parent) : QWidget(parent), m_fill(fill) {}

void RoundedPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
    painter.fillPath(path, m_fill);
    painter.strokePath(path, QPen(UI::withOpacity(UI::bookCloth(), 0.15), 1.0));
}

ClickableView::ClickableView(QWidget* parent)
    : QWidget(parent),
      m_effect(new QGraphicsOpacityEffect(this)),
      m_fade(new QPropertyAnimation(m_effect, "opacity", this)) {
    m_effect->setOpacity(1.0);
    setGraphicsEffect(m_effect);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

double ClickableView::opacity() const {
    return m_effect->opacity();
}

void ClickableView::setOpacity(double opacity) {
    m_fade->stop();
    m_effect->setOpacity(opacity);
}

void ClickableView::fadeTo(double opacity, int duration) {
    m_fade->stop();
    m_fade->setDuration(duration);
    m_fade->setStartValue(m_effect->opacity());
    m_fade->setEndValue(opacity);
    m_fade->start();
}

void ClickableView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(m_borderWidth / 2, m_borderWidth / 2,
                                               -m_borderWidth / 2, -m_borderWidth / 2);
    QPainterPath path;
    path.addRoundedRect(box, m_radius, m_radius);
    painter.fillPath(path, m_fill);
    if (m_borderWidth > 0) painter.strokePath(path, QPen(m_border, m_borderWidth));
}

void ClickableView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    fadeTo(kPressOpacity, pressFade);
}

void ClickableView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    const bool inside = rect().contains(event->position().toPoint());
    // Back to the look the pointer's place calls for, wherever the press was released.
    fadeTo(m_hovered ? kHoverOpacity : 1.0, releaseFade);
    if (inside && onClick) onClick();
}

void ClickableView::enterEvent(QEnterEvent* event) {
    m_hovered = true;
    fadeTo(kHoverOpacity, hoverFade);
    QWidget::enterEvent(event);
}

void ClickableView::leaveEvent(QEvent* event) {
    m_hovered = false;
    fadeTo(1.0, hoverFade);
    QWidget::leaveEvent(event);
}

}  // namespace orvane
