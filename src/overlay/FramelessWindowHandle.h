// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QTimer>

class QMouseEvent;
class QWidget;

namespace orvane {

// What a title bar and frame would give a frameless window: its background moves it, and its
// edges resize it, by the window system where it will, by following the pointer where it will
// not, never below the window's minimum size, and never off the screen: after a move or a resize
// the window is brought back within its screen. Watches the window's mouse events, including
// those its children pass on; install one per window, as its child.
class FramelessWindowHandle : public QObject {
public:
    explicit FramelessWindowHandle(QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Qt::Edges edgesAt(const QPoint& position) const;
    bool press(QMouseEvent* event);
    void correctPosition(const QMouseEvent* event);
    bool moveTo(QMouseEvent* event);
    void showEdgeCursor(Qt::Edges edges);
    void keepOnScreen();

    QWidget* m_window;
    QTimer m_settle;
    QPoint m_dragOffset;
    // Only a press on the background moves the window; one on an edge resizes it, and the window
    // system may still send moves while it does.
    bool m_dragging = false;
    // An edge drag the window system would not take over is done here.
    Qt::Edges m_resizing;
    QRect m_resizeStartGeometry;
    QPoint m_resizeStartPoint;
};

}  // namespace orvane
