// Finding names and subentries, and the texts the phone would cut.
#include "ModelTestSupport.h"
#include "TestModel.h"
#include "model/BookSearch.h"
#include "model/PhoneLimits.h"

#include <QTest>

using namespace quorix;
using namespace quorix::test;

namespace {
QList<BookSearch::Hit> hits(const Book& book, const QString& needle) {
    const auto found = BookSearch::findAll(book, needle);
    return QList<BookSearch::Hit>(found.begin(), found.end());
}
} // namespace

void TestModel::findIgnoresCaseAndAccents() {
    Book book;
    // Texts come in as UTF-8.
    fill(book, {"Müller", "Émilie|9:Café owner", "Muller|2:0171"});
    using H = BookSearch::Hit;
    QCOMPARE(hits(book, QStringLiteral("mull")), (QList<H>{{0, -1}, {2, -1}}));
    QCOMPARE(hits(book, QStringLiteral("M\u00dcLL")), (QList<H>{{0, -1}, {2, -1}}));
    QCOMPARE(hits(book, QStringLiteral("emil")), (QList<H>{{1, -1}}));
    QCOMPARE(hits(book, QStringLiteral("CAFE")), (QList<H>{{1, 0}}));
    QCOMPARE(hits(book, QStringLiteral("017")), (QList<H>{{2, 0}}));
    QVERIFY(hits(book, QStringLiteral("x")).isEmpty());
    QVERIFY(hits(book, QString()).isEmpty());
    QCOMPARE(BookSearch::fold(QStringLiteral("\u00c5ngstr\u00f6m")), QStringLiteral("angstrom"));
}

void TestModel::findWalksTreeOrder() {
    Book book;
    fill(book, {"Anna|2:1|9:Anna's note", "Bob|9:call anna", "Hanna"});
    using H = BookSearch::Hit;
    // A name, then its subentries, then the next name.
    QCOMPARE(hits(book, QStringLiteral("anna")), (QList<H>{{0, -1}, {0, 1}, {1, 0}, {2, -1}}));
    QVERIFY((H{0, 1}) < (H{1, -1}));
    QVERIFY((H{1, -1}) < (H{1, 0}));
}

void TestModel::textsLongerThanThePhoneStores() {
    Book book;
    fill(book, {"Anna|9:" + QByteArray(60, 'n') + "|2:" + QByteArray(43, '1'),
                QByteArray(124, 'x') + "|9:" + QByteArray(105, 'n') + "|3:" + QByteArray(44, '2') +
                    "|10:VIP"});
    QVERIFY(textCuts(book.name(0)).empty());
    QCOMPARE(cutWarning(book.name(0)), QString());
    QCOMPARE(cutWarning(book.name(1)),
             QStringLiteral("Name will be cut to 123 characters, Note will be cut to 60 "
                            "characters, Mobile will be cut to 43 characters"));

    // The item model says so as the name's tool tip; a name that fits has none.
    BookModel model;
    fill(model.book(), {"Short|9:" + QByteArray(61, 'n')});
    const QModelIndex name = model.indexOf(model.book().name(0));
    QCOMPARE(name.data(Qt::ToolTipRole).toString(),
             QStringLiteral("Note will be cut to 60 characters"));
    model.setSubentryText(model.book().name(0), 0, "short");
    QVERIFY(!name.data(Qt::ToolTipRole).isValid());
    QCOMPARE(phoneTextLimit(KindNameExpanded), 123);
    QCOMPARE(phoneTextLimit(KindFax), 43);
    QCOMPARE(phoneTextLimit(KindEMail), 60);
    QCOMPARE(phoneTextLimit(KindCallerGroup), 0);
}
