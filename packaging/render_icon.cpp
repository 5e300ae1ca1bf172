// quorix-render-icon: draws the application icon's SVG into square PNG files for
// the hicolor icon theme. Used at build time only; not installed.
//
//   quorix-render-icon ICON.svg SIZE OUTPUT.png
//
// The drawing keeps its proportions and is centred on a transparent square.

#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "quorix-render-icon: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4)
        return fail(QStringLiteral("usage: quorix-render-icon ICON.svg SIZE OUTPUT.png"));

    const QString input = args.at(1);
    bool ok = false;
    const int side = args.at(2).toInt(&ok);
    const QString output = args.at(3);
    if (!ok || side < 1 || side > 4096)
        return fail(QStringLiteral("\"%1\" is not a size from 1 to 4096").arg(args.at(2)));

    QSvgRenderer renderer(input);
    if (!renderer.isValid())
        return fail(QStringLiteral("%1 is not a readable SVG drawing").arg(input));

    QSizeF drawing = renderer.viewBoxF().size();
    if (drawing.isEmpty())
        drawing = renderer.defaultSize();
    if (drawing.isEmpty())
        return fail(QStringLiteral("%1 has no size").arg(input));
    drawing.scale(side, side, Qt::KeepAspectRatio);
    const QRectF target((side - drawing.width()) / 2, (side - drawing.height()) / 2,
                        drawing.width(), drawing.height());

    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, target);
    painter.end();

    if (!image.save(output, "PNG"))
        return fail(QStringLiteral("could not write %1").arg(output));
    return 0;
}
