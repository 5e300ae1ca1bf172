// The printed phone list: how a book is laid out on pages.

#include "app/BookPrinter.h"
#include "model/Book.h"
#include "model/Kinds.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QRandomGenerator>
#include <QTest>

using namespace quorix;

namespace {

// A book of names of every shape: none to nine subentries, short and long
// texts that wrap, names up to the phone's 123 characters.
void fill(Book& book, int names) {
    QRandomGenerator random(7110);
    for (int i = 0; i < names; ++i) {
        Name& n = book.insertName(book.entryCount(),
                                  QStringLiteral("Name %1 ").arg(i) +
                                      QString(random.bounded(i % 7 == 0 ? 110 : 10), u'x'));
        const int subs = random.bounded(10);
        for (int s = 0; s < subs; ++s) {
            const int kind = KindGeneral + random.bounded(KindCallerGroup - KindGeneral + 1);
            n.subs.push_back({isNumberKind(kind)
                                  ? QStringLiteral("+49301234%1").arg(s)
                                  : QStringLiteral("word ").repeated(1 + random.bounded(12)),
                              kind});
        }
    }
}

} // namespace

class TestPrint : public QObject {
    Q_OBJECT
private slots:
    void namesAreNeverSplit_data() {
        QTest::addColumn<int>("names");
        QTest::addColumn<qreal>("pageLines"); // the body's height in lines of text
        QTest::addColumn<qreal>("widthChars");
        // Each page holds the tallest name (nine subentries, texts wrapped).
        QTest::newRow("small pages") << 400 << 32.0 << 40.0;
        QTest::newRow("narrow pages, much wrapping") << 200 << 60.0 << 32.0;
        QTest::newRow("A4-like pages") << 1000 << 60.0 << 90.0;
        QTest::newRow("one name") << 1 << 14.0 << 40.0;
        QTest::newRow("no names") << 0 << 14.0 << 40.0;
    }
    void namesAreNeverSplit() {
        QFETCH(int, names);
        QFETCH(qreal, pageLines);
        QFETCH(qreal, widthChars);
        Book book;
        fill(book, names);
        QImage device(10, 10, QImage::Format_RGB32);
        const QFont font = QApplication::font();
        const QFontMetricsF fm(font, &device);
        const QSizeF body(widthChars * fm.averageCharWidth(), pageLines * fm.height());

        const QList<BookPrinter::Page> pages = BookPrinter::layOut(book, font, body, &device);
        int next = 0;
        for (const BookPrinter::Page& page : pages) {
            QVERIFY(!page.isEmpty());
            qreal bottom = 0;
            for (const BookPrinter::Block& block : page) {
                // Every name once, in book order, with all its lines, inside the page.
                QCOMPARE(block.name, next);
                QCOMPARE(block.lines.size(), qsizetype(1 + book.name(next).subs.size()));
                QCOMPARE(block.lines.first().text, book.name(next).text);
                QVERIFY(block.top >= bottom);
                QVERIFY2(block.top + block.height() <= body.height(),
                         qPrintable(QStringLiteral("name %1").arg(next)));
                bottom = block.top + block.height();
                ++next;
            }
        }
        QCOMPARE(next, names);
        if (names > 100) // the book needs more than one page
            QVERIFY(pages.size() > 1);
    }

    // A name taller than a page cannot stay whole: it goes on over the next
    // page, nothing of it lost, and the names around it stay whole.
    void aNameTallerThanAPageGoesOn() {
        Book book;
        book.insertName(0, QStringLiteral("Before"));
        Name& tall = book.insertName(1, QStringLiteral("Tall"));
        for (int s = 0; s < 9; ++s)
            tall.subs.push_back({QStringLiteral("0301234%1").arg(s), KindMobile});
        book.insertName(2, QStringLiteral("After"));
        QImage device(10, 10, QImage::Format_RGB32);
        const QFont font = QApplication::font();
        const QFontMetricsF fm(font, &device);
        const QSizeF body(40 * fm.averageCharWidth(), 4.5 * fm.height());

        const QList<BookPrinter::Page> pages = BookPrinter::layOut(book, font, body, &device);
        QStringList got;
        for (const BookPrinter::Page& page : pages) {
            QStringList onPage;
            for (const BookPrinter::Block& block : page) {
                QVERIFY(block.top + block.height() <= body.height());
                for (const BookPrinter::Line& line : block.lines)
                    onPage << line.text;
            }
            got << onPage.join(u',');
        }
        QCOMPARE(got,
                 QStringList({"Before", "Tall,03012340,03012341,03012342",
                              "03012343,03012344,03012345,03012346", "03012347,03012348,After"}));
    }
};

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
