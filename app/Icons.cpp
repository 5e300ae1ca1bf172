#include "app/Icons.h"

#include "model/Kinds.h"

#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>
#include <array>

namespace quorix::icons {

namespace {

// Pixmaps at the sizes the window asks for at 96 dpi and on high-resolution
// screens, rendered once from the vector drawing.
QIcon fromSvg(const QString& resource, int designSize) {
    QSvgRenderer renderer(resource);
    QIcon icon;
    for (const int factor : {2, 3, 4, 6, 8}) {
        const int side = designSize * factor / 2;
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
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

QIcon kind(int k) {
    static const std::array<QIcon, KindCount> all = [] {
        std::array<QIcon, KindCount> icons;
        for (int i = 0; i < KindCount; ++i)
            icons[static_cast<size_t>(i)] = fromSvg(resourcePath(kindFiles[i]), 16);
        return icons;
    }();
    if (k < 0 || k >= KindCount)
        k = KindUnknown;
    return all[static_cast<size_t>(k)];
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
