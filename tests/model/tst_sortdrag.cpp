#include "TestModel.h"

#include "ModelTestSupport.h"
#include "model/NameOrder.h"

#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace quorix;
using namespace quorix::test;

namespace {
const QLocale English(QLocale::English, QLocale::UnitedStates);

// The index of a node given as (name row, subentry position); row -1 is the
// root, position -1 the name itself, and row -2 no node at all.
QModelIndex node(EditorFixture& f, int row, int pos) {
    if (row == -2)
        return {};
    if (row == -1)
        return f.model.rootIndex();
    return pos < 0 ? f.nameIndex(row) : f.subIndex(row, pos);
}
} // namespace

void TestModel::nameOrder_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("sorted");
    // Hyphens and apostrophes count only between otherwise equal names; case
    // counts after the letters (small first); a space sorts before letters.
    const QByteArray mixed = "cop|zoe|Coop|co'op|9|O'Brien|ANNA|coop|Bob|a b|Co-op|anna|Müller|"
                             "co-op|Obrien|10|Muller|ab|Anna|bob|Mzz";
    const QByteArray mixedSorted = "10|9|a b|ab|anna|Anna|ANNA|bob|Bob|co-op|co'op|coop|Co-op|"
                                   "Coop|cop|Muller|Müller|Mzz|Obrien|O'Brien|zoe";
    QTest::newRow("English") << English << mixed << mixedSorted;
    // A C locale names no language: it gets the neutral word sort, not the
    // byte order that puts "Zoe" before "anna".
    QTest::newRow("C locale") << QLocale::c() << mixed << mixedSorted;
    QTest::newRow("German") << QLocale(QLocale::German, QLocale::Germany)
                            << QByteArray("Müller|Muller|Mueller|Äpfel|Zebra|apfel")
                            << QByteArray("apfel|Äpfel|Mueller|Muller|Müller|Zebra");
    // The locale decides: Swedish puts A with diaeresis after Z.
    QTest::newRow("Swedish") << QLocale(QLocale::Swedish, QLocale::Sweden)
                             << QByteArray("Äpple|Zebra|Apa") << QByteArray("Apa|Zebra|Äpple");
    // Beyond Latin-1: Polish letters sort beside their base letters, not after z.
    QTest::newRow("Polish") << QLocale(QLocale::Polish, QLocale::Poland)
                            << QByteArray("Źrebak|Łódź|Zawada|Lis|Mazur")
                            << QByteArray("Lis|Łódź|Mazur|Zawada|Źrebak");
}

void TestModel::nameOrder() {
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, sorted);
    Book book;
    for (const QByteArray& n : input.split('|'))
        book.insertName(book.entryCount(), QString::fromUtf8(n));
    book.permuteNames(NameOrder(locale).sortedRows(book));
    QCOMPARE(names(book).replace(',', '|'), sorted);

    // compare() agrees with the sort on every neighbour pair.
    const NameOrder order(locale);
    const QList<QByteArray> list = sorted.split('|');
    for (qsizetype i = 1; i < list.size(); ++i)
        QVERIFY2(order.compare(list[i - 1], list[i]) < 0, list[i - 1] + " < " + list[i]);
    QCOMPARE(order.compare("co-op", "co-op"), 0);
}

void TestModel::sortBook() {
    EditorFixture f;
    // An empty book: nothing moves, the book is marked all the same.
    EditOutcome out = f.editor.sortBook(English);
    QVERIFY(out.focusTree);
    QVERIFY(f.book().bookChanged);

    fill(f.book(), {"Bob|2:first", "anna|10:VIP|9:n|3:1|11:?|2:2", "Bob|2:second", "Anna"});
    f.book().bookChanged = false;
    f.book().transferActive = true;
    out = f.editor.sortBook(English);
    QCOMPARE(names(f.book()), QByteArray("Bob,anna,Bob,Anna"));
    QVERIFY(!f.book().bookChanged);
    QVERIFY(!out.focusTree);
    f.book().transferActive = false;

    f.editor.sortBook(English);
    // Equal names keep their order; subentries go numbers, texts, group, rest.
    QCOMPARE(describeBook(f.book()),
             QByteArray("anna\n  Mobile: 1\n  General: 2\n  Note: n\n  Caller group: VIP\n"
                        "  Unknown: ?\nAnna\nBob\n  General: first\nBob\n  General: second\n"));
    QVERIFY(f.book().bookChanged);
}

void TestModel::sortKeepsPersistentIndexes() {
    EditorFixture f;
    fill(f.book(), {"Carl|10:VIP|2:c1", "Anna|9:note|3:a1|2:a2", "Bob"});
    // What a view holds: the selection, the current node, expanded names.
    const QPersistentModelIndex root(f.model.rootIndex());
    const QPersistentModelIndex carl(f.nameIndex(0));
    const QPersistentModelIndex note(f.subIndex(1, 0));
    const QPersistentModelIndex a2(f.subIndex(1, 2));
    const QPersistentModelIndex group(f.subIndex(0, 0));
    f.editor.sortBook(English);
    QCOMPARE(names(f.book()), QByteArray("Anna,Bob,Carl"));
    QCOMPARE(root, QPersistentModelIndex(f.model.rootIndex()));
    QCOMPARE(carl.row(), 2);
    QCOMPARE(carl.data().toString(), QStringLiteral("Carl"));
    QCOMPARE(note.data().toString(), QStringLiteral("note"));
    QCOMPARE(note.row(), 2);
    QCOMPARE(a2.data().toString(), QStringLiteral("a2"));
    QCOMPARE(a2.row(), 1);
    QCOMPARE(a2.parent().data().toString(), QStringLiteral("Anna"));
    QCOMPARE(group.row(), 1);
    QCOMPARE(group.parent(), QModelIndex(carl));

    // An order that is not a permutation of the rows loses nothing.
    f.model.sortBook({0, 0, 1});
    f.model.sortBook({2, 1});
    f.model.sortBook({0, 1, 3});
    QCOMPARE(names(f.book()), QByteArray("Anna,Bob,Carl"));
}

void TestModel::flipTwiceIsIdentity() {
    EditorFixture f;
    QSignalSpy status(&f.model, &BookModel::statusText);
    QSignalSpy expansions(&f.model, &BookModel::expandedChanged);
    QVERIFY(f.editor.flipBook()); // an empty book
    QCOMPARE(status.count(), 2);
    QCOMPARE(status.at(0).at(0).toByteArray(), QByteArray("Flipping book..."));
    QCOMPARE(status.at(1).at(0).toByteArray(), QByteArray("OK."));

    fill(f.book(), {"A|2:1|9:x|3:2", "B", "C|4:3"});
    const QString before = describeBook(f.book());
    f.editor.expandAll();
    f.editor.flipBook();
    QCOMPARE(names(f.book()), QByteArray("C,B,A"));
    QCOMPARE(f.book().name(2).subs.front().text, QByteArray("1")); // subentries keep their order
    // Every name collapsed under the open root; the view is told to open it.
    QCOMPARE(f.model.data(f.nameIndex(0), BookModel::KindRole).toInt(), int(KindNameCollapsed));
    QCOMPARE(f.model.data(f.nameIndex(2), BookModel::KindRole).toInt(), int(KindNameCollapsed));
    QVERIFY(f.book().rootExpanded);
    QCOMPARE(expansions.last().at(0).value<QModelIndex>(), f.model.rootIndex());
    QCOMPARE(expansions.last().at(1).toBool(), true);
    f.editor.flipBook();
    QCOMPARE(describeBook(f.book()), before);
    QCOMPARE(status.last().at(0).toByteArray(), QByteArray("OK."));
    QVERIFY(!f.book().bookChanged);
    f.book().bookChanged = true;
    f.editor.flipBook();
    QVERIFY(f.book().bookChanged); // left as it was either way

    f.book().transferActive = true;
    QVERIFY(!f.editor.flipBook());
    QCOMPARE(names(f.book()), QByteArray("C,B,A"));
}

void TestModel::dragCodes_data() {
    QTest::addColumn<int>("fromRow");
    QTest::addColumn<int>("fromPos");
    QTest::addColumn<int>("toRow");
    QTest::addColumn<int>("toPos");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("accepted");
    // Book: Anna (1, VIP, n), Bob (2).
    QTest::newRow("name on name") << 0 << -1 << 1 << -1 << 11 << false;
    QTest::newRow("name on subentry") << 0 << -1 << 1 << 0 << 12 << false;
    QTest::newRow("root on name") << -1 << -1 << 0 << -1 << 1 << false;
    QTest::newRow("root on root") << -1 << -1 << -1 << -1 << 0 << false;
    QTest::newRow("subentry on root") << 0 << 0 << -1 << -1 << 20 << false;
    QTest::newRow("subentry on name") << 0 << 0 << 1 << -1 << 21 << true;
    QTest::newRow("subentry on own name") << 0 << 2 << 0 << -1 << 21 << true;
    QTest::newRow("subentry on subentry") << 0 << 0 << 1 << 0 << 22 << true;
    QTest::newRow("subentry on a group") << 1 << 0 << 0 << 1 << 22 << true;
    QTest::newRow("group on name") << 0 << 1 << 1 << -1 << 0 << false;
    QTest::newRow("group on subentry") << 0 << 1 << 1 << 0 << 0 << false;
    QTest::newRow("subentry on nothing") << 0 << 0 << -2 << 0 << 0 << false;
    QTest::newRow("nothing on name") << -2 << 0 << 0 << -1 << 0 << false;
}

void TestModel::dragCodes() {
    QFETCH(int, fromRow);
    QFETCH(int, fromPos);
    QFETCH(int, toRow);
    QFETCH(int, toPos);
    QFETCH(int, code);
    QFETCH(bool, accepted);
    EditorFixture f;
    fill(f.book(), {"Anna|2:1|10:VIP|9:n", "Bob|3:2"});
    const QModelIndex dragged = node(f, fromRow, fromPos);
    const QModelIndex target = node(f, toRow, toPos);
    QCOMPARE(BookModel::dragCode(dragged, target), code);
    QCOMPARE(f.model.bookDragOver(dragged, target), accepted);

    // A refused drop changes nothing, not even bookChanged.
    const QString before = describeBook(f.book());
    const QModelIndex moved = f.model.bookEndDrag(dragged, target);
    QCOMPARE(moved.isValid(), accepted);
    QCOMPARE(f.book().bookChanged, accepted);
    if (!accepted)
        QCOMPARE(describeBook(f.book()), before);
}

void TestModel::dropOnName() {
    EditorFixture f;
    fill(f.book(), {"Anna|2:1|9:n", "Bob|3:2", "Carl|4:3"});
    f.editor.expandAll();
    f.model.setExpanded(f.nameIndex(1), false);

    // It becomes the target's FIRST subentry; a collapsed target stays closed.
    QModelIndex moved = f.model.bookEndDrag(f.subIndex(0, 1), f.nameIndex(1));
    QCOMPARE(describeBook(f.book()),
             QByteArray("Anna\n  General: 1\nBob\n  Note: n\n  Mobile: 2\nCarl\n  Home: 3\n"));
    QCOMPARE(moved, f.subIndex(1, 0));
    QVERIFY(f.book().name(0).expanded);
    QVERIFY(!f.book().name(1).expanded);
    QVERIFY(f.book().bookChanged);

    // The only subentry leaves its name collapsed and empty.
    f.model.bookEndDrag(f.subIndex(0, 0), f.nameIndex(2));
    QCOMPARE(describeBook(f.book()),
             QByteArray("Anna\nBob\n  Note: n\n  Mobile: 2\nCarl\n  General: 1\n  Home: 3\n"));
    QCOMPARE(f.model.data(f.nameIndex(0), BookModel::KindRole).toInt(), int(KindNameCollapsed));

    // Onto its own name: to the front.
    f.model.bookEndDrag(f.subIndex(2, 1), f.nameIndex(2));
    QCOMPARE(describeBook(f.book()).mid(describeBook(f.book()).indexOf("Carl")),
             QByteArray("Carl\n  Home: 3\n  General: 1\n"));
}

void TestModel::dropOnSubentry() {
    EditorFixture f;
    fill(f.book(), {"Anna|2:a|3:b|4:c", "Bob|5:x"});
    f.model.setExpanded(f.nameIndex(1), true);

    // Down within a name: directly before the target.
    f.model.bookEndDrag(f.subIndex(0, 0), f.subIndex(0, 2));
    QCOMPARE(describeBook(f.book()),
             QByteArray("Anna\n  Mobile: b\n  General: a\n  Home: c\nBob\n  Office: x\n"));
    // On itself, or on the one directly below: the order stays.
    const QString before = describeBook(f.book());
    f.book().bookChanged = false;
    QVERIFY(f.model.bookEndDrag(f.subIndex(0, 2), f.subIndex(0, 2)).isValid());
    QVERIFY(f.model.bookEndDrag(f.subIndex(0, 0), f.subIndex(0, 1)).isValid());
    QCOMPARE(describeBook(f.book()), before);
    QVERIFY(f.book().bookChanged);

    // Into another name: it joins that name, which opens; the emptied one closes.
    const QModelIndex moved = f.model.bookEndDrag(f.subIndex(1, 0), f.subIndex(0, 1));
    QCOMPARE(describeBook(f.book()),
             QByteArray("Anna\n  Mobile: b\n  Office: x\n  General: a\n  Home: c\nBob\n"));
    QCOMPARE(moved, f.subIndex(0, 1));
    QVERIFY(f.book().name(0).expanded);
    QVERIFY(!f.book().name(1).expanded);
}

void TestModel::treeViewDragGoesThroughModelApi() {
    EditorFixture f;
    fill(f.book(), {"Anna|2:1|10:VIP", "Bob|3:2"});
    const QModelIndex one = f.subIndex(0, 0);
    const QModelIndex group = f.subIndex(0, 1);
    const QModelIndex bob = f.nameIndex(1);

    // Only a subentry other than a group starts a drag; anything but the root
    // takes a drop (the rules then decide).
    QVERIFY(f.model.flags(one) & Qt::ItemIsDragEnabled);
    QVERIFY(!(f.model.flags(group) & Qt::ItemIsDragEnabled));
    QVERIFY(!(f.model.flags(bob) & Qt::ItemIsDragEnabled));
    QVERIFY(!(f.model.flags(f.model.rootIndex()) & Qt::ItemIsDragEnabled));
    QVERIFY(f.model.flags(bob) & Qt::ItemIsDropEnabled);
    QVERIFY(!(f.model.flags(f.model.rootIndex()) & Qt::ItemIsDropEnabled));
    QVERIFY(!f.model.mimeData({group}));
    QVERIFY(!f.model.mimeData({bob}));
    QVERIFY(!f.model.mimeData({one, bob}));

    const std::unique_ptr<QMimeData> data(f.model.mimeData({one}));
    QVERIFY(data);
    QVERIFY(data->hasFormat(QString::fromLatin1(BookModel::DragMimeType)));
    QVERIFY(f.model.canDropMimeData(data.get(), Qt::MoveAction, -1, -1, bob));
    QVERIFY(!f.model.canDropMimeData(data.get(), Qt::MoveAction, 0, 0, bob)); // between items
    QVERIFY(!f.model.canDropMimeData(data.get(), Qt::CopyAction, -1, -1, bob));
    QVERIFY(!f.model.canDropMimeData(data.get(), Qt::MoveAction, -1, -1, f.model.rootIndex()));
    QVERIFY(!f.model.canDropMimeData(data.get(), Qt::MoveAction, -1, -1, QModelIndex()));

    // A payload of the same type from elsewhere is not ours.
    QMimeData foreign;
    foreign.setData(QString::fromLatin1(BookModel::DragMimeType), "1 2 3");
    QVERIFY(!f.model.canDropMimeData(&foreign, Qt::MoveAction, -1, -1, bob));
    BookModel otherModel;
    fill(otherModel.book(), {"Zed|2:9"});
    const std::unique_ptr<QMimeData> otherData(
        otherModel.mimeData({otherModel.indexOf(otherModel.book().name(0), 0)}));
    QVERIFY(!f.model.dropMimeData(otherData.get(), Qt::MoveAction, -1, -1, bob));

    QVERIFY(f.model.dropMimeData(data.get(), Qt::MoveAction, -1, -1, bob));
    QCOMPARE(describeBook(f.book()),
             QByteArray("Anna\n  Caller group: VIP\nBob\n  General: 1\n  Mobile: 2\n"));
    // After a move drop the view removes or clears the source rows itself;
    // the model must not let that undo the move.
    QVERIFY(!f.model.removeRows(0, 1, bob));
    QMap<int, QVariant> cleared = f.model.itemData(f.subIndex(1, 0));
    for (QVariant& value : cleared)
        value = QVariant();
    f.model.setItemData(f.subIndex(1, 0), cleared);
    // The same payload does not drop twice.
    QVERIFY(!f.model.canDropMimeData(data.get(), Qt::MoveAction, -1, -1, f.nameIndex(0)));
    QCOMPARE(describeBook(f.book()),
             QByteArray("Anna\n  Caller group: VIP\nBob\n  General: 1\n  Mobile: 2\n"));
}

void TestModel::dropRespectsLimits() {
    EditorFixture f;
    fill(f.book(), {"Full|2:1|2:2|3:3|3:4|4:5|9:t1|7:t2", "Bob|5:6|8:t3|6:7"});
    const QString before = describeBook(f.book());
    const QModelIndex full = f.nameIndex(0);
    // A sixth number or a third text is refused, on the name and on its subentries.
    for (const int pos : {0, 1}) {
        const QModelIndex dragged = f.subIndex(1, pos);
        QVERIFY(!f.model.bookDragOver(dragged, full));
        QVERIFY(!f.model.bookDragOver(dragged, f.subIndex(0, 2)));
        QVERIFY(!f.model.bookEndDrag(dragged, full).isValid());
    }
    QCOMPARE(describeBook(f.book()), before);
    QVERIFY(!f.book().bookChanged);
    // Within the full name the order may still change; other names still take it.
    QVERIFY(f.model.bookDragOver(f.subIndex(0, 4), f.subIndex(0, 0)));
    QVERIFY(f.model.bookEndDrag(f.subIndex(0, 4), f.subIndex(0, 0)).isValid());
    QCOMPARE(f.book().name(0).subs.front().text, QStringLiteral("5"));
    QVERIFY(f.model.bookEndDrag(f.subIndex(0, 0), f.nameIndex(1)).isValid());
    QCOMPARE(Book::subentryCount(f.book().name(0), ClassNumber), 4);
    // Now it has room for one number again.
    QVERIFY(f.model.bookDragOver(f.subIndex(1, 1), full));
}
