// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QLabel>

namespace orvane {

// A wrapping label that shows at most a number of lines, cutting the last one shown with an
// ellipsis when the text needs more.
class LineLimitedLabel : public QLabel {
    Q_OBJECT
public:
    explicit LineLimitedLabel(int maximumLines, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return m_fullText; }
    // The lines the label shows at its current width.
    int shownLineCount() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();

    int m_maximumLines;
    QString m_fullText;
};

// Lets a window without a title bar be moved by dragging its background.
void moveByBackground(QWidget* window);

}  // namespace orvane
