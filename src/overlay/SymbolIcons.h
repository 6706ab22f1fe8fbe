// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <optional>

namespace orvane {

// Orvane's symbols by name ("play.fill", "eye.slash", ...), drawn from the bundled Lucide icons
// in one colour at a point size. A name with no icon yields nothing, as a missing symbol does.
class SymbolIcons {
public:
    // The bundled icon's resource path for a symbol name.
    static std::optional<QString> resourceFor(const QString& symbol);
    // The symbol tinted, at the point size (rendered for the screen's pixel ratio).
    static std::optional<QIcon> icon(const QString& symbol, double pointSize, const QColor& tint,
                                     double devicePixelRatio = 2.0);
    static std::optional<QPixmap> pixmap(const QString& symbol, double pointSize,
                                         const QColor& tint, double devicePixelRatio = 2.0);
};

// Registers the bundled Ubuntu faces for this process; safe to call more than once. Returns how
// many faces were registered.
int registerBundledFonts();

}  // namespace orvane
