// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/FramelessWindowHandle.h"

#include <algorithm>

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace orvane {

namespace {

// How far in from the window's border a press grabs an edge to resize.
constexpr int kResizeGrip = 6;

}  // namespace

FramelessWindowHandle::FramelessWindowHandle(QWidget* window) : QObject(window), m_window(window) {
    window->installEventFilter(this);
    m_settle.setSingleShot(true);
    m_settle.setInterval(250);
    connect(&m_settle, &QTimer::timeout, this, [this] { keepOnScreen(); });
    // Hovering an edge shows the resize pointer, which needs moves without a button held.
    window->setMouseTracking(true);
}

bool FramelessWindowHandle::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window) return false;
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            return press(static_cast<QMouseEvent*>(event));
        case QEvent::MouseMove:
            return moveTo(static_cast<QMouseEvent*>(event));
        case QEvent::MouseButtonRelease: {
            const bool moved = m_dragging || m_resizing;
            m_resizing = {};
            m_dragging = false;
            if (moved) keepOnScreen();
            return false;
        }
        case QEvent::Move:
        case QEvent::Resize:
            // A move or resize the window system ran ends without a release here: once it has
            // settled, the window is brought back within its screen.
            if (!m_resizing && !m_dragging) m_settle.start();
            return false;
        default:
            return false;
    }
}

Qt::Edges FramelessWindowHandle::edgesAt(const QPoint& position) const {
    Qt::Edges edges;
    if (position.x() < kResizeGrip) edges |= Qt::LeftEdge;
    if (position.x() >= m_window->width() - kResizeGrip) edges |= Qt::RightEdge;
    if (position.y() < kResizeGrip) edges |= Qt::TopEdge;
    if (position.y() >= m_window->height() - kResizeGrip) edges |= Qt::BottomEdge;
    return edges;
}

// A reparenting window manager can leave X11 telling the toolkit a position other than the one
// the window has: the pointer, asked of the server, says where it really is. Left stale, every
// move and resize the window system is asked for would start from the wrong place and fling the
// window across the screen.
void FramelessWindowHandle::correctPosition(const QMouseEvent* event) {
    auto* handle = m_window->windowHandle();
    if (QGuiApplication::platformName() != "xcb" || !handle) return;
    const auto really = QCursor::pos() - event->position().toPoint();
    if ((really - handle->geometry().topLeft()).manhattanLength() > 2) handle->setPosition(really);
}

bool FramelessWindowHandle::press(QMouseEvent* event) {
    correctPosition(event);
    const auto edges = edgesAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && edges) {
        // The window system resizes best (it knows the screen edges and other windows); where
        // it will not, the window follows the pointer itself.
        auto* handle = m_window->windowHandle();
        if (!handle || !handle->startSystemResize(edges)) {
            m_resizing = edges;
            m_resizeStartGeometry = m_window->geometry();
            m_resizeStartPoint = event->globalPosition().toPoint();
        }
        event->accept();
        return true;
    }
    if (event->button() != Qt::LeftButton) return false;
    // The window system moves best too: it knows where the window really is, which a
    // reparenting window manager may not have told the toolkit yet.
    auto* handle = m_window->windowHandle();
    if (handle && handle->startSystemMove()) return false;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
    return false;
}

void FramelessWindowHandle::keepOnScreen() {
    const auto* screen = m_window->screen();
    if (!screen || !m_window->isVisible()) return;
    const auto area = screen->availableGeometry();
    if (area.width() < 100 || area.height() < 100) return;
    auto frame = m_window->frameGeometry();
    const QSize size(std::min(m_window->width(), area.width()),
                     std::min(m_window->height(), area.height()));
    if (size != m_window->size()) m_window->resize(size);
    frame.setSize(m_window->frameGeometry().size());
    QPoint to = frame.topLeft();
    to.setX(
        std::clamp(to.x(), area.left(), std::max(area.left(), area.right() - frame.width() + 1)));
    to.setY(
        std::clamp(to.y(), area.top(), std::max(area.top(), area.bottom() - frame.height() + 1)));
    if (to != frame.topLeft()) m_window->move(to);
}

bool FramelessWindowHandle::moveTo(QMouseEvent* event) {
    if (m_resizing) {
        const auto delta = event->globalPosition().toPoint() - m_resizeStartPoint;
        auto frame = m_resizeStartGeometry;
        const auto minimum = m_window->minimumSize();
        if (m_resizing & Qt::LeftEdge)
            frame.setLeft(std::min(frame.left() + delta.x(), frame.right() - minimum.width() + 1));
        if (m_resizing & Qt::RightEdge)
            frame.setRight(std::max(frame.right() + delta.x(), frame.left() + minimum.width() - 1));
        if (m_resizing & Qt::TopEdge)
            frame.setTop(std::min(frame.top() + delta.y(), frame.bottom() - minimum.height() + 1));
        if (m_resizing & Qt::BottomEdge)
            frame.setBottom(
                std::max(frame.bottom() + delta.y(), frame.top() + minimum.height() - 1));
        m_window->setGeometry(frame);
        event->accept();
        return true;
    }
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        // No title bar: the background moves the window.
        m_window->move(event->globalPosition().toPoint() - m_dragOffset);
    } else {
        showEdgeCursor(edgesAt(event->position().toPoint()));
    }
    return false;
}

void FramelessWindowHandle::showEdgeCursor(Qt::Edges edges) {
    const auto has = [edges](Qt::Edges both) { return (edges & both) == both; };
    if (has(Qt::LeftEdge | Qt::TopEdge) || has(Qt::RightEdge | Qt::BottomEdge)) {
        m_window->setCursor(Qt::SizeFDiagCursor);
    } else if (has(Qt::RightEdge | Qt::TopEdge) || has(Qt::LeftEdge | Qt::BottomEdge)) {
        m_window->setCursor(Qt::SizeBDiagCursor);
    } else if (edges & (Qt::LeftEdge | Qt::RightEdge)) {
        m_window->setCursor(Qt::SizeHorCursor);
    } else if (edges & (Qt::TopEdge | Qt::BottomEdge)) {
        m_window->setCursor(Qt::SizeVerCursor);
    } else {
        m_window->unsetCursor();
    }
}

}  // namespace orvane
