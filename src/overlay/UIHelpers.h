// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QPropertyAnimation>
#include <QToolButton>
#include <QWidget>

#include <functional>

class QGraphicsOpacityEffect;

namespace orvane {

class ClickableView;

// The toolkit every Orvane window draws from: the warm dark palette, the Ubuntu faces with the
// system font as fallback, and label and button factories. Every factory returns a new widget
// the caller adopts.
namespace UI {

// The accent, a muted terracotta.
QColor bookCloth();
// A colour at an opacity: white(0.4) is white at 40 %.
QColor white(double opacity);
QColor withOpacity(QColor color, double opacity);
// The dark panel fill every Orvane window sits on.
QColor panelBg();
// The desktop's accents and text tones as its dark theme draws them.
QColor systemGreen();
QColor systemRed();
QColor systemOrange();
QColor labelColor();
QColor secondaryLabelColor();
QColor tertiaryLabelColor();

// The Ubuntu face for the weight (Bold for bold and heavier, Medium for medium and demi-bold,
// Light for light and thinner, else Regular), or the system font at the same size and weight
// when that face is not installed.
QFont ubuntu(double size, QFont::Weight weight = QFont::Normal);
// Ubuntu Mono, or the system's fixed-width font at the size.
QFont ubuntuMono(double size);

QLabel* label(const QString& text, double size, QFont::Weight weight = QFont::Normal,
              std::optional<QColor> color = std::nullopt);
QLabel* monoLabel(const QString& text, double size, QFont::Weight weight = QFont::Normal,
                  std::optional<QColor> color = std::nullopt);
// The text with a break opportunity (a zero-width space) every 24 characters of a run that has
// none, so that a long hash or path wraps in a label instead of widening its window.
QString breakable(const QString& text);
// A plain rounded panel: faint white fill and hairline border.
QWidget* card();
ClickableView* primaryButton(const QString& title);
ClickableView* ghostButton(const QString& title);
// A flat button showing the named symbol at the point size, tinted; no image when the symbol is
// unknown.
QToolButton* iconButton(const QString& symbol, double size, const QColor& tint);

}  // namespace UI

// The rounded background every Orvane window draws its content on: a fill, radius 14 and a
// one-point warm border.
class RoundedPanel : public QWidget {
public:
    explicit RoundedPanel(const QColor& fill, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
};

// A view that acts as a button: it fades to 0.85 opacity while hovered and 0.7 while pressed, and
// reports a click only when the press is released inside it.
class ClickableView : public QWidget {
    Q_OBJECT
public:
    explicit ClickableView(QWidget* parent = nullptr);

    std::function<void()> onClick;
    bool isHovered() const { return m_hovered; }
    double opacity() const;
    // Sets the opacity at once; a later hover or press fades from it.
    void setOpacity(double opacity);

    // Durations of the fades, in milliseconds.
    static constexpr int hoverFade = 120;
    static constexpr int pressFade = 50;
    static constexpr int releaseFade = 100;

    void setFill(const QColor& fill) {
        m_fill = fill;
        update();
    }
    void setBorder(const QColor& color, double width) {
        m_border = color;
        m_borderWidth = width;
        update();
    }
    void setCornerRadius(double radius) {
        m_radius = radius;
        update();
    }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void fadeTo(double opacity, int duration);

    bool m_hovered = false;
    QColor m_fill = Qt::transparent;
    QColor m_border = Qt::transparent;
    double m_borderWidth = 0;
    double m_radius = 0;
    QGraphicsOpacityEffect* m_effect;
    QPropertyAnimation* m_fade;
};

}  // namespace orvane
