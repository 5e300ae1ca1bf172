#include "TestModel.h"

#include "ModelTestSupport.h"
#include "model/NameOrder.h"

#include <QTest>

using namespace quorix;
using namespace quorix::test;

namespace {
const QLocale English(QLocale::English, QLocale::UnitedStates);
} // namespace

void TestModel::nameOrder_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("sorted");
    // Hyphens and apostrophes count only between otherwise equal names; case
    // counts after the letters (small first); a space sorts before letters.
    const QByteArray mixed = "cop|zoe|Coop|co'op|9|O'Brien|ANNA|coop|Bob|a b|Co-op|anna|M\xfcller|"
                             "co-op|Obrien|10|Muller|ab|Anna|bob|Mzz";
    const QByteArray mixedSorted = "10|9|a b|ab|anna|Anna|ANNA|bob|Bob|co-op|co'op|coop|Co-op|"
                                   "Coop|cop|Muller|M\xfcller|Mzz|Obrien|O'Brien|zoe";
    QTest::newRow("English") << English << mixed << mixedSorted;
    // A C locale names no language: it gets the neutral word sort, not the
    // byte order that puts "Zoe" before "anna".
    QTest::newRow("C locale") << QLocale::c() << mixed << mixedSorted;
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany)
                            << QByteArray("M\xfcller|Muller|Mueller|\xc4pfel|Zebra|apfel")
                            << QByteArray("apfel|\xc4pfel|Mueller|Muller|M\xfcller|Zebra");
    // The locale decides: Swedish puts A with diaeresis after Z.
    QTest::newRow("Swedish") << QLocale(QLocale::Swedish, QLocale::Sweden)
                             << QByteArray("\xc4pple|Zebra|Apa")
                             << QByteArray("Apa|Zebra|\xc4pple");
}

void TestModel::nameOrder() {
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, sorted);
    Book book;
    for (const QByteArray& n : input.split('|'))
        book.insertName(book.entryCount(), n);
    book.permuteNames(NameOrder(locale).sortedRows(book));
    QCOMPARE(names(book).replace(',', '|'), sorted);

    // compare() agrees with the sort on every neighbour pair.
    const NameOrder order(locale);
    const QList<QByteArray> list = sorted.split('|');
    for (qsizetype i = 1; i < list.size(); ++i)
        QVERIFY2(order.compare(list[i - 1], list[i]) < 0, list[i - 1] + " < " + list[i]);
    QCOMPARE(order.compare("co-op", "co-op"), 0);
}
