// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QToolButton>
#include <QWidget>

#include <functional>

namespace orvane {

// The panel's round icon control: a 32-point rounded background holding a symbol drawn at 13
// points, tinted. Changing to a symbol that has no icon leaves the button as it was.
class PillButton : public QWidget {
    Q_OBJECT
public:
    explicit PillButton(const QString& symbol, QWidget* parent = nullptr);

    std::function<void()> onClick;

    void setSymbol(const QString& symbol);
    // Its tooltip and what a screen reader says of it.
    void setDescription(const QString& description);
    void setTint(const QColor& tint);
    void setColors(const QColor& fill, const QColor& border);

    const QString& symbol() const { return m_symbol; }
    const QColor& tint() const { return m_tint; }
    const QColor& fill() const { return m_fill; }
    const QColor& border() const { return m_border; }
    QToolButton* button() const { return m_button; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void redrawIcon();

    QToolButton* m_button;
    QString m_symbol;
    QColor m_tint;
    QColor m_fill;
    QColor m_border;
};

}  // namespace orvane
