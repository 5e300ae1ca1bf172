#include "TestModel.h"

#include "ModelTestSupport.h"

#include <QSignalSpy>
#include <QTest>

using namespace quorix;
using namespace quorix::test;

namespace {
const QByteArray FullName = "Full|2:1|3:2|4:3|5:4|6:5|7:a@b|8:Street|10:VIP";
} // namespace

void TestModel::newEntry() {
    EditorFixture f;
    QSignalSpy expansions(&f.model, &BookModel::expandedChanged);

    // Nothing selected counts as the root: a new first name, ready for typing.
    EditOutcome out = f.editor.newEntry(QModelIndex());
    QCOMPARE(names(f.book()), QByteArray("New Entry 1"));
    QCOMPARE(out.select, f.nameIndex(0));
    QCOMPARE(out.edit, f.nameIndex(0));
    QVERIFY(f.book().rootExpanded);
    QCOMPARE(expansions.count(), 1);
    QCOMPARE(expansions.first().at(0).value<QModelIndex>(), f.model.rootIndex());
    QVERIFY(f.book().bookChanged); // kept even when the user cancels the editor

    // On a name without subentries: "+49" General as its last subentry.
    out = f.editor.newEntry(f.nameIndex(0));
    QCOMPARE(describeBook(f.book()), QByteArray("New Entry 1\n  General: +49\n"));
    QCOMPARE(out.select, f.subIndex(0, 0));
    QCOMPARE(out.edit, f.subIndex(0, 0));
    QVERIFY(f.book().name(0).expanded);
    QCOMPARE(f.model.data(f.nameIndex(0), BookModel::KindRole).toInt(), int(KindNameExpanded));

    // On an expanded name: appended; on a subentry: in front of it.
    f.model.setSubentryText(f.book().name(0), 0, "1");
    f.editor.newEntry(f.nameIndex(0));
    QCOMPARE(describeBook(f.book()), QByteArray("New Entry 1\n  General: 1\n  General: +49\n"));
    f.model.setSubentryText(f.book().name(0), 1, "3");
    out = f.editor.newEntry(f.subIndex(0, 1));
    QCOMPARE(describeBook(f.book()),
             QByteArray("New Entry 1\n  General: 1\n  General: +49\n  General: 3\n"));
    QCOMPARE(out.select, f.subIndex(0, 1));
    QCOMPARE(out.edit, f.subIndex(0, 1));
    QVERIFY(f.messages.shown.isEmpty());
}

void TestModel::numberPrefix_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("used");
    QTest::newRow("another country") << QStringLiteral("+44") << QStringLiteral("+44");
    QTest::newRow("cleaned like a number") << QStringLiteral("+1 (0)") << QStringLiteral("+10");
    QTest::newRow("nothing usable keeps the default")
        << QStringLiteral("x") << QStringLiteral("+49");
}

void TestModel::numberPrefix() {
    QFETCH(QString, given);
    QFETCH(QString, used);
    EditorFixture f;
    fill(f.book(), {"Anna"});
    f.editor.setNumberPrefix(given);
    QCOMPARE(f.editor.numberPrefix(), used);
    // New entry starts with it, and a number emptied or typed without a digit becomes it.
    f.editor.newEntry(f.nameIndex(0));
    QCOMPARE(describeBook(f.book()), "Anna\n  General: " + used + "\n");
    for (const char* typed : {"0171", "", "-"}) {
        f.editor.commitLabel(f.subIndex(0, 0), QString::fromLatin1(typed));
        QCOMPARE(f.book().name(0).subs[0].text, *typed == '0' ? QStringLiteral("0171") : used);
    }
}

void TestModel::newEntryOnCollapsedNameMakesNameInFront() {
    EditorFixture f;
    fill(f.book(), {"Anna", FullName, "New Entry 1"});
    f.editor.collapseAll();

    // A collapsed full name: no error, a new name in front of it instead.
    const EditOutcome out = f.editor.newEntry(f.nameIndex(1));
    QCOMPARE(names(f.book()), QByteArray("Anna,New Entry 2,Full,New Entry 1"));
    QCOMPARE(out.select, f.nameIndex(1));
    QCOMPARE(out.edit, f.nameIndex(1));
    QCOMPARE(f.model.data(out.select, BookModel::KindRole).toInt(), int(KindNameCollapsed));
    QVERIFY(f.messages.shown.isEmpty());

    // A collapsed name without subentries just gets its number.
    f.editor.newEntry(f.nameIndex(0));
    QCOMPARE(f.book().entryCount(), 4);
    QVERIFY(describeBook(f.book()).startsWith("Anna\n  General: +49\nNew Entry 2\n"));
}

void TestModel::newTextEntry() {
    EditorFixture f;
    fill(f.book(), {"Anna|2:1|7:a@b"});

    // On the root: nothing at all.
    EditOutcome out = f.editor.newTextEntry(f.model.rootIndex());
    QCOMPARE(describeBook(f.book()), QByteArray("Anna\n  General: 1\n  E-Mail: a@b\n"));
    QVERIFY(!out.edit.isValid());
    QVERIFY(!f.book().bookChanged);

    // On a subentry: a Note "Text" in front of it; the editor opens on it but
    // the selection stays where it was.
    out = f.editor.newTextEntry(f.subIndex(0, 0));
    QCOMPARE(describeBook(f.book()),
             QByteArray("Anna\n  Note: Text\n  General: 1\n  E-Mail: a@b\n"));
    QCOMPARE(out.edit, f.subIndex(0, 0));
    QVERIFY(!out.select.isValid());

    // Two texts are the most: the third is refused.
    out = f.editor.newTextEntry(f.nameIndex(0));
    QCOMPARE(f.messages.log(), QByteArray("Error: Too many text-entries!"));
    QCOMPARE(f.messages.shown.first().type, UserMessage::Type::Error);
    QVERIFY(!out.edit.isValid());
    QCOMPARE(f.book().name(0).subs.size(), size_t(3));

    // On a name: appended, and the name opens.
    fill(f.book(), {"Bob"});
    out = f.editor.newTextEntry(f.nameIndex(1));
    QCOMPARE(describeBook(f.book()).mid(describeBook(f.book()).indexOf("Bob")),
             QByteArray("Bob\n  Note: Text\n"));
    QCOMPARE(out.edit, f.subIndex(1, 0));
    QVERIFY(f.book().name(1).expanded);
}

void TestModel::newName() {
    EditorFixture f;
    // An empty book takes it as the first name.
    EditOutcome out = f.editor.newName(f.model.rootIndex());
    QCOMPARE(names(f.book()), QByteArray("New Entry 1"));
    QCOMPARE(out.edit, f.nameIndex(0));
    QVERIFY(f.book().rootExpanded);

    fill(f.book(), {"Bob|3:1"});
    // On a subentry: in front of the subentry's name.
    out = f.editor.newName(f.subIndex(1, 0));
    QCOMPARE(names(f.book()), QByteArray("New Entry 1,New Entry 2,Bob"));
    QCOMPARE(out.select, f.nameIndex(1));
    QCOMPARE(out.edit, f.nameIndex(1));
    // On the root: in front of the first name.
    f.editor.newName(QModelIndex());
    QCOMPARE(names(f.book()), QByteArray("New Entry 3,New Entry 1,New Entry 2,Bob"));
}

void TestModel::fullNameTakesNoMore() {
    EditorFixture f;
    fill(f.book(), {FullName, "Other|9:memo|9:memo 2|2:+4930"});
    f.editor.expandAll();
    const QString before = describeBook(f.book());

    f.editor.newEntry(f.nameIndex(0));   // on the expanded name
    f.editor.newEntry(f.subIndex(0, 7)); // on one of its subentries
    f.editor.newTextEntry(f.subIndex(0, 0));
    f.editor.changeType(f.subIndex(0, 5), KindHome); // a sixth number by type change
    f.editor.changeType(f.subIndex(0, 0), KindNote); // a third text by type change
    f.editor.changeType(f.subIndex(1, 2), KindNote); // the same on a name that is not full
    QCOMPARE(f.messages.log(), QByteArray("Error: Too many numbers!\n"
                                          "Error: Too many numbers!\n"
                                          "Error: Too many text-entries!\n"
                                          "Error: Too many numbers!\n"
                                          "Error: Too many text-entries!\n"
                                          "Error: Too many text-entries!"));
    QCOMPARE(describeBook(f.book()), before);
    QVERIFY(!f.book().bookChanged);

    // Within one class a type change is fine, and the group stays single.
    QVERIFY(f.editor.changeType(f.subIndex(0, 4), KindMobile));
    QVERIFY(f.editor.setGroup(f.nameIndex(0), 1));
    // Merging the other name in stops at the first text.
    f.messages.answers = {true};
    f.editor.commitLabel(f.nameIndex(0), "Other");
    QCOMPARE(f.messages.shown.last().caption, QByteArray("Error"));
    QCOMPARE(names(f.book()), QByteArray("Full,Other"));
    QCOMPARE(Book::subentryCount(f.book().name(0), ClassGroup), 1);
    QCOMPARE(Book::subentryCount(f.book().name(0), ClassNumber), 5);
    QCOMPARE(Book::subentryCount(f.book().name(0), ClassText), 2);
    QCOMPARE(f.book().name(0).subs.size(), size_t(8));
}

void TestModel::labelEditorRefusesRootAndGroups() {
    EditorFixture f;
    fill(f.book(), {"Anna|3:1|10:VIP|11:?"});
    const QModelIndex root = f.model.rootIndex();
    const QModelIndex group = f.subIndex(0, 1);
    QVERIFY(!BookModel::isLabelEditable(root));
    QVERIFY(!BookModel::isLabelEditable(group));
    QVERIFY(BookModel::isLabelEditable(f.nameIndex(0)));
    QVERIFY(BookModel::isLabelEditable(f.subIndex(0, 0)));
    QVERIFY(BookModel::isLabelEditable(f.subIndex(0, 2)));
    QVERIFY(!(f.model.flags(root) & Qt::ItemIsEditable));
    QVERIFY(!(f.model.flags(group) & Qt::ItemIsEditable));
    QVERIFY(f.model.flags(f.nameIndex(0)) & Qt::ItemIsEditable);
    QVERIFY(!f.editor.edit(root).edit.isValid());
    QVERIFY(!f.editor.edit(group).edit.isValid());
    QVERIFY(!f.editor.edit(QModelIndex()).edit.isValid());
    QCOMPARE(f.editor.edit(f.subIndex(0, 0)).edit, f.subIndex(0, 0));

    // Even a direct commit does not rename the root or a group.
    QVERIFY(!f.model.setData(group, QStringLiteral("Family")));
    f.editor.commitLabel(group, "Family");
    QCOMPARE(f.book().name(0).subs[1].text, QByteArray("VIP"));
    QVERIFY(!f.model.setData(root, QStringLiteral("x")));
    QCOMPARE(f.model.data(root).toString(), QStringLiteral("PhoneBook"));
    QVERIFY(!f.book().bookChanged);
}

void TestModel::committedSubentryEditCleansAndSorts() {
    EditorFixture f;
    fill(f.book(), {"Anna|9:memo|2:+49"});
    const QModelIndex number = f.subIndex(0, 1);

    // The view's label editor commits through setData.
    QVERIFY(f.model.setData(number, QStringLiteral("(0) 1-2")));
    QVERIFY(f.book().bookChanged);
    // Cleaned, and sorted in front of the text.
    QCOMPARE(describeBook(f.book()), QByteArray("Anna\n  General: 012\n  Note: memo\n"));

    f.model.setData(f.subIndex(0, 0), QString());
    QCOMPARE(f.book().name(0).subs[0].text, QByteArray("+49"));

    // Texts are kept as typed, every character of them.
    f.model.setData(f.subIndex(0, 1), QStringLiteral("Tel. (0) 1-2 \u00e4\u20ac \U0001F600"));
    QCOMPARE(f.book().name(0).subs[1].text, QStringLiteral("Tel. (0) 1-2 ä€ 😀"));

    // A view clearing an item after a drop passes invalid values: no edit.
    QVERIFY(!f.model.setData(f.subIndex(0, 1), QVariant()));
    QCOMPARE(f.book().name(0).subs[1].text, QStringLiteral("Tel. (0) 1-2 ä€ 😀"));
    QVERIFY(!f.model.setItemData(f.subIndex(0, 1), {{Qt::EditRole, QVariant()}}));

    // A name edited to a new text simply takes it.
    QVERIFY(f.model.setData(f.nameIndex(0), QStringLiteral("Anna Berg")));
    QCOMPARE(names(f.book()), QByteArray("Anna Berg"));
    QVERIFY(f.messages.shown.isEmpty());
}

void TestModel::settypeConvertsAndSorts() {
    EditorFixture f;
    fill(f.book(), {"Anna|10:VIP|9:Tel. 017/1|2:+49 30 1|7:x-1@y"});
    // Note -> Mobile: cleaned, and sorted in among the numbers.
    QVERIFY(f.editor.changeType(f.subIndex(0, 1), KindMobile));
    QVERIFY(f.book().bookChanged);
    QCOMPARE(describeBook(f.book()), QByteArray("Anna\n  Mobile: 0171\n  General: +49 30 1\n"
                                                "  E-Mail: x-1@y\n  Caller group: VIP\n"));
    // Number -> number: the committed edit cleans the number too.
    f.editor.changeType(f.subIndex(0, 1), KindFax);
    QCOMPARE(f.book().name(0).subs[1].text, QByteArray("+49301"));
    // Number -> text and text -> text keep the text.
    f.editor.changeType(f.subIndex(0, 1), KindPostalAddress);
    f.editor.changeType(f.subIndex(0, 1), KindEMail);
    QCOMPARE(describeBook(f.book()), QByteArray("Anna\n  Mobile: 0171\n  E-Mail: +49301\n"
                                                "  E-Mail: x-1@y\n  Caller group: VIP\n"));
    // An unknown subentry can be given a kind.
    fill(f.book(), {"Bob|11:p 12"});
    QVERIFY(f.editor.changeType(f.subIndex(1, 0), KindOffice));
    QCOMPARE(describeBook(f.book()).mid(describeBook(f.book()).indexOf("Bob")),
             QByteArray("Bob\n  Office: p12\n"));
    QVERIFY(f.messages.shown.isEmpty());
}

void TestModel::settypeIgnoresGroupsNamesAndRoot() {
    EditorFixture f;
    fill(f.book(), {"Anna|10:VIP|2:1"});
    const QString before = describeBook(f.book());
    QVERIFY(!f.editor.changeType(f.subIndex(0, 0), KindMobile));
    QVERIFY(!f.editor.changeType(f.nameIndex(0), KindMobile));
    QVERIFY(!f.editor.changeType(f.model.rootIndex(), KindMobile));
    QVERIFY(!f.editor.changeType(QModelIndex(), KindMobile));
    QVERIFY(!f.editor.changeType(f.subIndex(0, 1), KindCallerGroup)); // only kinds 2..9
    QVERIFY(!f.editor.changeType(f.subIndex(0, 1), KindUnknown));
    QCOMPARE(describeBook(f.book()), before);
    QCOMPARE(f.book().name(0).imageIndex(), int(KindNameCollapsed));
    QVERIFY(!f.book().bookChanged);
    QVERIFY(f.messages.shown.isEmpty());
}

void TestModel::mergeYesMovesEverythingAndDropsOther() {
    EditorFixture f;
    fill(f.book(), {"Anna|9:memo|10:VIP|2:1|11:?", "Carl", "Bob|3:2|7:b@c"});
    f.messages.answers = {true};
    const QPersistentModelIndex bob(f.nameIndex(2));

    QVERIFY(f.model.setData(bob, QStringLiteral("Anna")));
    QCOMPARE(f.messages.log(), QByteArray("Double entry: Name already exists! Merge entries?\r"
                                          "Note: Caller groups will not be merged!\r\r"
                                          "\"Bob\" is renamed \"Anna\" and takes the entries of "
                                          "the other \"Anna\", which is then removed."));
    QCOMPARE(f.messages.shown.first().type, UserMessage::Type::Question);
    QVERIFY(f.messages.shown.first().displayText().startsWith(
        QStringLiteral("Name already exists! Merge entries?\n"
                       "Note: Caller groups will not be merged!\n")));
    // The other name is gone; the edited one has everything, sorted by class.
    QCOMPARE(describeBook(f.book()), QByteArray("Carl\nAnna\n  Mobile: 2\n  General: 1\n"
                                                "  E-Mail: b@c\n  Note: memo\n"
                                                "  Caller group: VIP\n  Unknown: ?\n"));
    QCOMPARE(bob.row(), 1); // the view's selection stays on the edited name
    QVERIFY(f.book().bookChanged);
}

void TestModel::mergeKeepsOwnGroup() {
    EditorFixture f;
    fill(f.book(), {"Anna|10:VIP|2:1", "Bob|10:Family|3:2"});
    f.messages.answers = {true};
    f.editor.commitLabel(f.nameIndex(1), "Anna");
    // The other's group goes away with the other name.
    QCOMPARE(describeBook(f.book()),
             QByteArray("Anna\n  Mobile: 2\n  General: 1\n  Caller group: Family\n"));
    QCOMPARE(f.book().entryCount(), 1);

    // A node without a group takes the other's.
    fill(f.book(), {"Carl|10:Friends", "Dora|4:3"});
    f.messages.answers = {true};
    f.editor.commitLabel(f.nameIndex(2), "Carl");
    QCOMPARE(describeBook(f.book()).mid(describeBook(f.book()).indexOf("Carl")),
             QByteArray("Carl\n  Home: 3\n  Caller group: Friends\n"));
}

void TestModel::mergeNoRestoresText() {
    EditorFixture f;
    fill(f.book(), {"Anna|2:1", "Bob|3:2|9:x"});
    f.messages.answers = {false};
    f.editor.commitLabel(f.nameIndex(1), "Anna");
    QCOMPARE(f.messages.shown.size(), 1);
    QCOMPARE(describeBook(f.book()),
             QByteArray("Anna\n  General: 1\nBob\n  Mobile: 2\n  Note: x\n"));
    QVERIFY(f.book().bookChanged);
}

void TestModel::mergeAbortsWhenFull() {
    EditorFixture f;
    fill(f.book(), {"Anna|2:a1|2:a2|2:a3|10:VIP", "Bob|3:b1|3:b2|3:b3|9:note"});
    f.messages.answers = {true};
    f.editor.commitLabel(f.nameIndex(1), "Anna");
    QCOMPARE(f.messages.log(), QByteArray("Double entry: Name already exists! Merge entries?\r"
                                          "Note: Caller groups will not be merged!\r\r"
                                          "\"Bob\" is renamed \"Anna\" and takes the entries of "
                                          "the other \"Anna\", which is then removed.\n"
                                          "Error: Merging not possible!\r"
                                          "Not enough space for all entries.\rMerging aborted."));
    QCOMPARE(f.messages.shown.last().type, UserMessage::Type::Error);
    // Nothing moved: both names stay exactly as they were.
    QCOMPARE(describeBook(f.book()), QByteArray("Anna\n  General: a1\n  General: a2\n"
                                                "  General: a3\n  Caller group: VIP\n"
                                                "Bob\n  Mobile: b1\n  Mobile: b2\n  Mobile: b3\n"
                                                "  Note: note\n"));

    // Texts count as well, and a group the edited name lacks counts too.
    EditorFixture g;
    fill(g.book(), {"Anna|9:t1|7:t2|2:1", "Bob|2:2|8:t3"});
    g.messages.answers = {true};
    g.editor.commitLabel(g.nameIndex(1), "Anna");
    QCOMPARE(g.messages.shown.size(), 2);
    QCOMPARE(describeBook(g.book()),
             QByteArray("Anna\n  Note: t1\n  E-Mail: t2\n  General: 1\nBob\n  General: 2\n"
                        "  Postal Address: t3\n"));
    // A passed-over group does not stop a merge that fits otherwise.
    EditorFixture h;
    fill(h.book(), {"Anna|2:1|2:2|10:VIP", "Bob|3:3|3:4|3:5|10:Family"});
    h.messages.answers = {true};
    h.editor.commitLabel(h.nameIndex(1), "Anna");
    QCOMPARE(h.messages.shown.size(), 1);
    QCOMPARE(describeBook(h.book()), QByteArray("Anna\n  Mobile: 3\n  Mobile: 4\n  Mobile: 5\n"
                                                "  General: 1\n  General: 2\n"
                                                "  Caller group: Family\n"));
}

void TestModel::caseDifferingNamesDoNotMerge() {
    EditorFixture f;
    fill(f.book(), {"anna|2:1", "Bob|3:2"});
    f.messages.answers = {true};
    f.editor.commitLabel(f.nameIndex(1), "Anna");
    QVERIFY(f.messages.shown.isEmpty());
    QCOMPARE(names(f.book()), QByteArray("anna,Anna"));

    // Its own text again is no merge either, unless another name has it.
    f.editor.commitLabel(f.nameIndex(1), "Anna");
    QVERIFY(f.messages.shown.isEmpty());
}

void TestModel::deleteAsksAndCollapsesParent() {
    EditorFixture f;
    fill(f.book(), {"Anna|2:1", "Bob|3:2|9:x"});
    f.editor.expandAll();
    QSignalSpy expansions(&f.model, &BookModel::expandedChanged);

    // Nothing selected, or the root: nothing happens, nothing is asked.
    QVERIFY(!f.editor.deleteNode(QModelIndex()));
    QVERIFY(!f.editor.deleteNode(f.model.rootIndex()));
    QVERIFY(f.messages.shown.isEmpty());

    f.messages.answers = {false, true};
    QVERIFY(!f.editor.deleteNode(f.nameIndex(1)));
    QCOMPARE(f.book().entryCount(), 2);
    QVERIFY(!f.book().bookChanged);
    // The last subentry of a name: the name shows closed afterwards.
    QVERIFY(f.editor.deleteNode(f.subIndex(0, 0)));
    QCOMPARE(f.messages.log(), QByteArray("Confirm: Really delete entry \"Bob\"?\r"
                                          "Note: Deleting the parent entry will remove\r"
                                          "all its subentries as well!\n"
                                          "Confirm: Really delete entry \"1\"?"));
    QCOMPARE(describeBook(f.book()), QByteArray("Anna\nBob\n  Mobile: 2\n  Note: x\n"));
    QCOMPARE(f.model.data(f.nameIndex(0), BookModel::KindRole).toInt(), int(KindNameCollapsed));
    QCOMPARE(expansions.count(), 1);
    QVERIFY(f.book().bookChanged);

    // A name that is not the only one leaves the root open; the last closes it.
    f.messages.answers = {true, true};
    QVERIFY(f.editor.deleteNode(f.nameIndex(1)));
    QVERIFY(f.book().rootExpanded);
    QVERIFY(f.editor.deleteNode(f.nameIndex(0)));
    QVERIFY(!f.book().rootExpanded);
    QCOMPARE(f.messages.shown.last().text, QByteArray("Really delete entry \"Anna\"?"));
    QCOMPARE(f.model.rowCount(), 1);
}

void TestModel::clearAndNewBook() {
    EditorFixture f;
    fill(f.book(), {"Anna|2:1", "Bob"});
    f.book().setEntryNote(f.book().name(0), "Read from location 1");
    f.book().rootExpanded = true;

    f.messages.answers = {false};
    EditOutcome out = f.editor.clearBook();
    QCOMPARE(f.messages.log(), QByteArray("Confirm: Really delete all entries?"));
    QCOMPARE(f.book().entryCount(), 2);
    QVERIFY(out.focusTree);

    f.book().transferActive = true;
    out = f.editor.clearBook();
    QCOMPARE(f.messages.shown.size(), 1); // refused without a question
    QVERIFY(!f.editor.newBook([] { return true; }));
    QCOMPARE(f.book().entryCount(), 2);
    f.book().transferActive = false;

    f.messages.answers = {true};
    f.editor.clearBook();
    QCOMPARE(f.book().entryCount(), 0);
    QCOMPARE(f.model.entryCountText(), QByteArray("0 entries."));
    QCOMPARE(f.model.rowCount(), 1); // the root stays
    QCOMPARE(f.model.data(f.model.rootIndex()).toString(), QStringLiteral("PhoneBook"));
    QVERIFY(f.book().entryNotes.isEmpty());
    QVERIFY(!f.book().rootExpanded);
    QVERIFY(f.book().bookChanged);

    // New book: the window's close question can keep everything.
    fill(f.book(), {"Carl"});
    f.book().bookFileName = "/home/u/book.pbf";
    QVERIFY(!f.editor.newBook([] { return false; }));
    QCOMPARE(f.book().entryCount(), 1);
    QVERIFY(f.editor.newBook([] { return true; }));
    QCOMPARE(f.book().entryCount(), 0);
    QVERIFY(f.book().bookFileName.isEmpty());
    QVERIFY(!f.book().bookChanged);
    QCOMPARE(f.model.entryCountText(), QByteArray("0 entries."));
}

void TestModel::expandAndCollapseAll() {
    EditorFixture f;
    fill(f.book(), {"Anna|2:1", "Bob"});
    auto images = [&] {
        return QList<int>{f.model.data(f.model.rootIndex(), BookModel::KindRole).toInt(),
                          f.model.data(f.nameIndex(0), BookModel::KindRole).toInt(),
                          f.model.data(f.nameIndex(1), BookModel::KindRole).toInt()};
    };
    QSignalSpy changed(&f.model, &BookModel::dataChanged);
    QCOMPARE(f.editor.expandAll().expansion, ViewExpansion::ExpandAll);
    QCOMPARE(images(), (QList<int>{1, 1, 0})); // a name without subentries stays closed
    QVERIFY(changed.count() >= 2);
    QCOMPARE(f.editor.collapseAll().expansion, ViewExpansion::CollapseAll);
    QCOMPARE(images(), (QList<int>{1, 0, 0})); // the root alone open
    QVERIFY(!f.book().bookChanged);

    // The view's own expand and collapse reach the icons too.
    f.model.setExpanded(f.nameIndex(0), true);
    f.model.setExpanded(f.model.rootIndex(), false);
    f.model.setExpanded(f.subIndex(0, 0), true); // no such thing for a subentry
    QCOMPARE(images(), (QList<int>{0, 1, 0}));
}

void TestModel::setgroupReplacesGroup() {
    EditorFixture f;
    fill(f.book(), {"Anna|10:VIP|2:1|10:Other"});
    QVERIFY(f.editor.setGroup(f.subIndex(0, 1), 3)); // a subentry sets its name's group
    QCOMPARE(describeBook(f.book()), QByteArray("Anna\n  General: 1\n  Caller group: Friends\n"));
    QVERIFY(f.book().bookChanged);
    QVERIFY(f.editor.setGroup(f.nameIndex(0), 5));
    QCOMPARE(describeBook(f.book()), QByteArray("Anna\n  General: 1\n  Caller group: Other\n"));

    f.book().bookChanged = false;
    QVERIFY(!f.editor.setGroup(f.model.rootIndex(), 1));
    QVERIFY(!f.editor.setGroup(QModelIndex(), 1));
    QVERIFY(!f.editor.setGroup(f.nameIndex(0), 0));
    QVERIFY(!f.editor.setGroup(f.nameIndex(0), 6));
    QCOMPARE(describeBook(f.book()), QByteArray("Anna\n  General: 1\n  Caller group: Other\n"));
    QVERIFY(!f.book().bookChanged);
}
