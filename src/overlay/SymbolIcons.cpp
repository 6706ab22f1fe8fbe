// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "overlay/SymbolIcons.h"

#include <QFile>
#include <QFontDatabase>
#include <QHash>
#include <QPainter>
#include <QSvgRenderer>

namespace orvane {

namespace {

// Symbol names used across Orvane's windows and the Lucide icon drawn for each.
const QHash<QString, QString>& symbolTable() {
    static const QHash<QString, QString> table = {
        {"chevron.left", "chevron-left"},
        {"chevron.right", "chevron-right"},
        {"paperplane.fill", "send"},
        {"play.fill", "play"},
        {"stop.fill", "square"},
        {"eye", "eye"},
        {"eye.slash", "eye-off"},
        {"gearshape", "settings"},
        {"globe", "globe"},
        {"bubble.left", "message-circle"},
        {"ellipsis.bubble", "message-circle-more"},
        {"waveform", "audio-waveform"},
        {"xmark", "x"},
    };
    return table;
}

}  // namespace

std::optional<QString> SymbolIcons::resourceFor(const QString& symbol) {
    const auto it = symbolTable().find(symbol);
    if (it == symbolTable().end()) return std::nullopt;
    const auto path = QStringLiteral(":/icons/%1.svg").arg(it.value());
    if (!QFile::exists(path)) return std::nullopt;
    return path;
}

std::optional<QPixmap> SymbolIcons::pixmap(const QString& symbol, double pointSize,
                                           const QColor& tint, double devicePixelRatio) {
    const auto path = resourceFor(symbol);
    if (!path) return std::nullopt;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    // Lucide icons stroke with currentColor; colouring the source keeps anti-aliasing intact.
    auto svg = file.readAll();
    svg.replace("currentColor", tint.name(QColor::HexRgb).toUtf8());
    QSvgRenderer renderer(svg);
    const int side = static_cast<int>(std::ceil(pointSize * devicePixelRatio));
    QPixmap image(side, side);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setOpacity(tint.alphaF());
        renderer.render(&painter);
    }
    image.setDevicePixelRatio(devicePixelRatio);
    return image;
}

std::optional<QIcon> SymbolIcons::icon(const QString& symbol, double pointSize, const QColor& tint,
                                       double devicePixelRatio) {
    auto image = pixmap(symbol, pointSize, tint, devicePixelRatio);
    if (!image) return std::nullopt;
    return QIcon(*image);
}

int registerBundledFonts() {
    static const int registered = [] {
        int count = 0;
        for (const char* face : {"Ubuntu-R", "Ubuntu-M", "Ubuntu-B", "Ubuntu-L", "UbuntuMono-R"}) {
            if (QFontDatabase::addApplicationFont(QStringLiteral(":/fonts/%1.ttf").arg(face)) >=
                0) {
                ++count;
            }
        }
        return count;
    }();
    return registered;
}

}  // namespace orvane
