#include "app/Icons.h"

#include "model/Kinds.h"

#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>
#include <array>

namespace quorix::icons {

namespace {

// Pixmaps at the sizes the window asks for at 96 dpi and on high-resolution
// screens, rendered once from the vector drawing.
QIcon fromSvg(const QString& resource, int designSize, const QColor& plate = {}) {
    QSvgRenderer renderer(resource);
    QIcon icon;
    for (const int factor : {2, 3, 4, 6, 8}) {
        const int side = designSize * factor / 2;
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        if (plate.isValid()) {
            p.setPen(Qt::NoPen);
            p.setBrush(plate);
            p.drawRoundedRect(QRectF(0, 0, side, side), side / 6.0, side / 6.0);
        }
        renderer.render(&p, QRectF(0, 0, side, side));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

const char* const kindFiles[KindCount] = {
    "kind00-book-closed", "kind01-book-open", "kind02-general", "kind03-mobile",
    "kind04-home",        "kind05-office",    "kind06-fax",     "kind07-email",
    "kind08-postal",      "kind09-note",      "kind10-group",   "kind11-unknown",
};

const char* const glyphFiles[] = {"btn-save", "btn-load",  "btn-sort", "btn-clear",
                                  "btn-read", "btn-write", "btn-stop", "btn-exit"};

QString resourcePath(const char* name) {
    return QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg");
}

} // namespace

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Base).lightness() < 128;
}

QIcon kind(int k, const QPalette& palette) {
    if (k < 0 || k >= KindCount)
        k = KindUnknown;
    static const std::array<QIcon, KindCount> light = [] {
        std::array<QIcon, KindCount> icons;
        for (int i = 0; i < KindCount; ++i)
            icons[static_cast<size_t>(i)] = fromSvg(resourcePath(kindFiles[i]), 16);
        return icons;
    }();
    if (!isDark(palette))
        return light[static_cast<size_t>(k)];

    // One set per plate colour: a palette may change while the program runs.
    static QHash<QRgb, std::array<QIcon, KindCount>> darkSets;
    const QColor text = palette.color(QPalette::Text);
    const QColor base = palette.color(QPalette::Base);
    // Mostly the text colour, a little of the base, so the plate is light but
    // not glaring.
    const QColor plate = QColor::fromRgbF(text.redF() * 0.85f + base.redF() * 0.15f,
                                          text.greenF() * 0.85f + base.greenF() * 0.15f,
                                          text.blueF() * 0.85f + base.blueF() * 0.15f);
    auto it = darkSets.find(plate.rgb());
    if (it == darkSets.end()) {
        std::array<QIcon, KindCount> icons;
        for (int i = 0; i < KindCount; ++i)
            icons[static_cast<size_t>(i)] = fromSvg(resourcePath(kindFiles[i]), 16, plate);
        it = darkSets.insert(plate.rgb(), icons);
    }
    return (*it)[static_cast<size_t>(k)];
}

QIcon kind(int k) {
    return kind(k, QGuiApplication::palette());
}

QIcon glyph(Glyph g) {
    static const std::array<QIcon, std::size(glyphFiles)> all = [] {
        std::array<QIcon, std::size(glyphFiles)> icons;
        for (size_t i = 0; i < icons.size(); ++i)
            icons[i] = fromSvg(resourcePath(glyphFiles[i]), 24);
        return icons;
    }();
    return all[static_cast<size_t>(g)];
}

void paintPhone(QPainter& painter, const QRectF& target) {
    static QSvgRenderer renderer(resourcePath("phone"));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, target);
    painter.restore();
}

QIcon appIcon() {
    return kind(KindMobile);
}

} // namespace quorix::icons
