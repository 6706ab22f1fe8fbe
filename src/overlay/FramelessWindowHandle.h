// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

class QMouseEvent;
class QWidget;

namespace orvane {

// What a title bar and frame would give a frameless window: its background moves it, and its
// edges resize it, by the window system where it will, by following the pointer where it will
// not, never below the window's minimum size. Watches the window's mouse events, including those
// its children pass on; install one per window, as its child.
class FramelessWindowHandle : public QObject {
public:
    explicit FramelessWindowHandle(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Qt::Edges edgesAt(const QPoint& position) const;
    bool press(QMouseEvent* event);
    bool moveTo(QMouseEvent* event);
    void showEdgeCursor(Qt::Edges edges);

    QWidget* m_window;
    QPoint m_dragOffset;
    // An edge drag the window system would not take over is done here.
    Qt::Edges m_resizing;
    QRect m_resizeStartGeometry;
    QPoint m_resizeStartPoint;
};

}  // namespace orvane
