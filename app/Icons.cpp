#include "app/Icons.h"

#include "model/Kinds.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSvgRenderer>
#include <array>

namespace quorix::icons {

namespace {

// How a picture is drawn for the palette it stands on.
enum class Shade { AsDrawn, LightenDark };

// On a dark base the dark parts of a picture (outlines, telephones, the
// mobile) would vanish: their lightness is mirrored, so nothing is darker than
// the middle grey, while hues, light parts and the shape itself stay. No plate
// is drawn behind the picture.
void lightenDark(QImage& image) {
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int alpha = qAlpha(line[x]);
            if (alpha == 0)
                continue;
            QColor c = QColor::fromRgba(line[x]);
            float h, s, l, a;
            c.getHslF(&h, &s, &l, &a);
            if (l < 0.5f)
                c.setHslF(h, s, 1.0f - l, a);
            line[x] = c.rgba();
        }
    }
}

// Pixmaps at the sizes the window asks for at 96 dpi and on high-resolution
// screens, rendered once from the vector drawing.
QIcon fromSvg(const QString& resource, int designSize, Shade shade = Shade::AsDrawn) {
    QSvgRenderer renderer(resource);
    QIcon icon;
    for (const int factor : {2, 3, 4, 6, 8}) {
        const int side = designSize * factor / 2;
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p, QRectF(0, 0, side, side));
        p.end();
        if (shade == Shade::LightenDark)
            lightenDark(image);
        icon.addPixmap(QPixmap::fromImage(image));
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

    static const std::array<QIcon, KindCount> dark = [] {
        std::array<QIcon, KindCount> icons;
        for (int i = 0; i < KindCount; ++i)
            icons[static_cast<size_t>(i)] =
                fromSvg(resourcePath(kindFiles[i]), 16, Shade::LightenDark);
        return icons;
    }();
    return dark[static_cast<size_t>(k)];
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
