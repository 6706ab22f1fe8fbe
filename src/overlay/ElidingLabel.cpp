// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/ElidingLabel.h"

#include <QFontMetrics>

namespace orvane {

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidingLabel::setFullText(const QString& text) {
    m_fullText = text;
    setToolTip(text);
    elide();
}

void ElidingLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidingLabel::elide() {
    setText(fontMetrics().elidedText(m_fullText, Qt::ElideRight, std::max(0, width())));
}

}  // namespace orvane
