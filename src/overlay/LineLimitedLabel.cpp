// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/LineLimitedLabel.h"

#include <QMouseEvent>
#include <QTextLayout>

namespace orvane {

namespace {

// Where each line starts and how long it is, for the text wrapped at the width.
std::vector<std::pair<int, int>> wrapLines(const QString& text, const QFont& font, int width) {
    std::vector<std::pair<int, int>> lines;
    if (text.isEmpty()) return lines;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (auto line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.emplace_back(line.textStart(), line.textLength());
    }
    layout.endLayout();
    return lines;
}

class BackgroundDrag : public QObject {
public:
    explicit BackgroundDrag(QWidget* window) : QObject(window), m_window(window) {}

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            m_offset = mouse->globalPosition().toPoint() - m_window->frameGeometry().topLeft();
        } else if (event->type() == QEvent::MouseMove) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->buttons() & Qt::LeftButton) {
                m_window->move(mouse->globalPosition().toPoint() - m_offset);
            }
        }
        return false;
    }

private:
    QWidget* m_window;
    QPoint m_offset;
};

}  // namespace

LineLimitedLabel::LineLimitedLabel(int maximumLines, QWidget* parent)
    : QLabel(parent), m_maximumLines(maximumLines) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
}

void LineLimitedLabel::setFullText(const QString& text) {
    m_fullText = text;
    fit();
}

int LineLimitedLabel::shownLineCount() const {
    const auto lines = wrapLines(text(), font(), std::max(1, width()));
    return static_cast<int>(lines.size());
}

void LineLimitedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void LineLimitedLabel::fit() {
    const int width = std::max(1, contentsRect().width());
    const auto lines = wrapLines(m_fullText, font(), width);
    if (static_cast<int>(lines.size()) <= m_maximumLines) {
        setText(m_fullText);
        return;
    }
    const int lastStart = lines[static_cast<std::size_t>(m_maximumLines - 1)].first;
    // The last line shown takes the rest of the text and gives way to an ellipsis.
    const QString rest = m_fullText.mid(lastStart).simplified();
    const QString last = fontMetrics().elidedText(rest, Qt::ElideRight, width);
    setText(m_fullText.left(lastStart) + last);
}

void moveByBackground(QWidget* window) {
    window->installEventFilter(new BackgroundDrag(window));
}

}  // namespace orvane
