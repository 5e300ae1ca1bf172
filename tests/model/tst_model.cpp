#include "TestModel.h"

#include "ModelTestSupport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace quorix;
using namespace quorix::test;

void TestModel::cleanNumber_data() {
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("empty") << QByteArray() << QByteArray("+49");
    QTest::newRow("letters only") << QByteArray("abc") << QByteArray("+49");
    QTest::newRow("brackets and blanks") << QByteArray("+4 (8) 1") << QByteArray("+481");
    QTest::newRow("all kept") << QByteArray("*31#p12w3") << QByteArray("*31#p12w3");
    QTest::newRow("upper P and W dropped") << QByteArray("1P2W3") << QByteArray("123");
    QTest::newRow("plus anywhere, repeated") << QByteArray("1+ +2") << QByteArray("1++2");
    QTest::newRow("dashes and parentheses") << QByteArray("(0) 1-2") << QByteArray("012");
    QTest::newRow("letters beyond ASCII") << QByteArray("ä1ü€😀2") << QByteArray("12");
    // Only ASCII digits dial: digits of other scripts and full-width ones go.
    QTest::newRow("other digits") << QByteArray("٣1２") << QByteArray("1");
}
void TestModel::cleanNumber() {
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    QCOMPARE(quorix::cleanNumber(QString::fromUtf8(in)), QString::fromUtf8(out));
}

void TestModel::importedNumber_data() {
    // "-" for a text that is no number.
    QTest::addColumn<QByteArray>("in");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("empty") << QByteArray() << QByteArray("-");
    QTest::newRow("no digit") << QByteArray("BusinessPhone") << QByteArray("-");
    QTest::newRow("pager") << QByteArray("pager") << QByteArray("-");
    QTest::newRow("chinese") << QByteArray("电话号码") << QByteArray("-");
    QTest::newRow("punctuation") << QByteArray("+ ( ) -") << QByteArray("-");
    QTest::newRow("plain") << QByteArray("+49 (30) 123-45.6/7") << QByteArray("+49301234567");
    QTest::newRow("tel uri ext") << QByteArray("tel:+1-418-656-9254;ext=102")
                                 << QByteArray("+14186569254p102");
    QTest::newRow("tel uri context")
        << QByteArray("tel:5550100;phone-context=example.com") << QByteArray("5550100");
    QTest::newRow("ext.") << QByteArray("+1 418 656 9254 ext. 102")
                          << QByteArray("+14186569254p102");
    QTest::newRow("x") << QByteArray("555-0100 x123") << QByteArray("5550100p123");
    QTest::newRow("glued x") << QByteArray("555-0100x123") << QByteArray("5550100p123");
    QTest::newRow("Durchwahl") << QByteArray("030 1234 Durchwahl 56") << QByteArray("0301234p56");
    QTest::newRow("poste") << QByteArray("01 23 45 67 89 poste 12") << QByteArray("0123456789p12");
    QTest::newRow("ext without digits") << QByteArray("555 ext") << QByteArray("-");
    QTest::newRow("only an extension") << QByteArray("x123") << QByteArray("-");
    QTest::newRow("two extensions") << QByteArray("1 x 2 x 3") << QByteArray("-");
    QTest::newRow("pause and wait") << QByteArray("*31#p12w3") << QByteArray("*31#p12w3");
    QTest::newRow("upper pause") << QByteArray("12 P 3") << QByteArray("12p3");
    QTest::newRow("word with p and w") << QByteArray("1 power 2") << QByteArray("-");
    QTest::newRow("word in a number") << QByteArray("1-800-FLOWERS") << QByteArray("-");
    QTest::newRow("remark") << QByteArray("+49 30 1234 (Büro)") << QByteArray("-");
    QTest::newRow("wide digits") << QByteArray("０３０ １２") << QByteArray("03012");
}
void TestModel::importedNumber() {
    QFETCH(QByteArray, in);
    QFETCH(QByteArray, out);
    const std::optional<QString> got = quorix::importedNumber(QString::fromUtf8(in));
    QCOMPARE(got.value_or(QStringLiteral("-")), QString::fromUtf8(out));
}

void TestModel::sortClasses() {
    const int expected[KindCount] = {4, 4, 1, 1, 1, 1, 1, 2, 2, 2, 3, 4};
    for (int kind = 0; kind < KindCount; ++kind)
        QCOMPARE(sortClassOf(kind), expected[kind]);
    QCOMPARE(sortClassOf(-1), 4);
    QCOMPARE(sortClassOf(15), 4);
    QCOMPARE(classLimit(ClassNumber), 5);
    QCOMPARE(classLimit(ClassText), 2);
    QCOMPARE(classLimit(ClassGroup), 2);
    QCOMPARE(classLimit(ClassOther), 2);
}

void TestModel::groupTable() {
    QCOMPARE(groupNames[0], QByteArray("none"));
    QCOMPARE(groupNames[5], QByteArray("Other"));
    QCOMPARE(groupIndex("VIP"), 2);
    QCOMPARE(groupIndex("vip"), -1);
    QCOMPARE(groupIndex("none"), -1); // group 0 never becomes a node
}

void TestModel::findnameIsExactAndSkips() {
    Book book;
    fill(book, {"anna", "Anna", "Bob"});
    QCOMPARE(book.findName("Anna"), 1);
    QCOMPARE(book.findName("Anna", 1), -1);
    QCOMPARE(book.findName("ANNA"), -1);
    fill(book, {"Anna"});
    QCOMPARE(book.findName("Anna", 1), 3);
    QCOMPARE(book.findName(""), -1);
}

void TestModel::newEntryName() {
    Book book;
    QCOMPARE(book.newEntryName(), QByteArray("New Entry 1"));
    fill(book, {"New Entry 1", "New Entry 3", "new entry 2"});
    QCOMPARE(book.newEntryName(), QByteArray("New Entry 2"));
    fill(book, {"New Entry 2"});
    QCOMPARE(book.newEntryName(), QByteArray("New Entry 4"));

    Book other;
    fill(other, {"new entry 1", "New Entry 01", "New Entry 1x", "New Entry 99999999999999999999"});
    QCOMPARE(other.newEntryName(), QByteArray("New Entry 1"));
}

void TestModel::countsAndClassOrder() {
    Book book;
    fill(book, {"Anna|10:Family|9:Note|3:+49|11:?|2:1|7:a@b"});
    Name& anna = book.name(0);
    QCOMPARE(Book::subentryCount(anna, ClassNumber), 2);
    QCOMPARE(Book::subentryCount(anna, ClassText), 2);
    QCOMPARE(Book::subentryCount(anna, ClassGroup), 1);
    QCOMPARE(Book::subentryCount(anna, ClassOther), 1);
    Book::sortByClass(anna);
    // Stable: the Mobile stays before the General, the Note before the E-Mail.
    QCOMPARE(describeBook(book), QByteArray("Anna\n  Mobile: +49\n  General: 1\n  Note: Note\n"
                                            "  E-Mail: a@b\n  Caller group: Family\n"
                                            "  Unknown: ?\n"));
}

void TestModel::addAtTopThenFlipKeepsSourceOrder() {
    Book book;
    for (const char* n : {"A", "B", "C", "D"})
        book.addAtTop(n);
    QCOMPARE(names(book), QByteArray("D,C,B,A"));
    book.flipBook();
    QCOMPARE(names(book), QByteArray("A,B,C,D"));
    QCOMPARE(book.rowOf(&book.name(2)), 2);
    book.flipBook();
    book.flipBook();
    QCOMPARE(names(book), QByteArray("A,B,C,D"));
}

void TestModel::insertBeforeAndRows() {
    Book book;
    fill(book, {"A", "C"});
    Name& b = book.insertName(1, "B");
    QCOMPARE(names(book), QByteArray("A,B,C"));
    QCOMPARE(book.rowOf(&b), 1);
    auto taken = book.takeName(0);
    QCOMPARE(book.rowOf(&b), 0);
    QCOMPARE(book.rowOf(taken.get()), -1);
    Book::insertSubentry(b, 0, "2", KindGeneral);
    Book::insertSubentry(b, 0, "1", KindMobile);
    Book::insertSubentry(b, 99, "3", KindFax);
    QCOMPARE(describeBook(book), QByteArray("B\n  Mobile: 1\n  General: 2\n  Fax: 3\nC\n"));
}

void TestModel::rowsStayRightThroughMixedChanges() {
    // Rows are kept by position keys that only move at the ends; every mix of
    // changes must still give each name its true row.
    Book book;
    auto check = [&] {
        for (int row = 0; row < book.entryCount(); ++row)
            if (book.rowOf(&book.name(row)) != row)
                return false;
        return true;
    };
    for (const char* n : {"C", "B", "A"})
        book.addAtTop(n);
    book.insertName(book.entryCount(), "E");
    QVERIFY(check());
    book.insertName(3, "D"); // middle
    QVERIFY(check());
    book.addAtTop("0");
    book.removeName(0);
    book.removeName(book.entryCount() - 1);
    QVERIFY(check());
    book.removeName(1); // middle
    book.addAtTop("Z");
    QCOMPARE(names(book), QByteArray("Z,A,C,D"));
    QVERIFY(check());
    book.permuteNames({3, 2, 1, 0});
    QCOMPARE(names(book), QByteArray("D,C,A,Z"));
    QVERIFY(check());
    auto gone = book.takeName(0);
    QCOMPARE(book.rowOf(gone.get()), -1);
    QVERIFY(check());
}

void TestModel::entryNotes() {
    Book book;
    fill(book, {"A", "B"});
    QCOMPARE(book.entryNote(book.name(0)), QByteArray());
    book.setEntryNote(book.name(0), "Read from location 1");
    book.setEntryNote(book.name(1), "Tried to write to loc. 2");
    book.setEntryNote(book.name(1), "Written to location 2");
    QCOMPARE(book.entryNotes.size(), 2);
    QCOMPARE(book.name(1).data, 2);
    QCOMPARE(book.entryNote(book.name(1)), QByteArray("Written to location 2"));
    book.clear();
    QCOMPARE(book.entryNotes.size(), 0);
    QCOMPARE(book.entryCount(), 0);
}

void TestModel::bookModelIsConsistent() {
    BookModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy counts(&model, &BookModel::entryCountChanged);

    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.data(model.rootIndex()).toString(), QStringLiteral("PhoneBook"));
    Name& bob = model.addNameAtTop("Bob");
    Name& anna = model.addNameAtTop("Anna");
    model.addSubentry(anna, "Family", KindCallerGroup);
    model.insertSubentry(anna, 0, "+491230", KindMobile);
    model.addSubentry(bob, "112", KindGeneral);
    QCOMPARE(model.rowCount(model.rootIndex()), 2);
    QCOMPARE(counts.last().first().toInt(), 2);

    const QModelIndex annaIdx = model.indexOf(anna);
    QCOMPARE(annaIdx.row(), 0);
    QCOMPARE(model.rowCount(annaIdx), 2);
    const QModelIndex mobile = model.index(0, 0, annaIdx);
    QCOMPARE(model.data(mobile, BookModel::KindRole).toInt(), int(KindMobile));
    QCOMPARE(model.parent(mobile), annaIdx);
    QCOMPARE(model.nameOf(mobile), &anna);

    // A subentry moved to another name keeps a persistent index on it.
    QPersistentModelIndex moving(mobile);
    model.moveSubentry(anna, 0, bob, 0);
    QVERIFY(moving.isValid());
    QCOMPARE(moving.parent(), model.indexOf(bob));
    QCOMPARE(moving.data().toString(), QStringLiteral("+491230"));

    // Sorting by class keeps the selection on its node.
    model.addSubentry(bob, "Note", KindNote);
    model.insertSubentry(bob, 0, "VIP", KindCallerGroup);
    QPersistentModelIndex group(model.index(0, 0, model.indexOf(bob)));
    model.sortByClass(bob);
    QCOMPARE(group.row(), 3);
    QCOMPARE(describeBook(model.book()),
             QByteArray("Anna\n  Caller group: Family\nBob\n  Mobile: +491230\n  General: 112\n"
                        "  Note: Note\n  Caller group: VIP\n"));

    QVERIFY(!model.book().bookChanged);
    model.removeSubentry(anna, 0);
    QVERIFY(model.book().bookChanged); // deleting nodes marks the book
    model.flipBook();
    QCOMPARE(names(model.book()), QByteArray("Bob,Anna"));
    model.setEntryNote(anna, "Read from location 7");
    QCOMPARE(model.data(model.indexOf(anna), BookModel::NoteRole).toString(),
             QStringLiteral("Read from location 7"));
    model.clearNames();
    QCOMPARE(model.rowCount(model.rootIndex()), 0);
    QCOMPARE(model.rowCount(), 1); // the root stays
    QCOMPARE(counts.last().first().toInt(), 0);
    QVERIFY(model.book().entryNotes.isEmpty());
}

QTEST_GUILESS_MAIN(TestModel)
