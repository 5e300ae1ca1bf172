#pragma once

#include <QFont>
#include <QList>
#include <QSizeF>
#include <QString>

class QPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace quorix {

class Book;

// The book printed as a phone list: each name in bold, under it its numbers
// with their kinds, then its texts and its caller group. A name is never split
// across pages (only one taller than a whole page goes on over the next); every
// page starts with the book's file name and ends with its number.
class BookPrinter {
public:
    // One printed line: a name, or a subentry's kind and text (which may wrap
    // within its column).
    struct Line {
        QString kind; // empty for the name
        QString text;
        qreal height = 0;
    };
    // The lines of one name, placed on a page.
    struct Block {
        int name = 0; // row in the book
        qreal top = 0;
        QList<Line> lines;
        qreal height() const;
    };
    using Page = QList<Block>;

    // Lays the book out on pages whose printable body (without the page
    // number's line) is body, measured in device's units (the screen's when
    // null).
    static QList<Page> layOut(const Book& book, const QFont& font, const QSizeF& body,
                              QPaintDevice* device = nullptr);

    // Prints the book on printer; every page is headed by the book's file name.
    static void print(QPrinter& printer, const Book& book);

    // File > Print: the print dialog, then the pages.
    static void printWithDialog(QWidget* parent, const Book& book);
    // File > Print preview: the pages in a preview window that can print them.
    static void preview(QWidget* parent, const Book& book);
};

} // namespace quorix
