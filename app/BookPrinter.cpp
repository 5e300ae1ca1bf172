#include "app/BookPrinter.h"

#include "model/Book.h"
#include "model/Kinds.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <algorithm>

namespace quorix {

namespace {

// The measures every page shares: fonts, the subentries' indent and the width
// of the kind column.
struct Measures {
    QFont font;
    QFont bold;
    QPaintDevice* device;
    qreal width;
    qreal indent;
    qreal kindWidth;
    qreal gap; // between two names

    Measures(const QFont& f, qreal pageWidth, QPaintDevice* d)
        : font(f), bold(f), device(d), width(pageWidth) {
        bold.setBold(true);
        const QFontMetricsF fm(font, device);
        indent = 2 * fm.averageCharWidth();
        kindWidth = 0;
        for (int kind = KindGeneral; kind <= KindUnknown; ++kind)
            kindWidth = std::max(kindWidth, fm.horizontalAdvance(kindLabel(kind)));
        kindWidth += 2 * fm.averageCharWidth();
        gap = fm.height() / 2;
    }

    static QString kindLabel(int kind) {
        return kind >= KindGeneral && kind <= KindUnknown
                   ? QLatin1String(kindName(kind)) + u':'
                   : QStringLiteral("Unknown (%1):").arg(kind);
    }

    QRectF nameRect(qreal top, qreal height) const { return {0, top, width, height}; }
    QRectF kindRect(qreal top, qreal height) const { return {indent, top, kindWidth, height}; }
    QRectF textRect(qreal top, qreal height) const {
        const qreal left = indent + kindWidth;
        return {left, top, std::max(width - left, 1.0), height};
    }

    // The height a text takes when it wraps within its column.
    qreal heightOf(const BookPrinter::Line& line) const {
        const bool name = line.kind.isEmpty();
        const QFontMetricsF fm(name ? bold : font, device);
        const QRectF column = name ? nameRect(0, 1e9) : textRect(0, 1e9);
        const qreal wrapped =
            fm.boundingRect(column, Qt::TextWordWrap | Qt::TextWrapAnywhere, line.text).height();
        return std::max(wrapped, fm.height());
    }

    // A name's lines: the name, its numbers, then its texts, its group and
    // whatever else it holds, each class in the order the name keeps them.
    QList<BookPrinter::Line> linesOf(const Name& name) const {
        QList<BookPrinter::Line> lines;
        lines.append({QString(), name.text, 0});
        std::vector<const Subentry*> subs;
        for (const Subentry& s : name.subs)
            subs.push_back(&s);
        std::stable_sort(subs.begin(), subs.end(), [](const Subentry* a, const Subentry* b) {
            return sortClassOf(a->kind) < sortClassOf(b->kind);
        });
        for (const Subentry* s : subs)
            lines.append({kindLabel(s->kind), s->text, 0});
        for (BookPrinter::Line& line : lines)
            line.height = heightOf(line);
        return lines;
    }
};

// Header and footer lines of a page, in device units.
qreal marginLine(const QFont& font, QPaintDevice* device) {
    return QFontMetricsF(font, device).height() * 2;
}

QString titleOf(const Book& book) {
    return book.bookFileName.isEmpty()
               ? QStringLiteral("Quorix - the new book")
               : QStringLiteral("Quorix - ") + QFileInfo(book.bookFileName).fileName();
}

} // namespace

qreal BookPrinter::Block::height() const {
    qreal h = 0;
    for (const Line& line : lines)
        h += line.height;
    return h;
}

QList<BookPrinter::Page> BookPrinter::layOut(const Book& book, const QFont& font,
                                             const QSizeF& body, QPaintDevice* device) {
    const Measures m(font, body.width(), device);
    QList<Page> pages;
    Page page;
    qreal y = 0;
    const auto nextPage = [&] {
        if (!page.isEmpty())
            pages.append(page);
        page.clear();
        y = 0;
    };
    for (int row = 0; row < book.entryCount(); ++row) {
        Block block{row, 0, m.linesOf(book.name(row))};
        if (y > 0 && y + block.height() > body.height())
            nextPage();
        // Only a name taller than a whole page goes on over the next ones, at
        // a line's end.
        while (block.height() > body.height() && block.lines.size() > 1) {
            Block part{row, 0, {}};
            qreal h = 0;
            while (!block.lines.isEmpty() &&
                   (part.lines.isEmpty() || h + block.lines.first().height <= body.height())) {
                h += block.lines.first().height;
                part.lines.append(block.lines.takeFirst());
            }
            page.append(part);
            nextPage();
            if (block.lines.isEmpty())
                break;
        }
        if (block.lines.isEmpty())
            continue;
        block.top = y;
        y += block.height() + m.gap;
        page.append(block);
    }
    nextPage();
    return pages;
}

void BookPrinter::print(QPrinter& printer, const Book& book) {
    const QString title = titleOf(book);
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    const QFont font(QApplication::font(), &printer);
    const qreal margin = marginLine(font, &printer);
    const QRectF area(0, 0, printer.width(), printer.height());
    const QSizeF body(area.width(), area.height() - 2 * margin);
    const QList<Page> pages = layOut(book, font, body, &printer);
    const Measures m(font, body.width(), &printer);
    const int count = std::max(1, int(pages.size()));
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            printer.newPage();
        painter.setFont(m.bold);
        painter.drawText(QRectF(0, 0, area.width(), margin / 2), Qt::AlignLeft | Qt::AlignTop,
                         title);
        painter.setFont(font);
        painter.drawText(QRectF(0, area.height() - margin / 2, area.width(), margin / 2),
                         Qt::AlignHCenter | Qt::AlignBottom,
                         QStringLiteral("Page %1 of %2").arg(i + 1).arg(count));
        if (pages.isEmpty()) {
            painter.drawText(QRectF(0, margin, area.width(), margin), Qt::AlignLeft,
                             QStringLiteral("The book holds no names."));
            break;
        }
        for (const Block& block : pages[i]) {
            qreal y = margin + block.top;
            for (const Line& line : block.lines) {
                const int flags = Qt::TextWordWrap | Qt::TextWrapAnywhere | Qt::AlignLeft;
                if (line.kind.isEmpty()) {
                    painter.setFont(m.bold);
                    painter.drawText(m.nameRect(y, line.height), flags, line.text);
                    painter.setFont(font);
                } else {
                    painter.drawText(m.kindRect(y, line.height), Qt::AlignLeft, line.kind);
                    painter.drawText(m.textRect(y, line.height), flags, line.text);
                }
                y += line.height;
            }
        }
    }
    painter.end();
}

void BookPrinter::printWithDialog(QWidget* parent, const Book& book) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(titleOf(book));
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Print"));
    if (dialog.exec() == QDialog::Accepted)
        print(printer, book);
}

void BookPrinter::preview(QWidget* parent, const Book& book) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(titleOf(book));
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Print preview"));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&](QPrinter* p) { print(*p, book); });
    dialog.exec();
}

} // namespace quorix
