// Editing the book in the main window: the real tree view driven by keys, the
// mouse and drags, with the message boxes answered by the test hook.
#include "AppTestSupport.h"
#include "app/BookTable.h"
#include "app/BookTree.h"
#include "app/DuplicatesDialog.h"
#include "app/FindBar.h"
#include "app/ProfileFile.h"
#include "app/StatusPanel.h"
#include "model/NameOrder.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

using namespace quorix;
using namespace quorix::test;

namespace {

// A book from a compact description: "Name|2:+49123|9:a note" per name, each
// subentry as kind:text.
void fillBook(BookModel& model, const QList<QByteArray>& rows) {
    for (const QByteArray& row : rows) {
        const QList<QByteArray> parts = row.split('|');
        Name& n = model.insertName(model.book().entryCount(), parts.first());
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const qsizetype colon = parts[i].indexOf(':');
            model.addSubentry(n, parts[i].mid(colon + 1), parts[i].left(colon).toInt());
        }
    }
}

// A started window with every name open; unless told otherwise, active with
// the keyboard focus on the tree.
std::unique_ptr<MainWindow> startTree(const QList<QByteArray>& rows = {}, bool focus = true) {
    auto w = startWindow();
    fillBook(w->model(), rows);
    test::command(*w, "tree.expandAll")->trigger();
    if (!focus)
        return w;
    QApplication::setActiveWindow(w.get());
    if (!QTest::qWaitForWindowActive(w.get()))
        qWarning("window not active");
    w->treeView()->setFocus();
    return w;
}

QModelIndex nameAt(MainWindow& w, int row) {
    return w.model().indexOf(w.phonebook().name(row));
}

QModelIndex subAt(MainWindow& w, int row, int pos) {
    return w.model().indexOf(w.phonebook().name(row), pos);
}

int kindOf(const QModelIndex& index) {
    return index.data(BookModel::KindRole).toInt();
}

QByteArray book(MainWindow& w) {
    return describeBook(w.phonebook()).toUtf8();
}

// Where the tree and the book disagree about which nodes are open, or a name's
// image does not show it: "row: view 1, book 0, image 0" per name, the root as -1.
QByteArrayList expansionMismatches(MainWindow& w) {
    QByteArrayList out;
    const Book& b = w.phonebook();
    const QModelIndex root = w.model().rootIndex();
    if (w.treeView()->isExpanded(root) != b.rootExpanded)
        out << "-1";
    for (int row = 0; row < b.entryCount(); ++row) {
        const QModelIndex index = nameAt(w, row);
        const bool view = w.treeView()->isExpanded(index) && !b.name(row).subs.empty();
        const bool image = kindOf(index) == int(KindNameExpanded);
        if (view != b.name(row).expanded || image != view)
            out << QByteArray::number(row) + ": view " + QByteArray::number(view) + ", book " +
                       QByteArray::number(b.name(row).expanded) + ", image " +
                       QByteArray::number(image);
    }
    return out;
}

void select(MainWindow& w, const QModelIndex& index) {
    w.treeView()->setCurrentIndex(index);
    w.treeView()->setFocus();
}

void press(MainWindow& w, const QKeySequence& keys) {
    QTest::keySequence(w.treeView(), keys);
}

// The label editor, when one is open.
QLineEdit* labelEditor(MainWindow& w) {
    return w.treeView()->isEditing() ? qobject_cast<QLineEdit*>(QApplication::focusWidget())
                                     : nullptr;
}

// Replaces the label editor's text by typing, and presses Enter.
void typeAndCommit(MainWindow& w, const QString& text) {
    QLineEdit* editor = labelEditor(w);
    QVERIFY(editor);
    editor->selectAll();
    if (text.isEmpty())
        QTest::keyClick(editor, Qt::Key_Backspace);
    for (const QChar c : text) {
        // A character without a key of its own arrives as the key's text.
        if (c.unicode() < 0x80)
            QTest::keyClick(editor, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QString(c), {});
    }
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!w.treeView()->isEditing());
}

// Opens the label editor on a node (Shift+Enter) and commits the text.
void editLabel(MainWindow& w, const QModelIndex& index, const QString& text) {
    select(w, index);
    press(w, QKeySequence(Qt::SHIFT | Qt::Key_Return));
    typeAndCommit(w, text);
}

void escapeEditor(MainWindow& w) {
    QLineEdit* editor = labelEditor(w);
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_Escape);
    QVERIFY(!w.treeView()->isEditing());
}

// One asked question as "caption|text|icon|buttons", for comparing in one go.
QString asked(const Question& q) {
    return q.caption + QLatin1Char('|') + q.text + QLatin1Char('|') + QString::number(int(q.icon)) +
           QLatin1Char('|') + QString::number(int(q.buttons));
}

QString error(const char* text) {
    return asked({QStringLiteral("Error"), QString::fromLatin1(text), QMessageBox::Critical,
                  QMessageBox::Ok});
}

QString question(const char* caption, const char* text) {
    return asked({QString::fromLatin1(caption), QString::fromLatin1(text), QMessageBox::Question,
                  QMessageBox::Yes | QMessageBox::No});
}

QStringList askedList(const Answers& answers) {
    QStringList out;
    for (const Question& q : answers.asked)
        out << asked(q);
    return out;
}

// The merge question names the edited name, the name it takes and which stays.
QString mergeQuestion(const char* edited, const char* taken) {
    return QStringLiteral("Name already exists! Merge entries?\rNote: Caller groups will not be "
                          "merged!\r\r\"%1\" is renamed \"%2\" and takes the entries of the "
                          "other \"%2\", which is then removed.")
        .arg(QLatin1String(edited), QLatin1String(taken));
}

// Where a drag ends: just inside the top edge of the target's row (the whole
// row is the target, not only its middle), or empty space below the names.
QPoint dropPoint(MainWindow& w, const QModelIndex& target) {
    if (!target.isValid())
        return {10, w.treeView()->viewport()->height() - 3};
    const QRect row = w.treeView()->visualRect(target);
    return {row.center().x(), row.top() + 1};
}

// A drag with the mouse through the toolkit's own drag loop: press, move past
// the drag distance, and, while the drag runs, move to the point and release.
// The drags dragWithMouse saw start, and those whose picture covered the row
// aimed at.
int mouseDrags = 0;
QStringList picturesOverTheTarget;

void dragWithMouse(MainWindow& w, const QModelIndex& from, const QPoint& at) {
    QWidget* viewport = w.treeView()->viewport();
    const QPoint start = w.treeView()->visualRect(from).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, start);
    QTreeView* tree = w.treeView();
    QTimer::singleShot(0, viewport, [tree, viewport, at] {
        if (const QDrag* drag = tree->findChild<QDrag*>()) {
            ++mouseDrags;
            const QRect row = tree->visualRect(tree->indexAt(at));
            const QRect picture(at - drag->hotSpot(),
                                drag->pixmap().deviceIndependentSize().toSize());
            if (drag->pixmap().isNull() ||
                picture.intersects(QRect(0, row.top(), viewport->width(), row.height())))
                picturesOverTheTarget << tree->indexAt(at).data().toString();
        }
        QTest::mouseMove(viewport, at + QPoint(1, 0));
        QTest::mouseMove(viewport, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, at);
    });
    QTest::mouseMove(viewport, start + QPoint(0, 1));
    QTest::mouseMove(viewport, start + QPoint(0, QApplication::startDragDistance() + 5));
    QTest::qWait(20); // a drag that never started still gets its release
}

// What the tree does with a drag that reaches it: the press that picks the
// node, the payload the tree's drag would carry, and the view's own drag-enter,
// drag-move and drop handling. The offscreen platform runs no drag loop, so no
// drag there has the tree as its source; since the tree takes drops only from
// itself, that one condition is lifted while the events are delivered.
void dropEvents(MainWindow& w, const QModelIndex& from, const QPoint& at) {
    QWidget* viewport = w.treeView()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, w.treeView()->visualRect(from).center());
    const std::unique_ptr<QMimeData> data(
        w.treeView()->model()->mimeData(w.treeView()->selectionModel()->selectedIndexes()));
    if (!data)
        return; // the tree starts no drag for this node
    w.treeView()->setDragDropMode(QAbstractItemView::DragDrop);
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(viewport, &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, {});
    QApplication::sendEvent(viewport, &move);
    if (enter.isAccepted() && move.isAccepted()) {
        QDropEvent drop(QPointF(at), Qt::MoveAction, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &drop);
    } else {
        QDragLeaveEvent leave;
        QApplication::sendEvent(viewport, &leave);
    }
    w.treeView()->setDragDropMode(QAbstractItemView::InternalMove);
}

using DragFn = void (*)(MainWindow&, const QModelIndex&, const QPoint&);

// The drag rules as a user meets them, whichever way the drag is made.
void checkDrags(DragFn drag) {
    WorkDir dir;
    auto w = startTree({"Anna|2:1|3:2|10:VIP", "Bob|4:3", "Carl|5:4"}, false);
    QCOMPARE(w->treeView()->dragDropMode(), QAbstractItemView::InternalMove);
    w->phonebook().bookChanged = false;

    // Code 21: onto a name, as its first subentry.
    drag(*w, subAt(*w, 0, 1), dropPoint(*w, nameAt(*w, 1)));
    QCOMPARE(book(*w), QByteArray("Anna\n  General: 1\n  Caller group: VIP\n"
                                  "Bob\n  Mobile: 2\n  Home: 3\nCarl\n  Office: 4\n"));
    QVERIFY(w->phonebook().bookChanged);

    // Code 22: onto a subentry of another name, directly before it; the
    // emptied name closes, the target's name is open.
    drag(*w, subAt(*w, 2, 0), dropPoint(*w, subAt(*w, 1, 1)));
    QCOMPARE(book(*w), QByteArray("Anna\n  General: 1\n  Caller group: VIP\n"
                                  "Bob\n  Mobile: 2\n  Office: 4\n  Home: 3\nCarl\n"));
    QVERIFY(!w->treeView()->isExpanded(nameAt(*w, 2)));
    QCOMPARE(kindOf(nameAt(*w, 2)), int(KindNameCollapsed));
    QVERIFY(w->treeView()->isExpanded(nameAt(*w, 1)));

    // Onto the emptied name after Expand all: its image shows what the tree shows.
    test::command(*w, "tree.expandAll")->trigger();
    drag(*w, subAt(*w, 1, 1), dropPoint(*w, nameAt(*w, 2)));
    QCOMPARE(book(*w), QByteArray("Anna\n  General: 1\n  Caller group: VIP\n"
                                  "Bob\n  Mobile: 2\n  Home: 3\nCarl\n  Office: 4\n"));
    QCOMPARE(kindOf(nameAt(*w, 2)), w->treeView()->isExpanded(nameAt(*w, 2))
                                        ? int(KindNameExpanded)
                                        : int(KindNameCollapsed));

    // Refused: a name, a caller group, a drop on the root or on empty space.
    const QByteArray before = book(*w);
    drag(*w, nameAt(*w, 1), dropPoint(*w, nameAt(*w, 0)));
    drag(*w, subAt(*w, 0, 1), dropPoint(*w, nameAt(*w, 1)));
    drag(*w, subAt(*w, 1, 0), dropPoint(*w, w->model().rootIndex()));
    drag(*w, subAt(*w, 1, 0), dropPoint(*w, QModelIndex()));
    QCOMPARE(book(*w), before);
}

} // namespace

class TestEdit : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { MessageBoxes::clearHook(); }

    // --- New entries -----------------------------------------------------

    void fullNameTakesNoMore() {
        WorkDir dir;
        auto w = startTree({"Full|2:1|3:2|4:3|5:4|6:5|7:a@b.c|8:Street 1|10:VIP", "Other|2:9"});
        const QByteArray before = book(*w);
        Answers answers;

        select(*w, nameAt(*w, 0));
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_N));
        select(*w, subAt(*w, 0, 2));
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_N));
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_M));
        select(*w, nameAt(*w, 0));
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_M));
        QCOMPARE(askedList(answers),
                 QStringList({error("Too many numbers!"), error("Too many numbers!"),
                              error("Too many text-entries!"), error("Too many text-entries!")}));
        QCOMPARE(book(*w), before);
        QVERIFY(!w->treeView()->isEditing());

        // Collapsed, the same name gets a new name in front of it instead.
        QTest::keyClick(w->treeView(), Qt::Key_Return);
        QVERIFY(!w->treeView()->isExpanded(nameAt(*w, 0)));
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_N));
        QCOMPARE(answers.asked.size(), 4);
        QCOMPARE(w->phonebook().entryCount(), 3);
        QCOMPARE(w->phonebook().name(0).text, QByteArray("New Entry 1"));
        QCOMPARE(w->phonebook().name(1).text, QByteArray("Full"));
        QCOMPARE(w->treeView()->selectedNode(), nameAt(*w, 0));
        QCOMPARE(labelEditor(*w)->text(), QStringLiteral("New Entry 1"));
        QCOMPARE(w->panelText(1), QStringLiteral("3 entries."));
        // Escape leaves it with its default text.
        escapeEditor(*w);
        QCOMPARE(w->phonebook().name(0).text, QByteArray("New Entry 1"));
    }

    void newEntriesOpenTheirLabelEditor() {
        WorkDir dir;
        auto w = startTree({"Anna"});

        // A number on a name without subentries: "+49", General, the name opens.
        select(*w, nameAt(*w, 0));
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_N));
        const QModelIndex number = subAt(*w, 0, 0);
        QCOMPARE(kindOf(number), int(KindGeneral));
        QVERIFY(w->treeView()->isExpanded(nameAt(*w, 0)));
        QCOMPARE(kindOf(nameAt(*w, 0)), int(KindNameExpanded));
        QCOMPARE(w->treeView()->selectedNode(), number);
        QCOMPARE(labelEditor(*w)->text(), QStringLiteral("+49"));
        escapeEditor(*w);

        // A text in front of the selected subentry; the selection stays.
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_M));
        QCOMPARE(labelEditor(*w)->text(), QStringLiteral("Text"));
        QCOMPARE(w->treeView()->selectedNode().data().toString(), QStringLiteral("+49"));
        escapeEditor(*w);
        // Cancelled editors run no commit steps: no cleaning, no sorting.
        QCOMPARE(book(*w), QByteArray("Anna\n  Note: Text\n  General: +49\n"));

        // A new name in front of the subentry's name, the root open.
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_B));
        QCOMPARE(w->phonebook().name(0).text, QByteArray("New Entry 1"));
        QCOMPARE(labelEditor(*w)->text(), QStringLiteral("New Entry 1"));
        typeAndCommit(*w, QStringLiteral("Bob"));
        QCOMPARE(w->phonebook().name(0).text, QByteArray("Bob"));

        // Nothing selected: New entry starts at the root, with a name at the top.
        w->treeView()->selectionModel()->clearSelection();
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_N));
        QCOMPARE(w->phonebook().name(0).text, QByteArray("New Entry 1"));
        QCOMPARE(w->treeView()->selectedNode(), nameAt(*w, 0));
        escapeEditor(*w);
        QCOMPARE(w->panelText(1), QStringLiteral("3 entries."));
    }

    // --- The label editor ------------------------------------------------

    void typedTextIsCommittedThroughTheModel() {
        WorkDir dir;
        auto w = startTree({"Anna|9:note|2:+49"});
        w->phonebook().bookChanged = false;

        // A number keeps only what dials; the name's subentries are sorted.
        editLabel(*w, subAt(*w, 0, 1), QStringLiteral("(0) 1-2"));
        QCOMPARE(book(*w), QByteArray("Anna\n  General: 012\n  Note: note\n"));
        QVERIFY(w->phonebook().bookChanged);
        // The Enter that closed the editor left the name as it was.
        QVERIFY(w->treeView()->isExpanded(nameAt(*w, 0)));
        // The selection stayed with the edited number.
        QCOMPARE(w->treeView()->selectedNode().data().toString(), QStringLiteral("012"));

        editLabel(*w, subAt(*w, 0, 0), QString());
        QCOMPARE(book(*w), QByteArray("Anna\n  General: +49\n  Note: note\n"));

        // Texts are Unicode: every character typed is kept.
        editLabel(*w, nameAt(*w, 0), QStringLiteral("Zo\u00eb \u20ac \u0141\u00f3d\u017a"));
        QCOMPARE(w->phonebook().name(0).text, QStringLiteral("Zoë € Łódź"));

        // Neither the root nor a caller group opens an editor.
        test::command(*w, "tree.group1")->trigger();
        QCOMPARE(kindOf(subAt(*w, 0, 2)), int(KindCallerGroup));
        for (const QModelIndex& index : {w->model().rootIndex(), subAt(*w, 0, 2)}) {
            select(*w, index);
            press(*w, QKeySequence(Qt::SHIFT | Qt::Key_Return));
            QVERIFY(!w->treeView()->isEditing());
        }
    }

    void mergeAskedWhenANameIsTaken_data() {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QString>("count");
        QTest::newRow("yes: merged, own group kept")
            << true
            << QByteArray("Anna\n  General: 20\n  Mobile: 21\n  Home: 10\n  Note: note\n"
                          "  E-Mail: a@x\n  Caller group: VIP\nCarl\n  General: 3\n")
            << QStringLiteral("2 entries.");
        QTest::newRow("no: nothing changes")
            << false
            << QByteArray("Bob\n  General: 20\n  Mobile: 21\n  Note: note\n  Caller group: VIP\n"
                          "Anna\n  Home: 10\n  E-Mail: a@x\n  Caller group: Family\n"
                          "Carl\n  General: 3\n")
            << QStringLiteral("3 entries.");
    }

    void mergeAskedWhenANameIsTaken() {
        QFETCH(bool, yes);
        QFETCH(QByteArray, result);
        QFETCH(QString, count);
        WorkDir dir;
        auto w =
            startTree({"Bob|2:20|3:21|9:note|10:VIP", "Anna|4:10|7:a@x|10:Family", "Carl|2:3"});
        Answers answers({yes ? QMessageBox::Yes : QMessageBox::No});

        editLabel(*w, nameAt(*w, 0), QStringLiteral("Anna"));
        QCOMPARE(askedList(answers),
                 QStringList{question("Double entry", qPrintable(mergeQuestion("Bob", "Anna")))});
        QCOMPARE(book(*w), result);
        QCOMPARE(w->panelText(1), count);
        QCOMPARE(w->treeView()->selectedNode(), nameAt(*w, 0));
    }

    void mergeAbortedWhenTheNameIsFull() {
        WorkDir dir;
        auto w = startTree({"Three|2:a1|2:a2|2:a3", "Other|3:b1|3:b2|3:b3"});
        Answers answers({QMessageBox::Yes});

        editLabel(*w, nameAt(*w, 0), QStringLiteral("Other"));
        QCOMPARE(askedList(answers),
                 QStringList({question("Double entry", qPrintable(mergeQuestion("Three", "Other"))),
                              error("Merging not possible!\rNot enough space for all "
                                    "entries.\rMerging aborted.")}));
        // Nothing moved: both names are as they were, and no step was made.
        QCOMPARE(book(*w), QByteArray("Three\n  General: a1\n  General: a2\n  General: a3\n"
                                      "Other\n  Mobile: b1\n  Mobile: b2\n  Mobile: b3\n"));
        QCOMPARE(w->panelText(1), QStringLiteral("2 entries."));
    }

    void namesDifferingInCaseDoNotMerge() {
        WorkDir dir;
        auto w = startTree({"Anna|2:1", "Bob|2:2"});
        Answers answers;
        editLabel(*w, nameAt(*w, 1), QStringLiteral("anna"));
        QVERIFY(answers.asked.isEmpty());
        QCOMPARE(book(*w), QByteArray("Anna\n  General: 1\nanna\n  General: 2\n"));
    }

    void mergeQuestionInARealMessageBox() {
        // The question comes up while the label editor is still committing;
        // the box must be asked once, and the editor close cleanly after it.
        WorkDir dir;
        auto w = startTree({"Bob|2:2", "Anna|2:1"});
        QStringList seen;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            seen << box->windowTitle() + QLatin1Char('|') + box->text();
            QCOMPARE(box->icon(), QMessageBox::Question);
            box->button(QMessageBox::Yes)->click();
        });
        poll.start(10);

        editLabel(*w, nameAt(*w, 0), QStringLiteral("Anna"));
        QTRY_COMPARE(w->phonebook().entryCount(), 1);
        QTest::qWait(100);
        QCOMPARE(seen, QStringList{QStringLiteral("Double entry|") +
                                   MessageBoxes::displayText(mergeQuestion("Bob", "Anna"))});
        QCOMPARE(book(*w), QByteArray("Anna\n  General: 2\n  General: 1\n"));
        QVERIFY(!w->treeView()->isEditing());
        QCOMPARE(w->panelText(1), QStringLiteral("1 entries."));
    }

    // --- Change type, caller groups, delete --------------------------------

    void changeTypeByShortcut() {
        WorkDir dir;
        auto w = startTree({"Anna|9:Tel. 017/1|2:1|10:VIP", "Full|2:1|2:2|2:3|2:4|2:5|9:n"});
        w->phonebook().bookChanged = false;

        select(*w, subAt(*w, 0, 0));
        press(*w, QKeySequence(Qt::SHIFT | Qt::Key_F2));
        QCOMPARE(book(*w), QByteArray("Anna\n  Mobile: 0171\n  General: 1\n  Caller group: VIP\n"
                                      "Full\n  General: 1\n  General: 2\n  General: 3\n"
                                      "  General: 4\n  General: 5\n  Note: n\n"));
        QCOMPARE(w->treeView()->selectedNode().data().toString(), QStringLiteral("0171"));
        QVERIFY(w->phonebook().bookChanged);

        // Not on a caller group, not on a name.
        const QByteArray before = book(*w);
        select(*w, subAt(*w, 0, 2));
        press(*w, QKeySequence(Qt::SHIFT | Qt::Key_F1));
        select(*w, nameAt(*w, 0));
        press(*w, QKeySequence(Qt::SHIFT | Qt::Key_F6));
        QCOMPARE(book(*w), before);

        // A sixth number is refused, with the message New entry gives.
        Answers answers;
        select(*w, subAt(*w, 1, 5));
        press(*w, QKeySequence(Qt::SHIFT | Qt::Key_F1));
        QCOMPARE(askedList(answers), QStringList{error("Too many numbers!")});
        QCOMPARE(book(*w), before);
    }

    void addToGroupReplacesTheGroup() {
        WorkDir dir;
        auto w = startTree({"Anna|2:1"});
        select(*w, subAt(*w, 0, 0));
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_F2));
        QCOMPARE(book(*w), QByteArray("Anna\n  General: 1\n  Caller group: VIP\n"));
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_F4));
        QCOMPARE(book(*w), QByteArray("Anna\n  General: 1\n  Caller group: Colleagues\n"));
        // The root has no group.
        select(*w, w->model().rootIndex());
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_F1));
        QCOMPARE(book(*w), QByteArray("Anna\n  General: 1\n  Caller group: Colleagues\n"));
    }

    void deleteAsksFirst_data() {
        QTest::addColumn<QKeySequence>("del");
        QTest::newRow("Shift+Del") << QKeySequence(Qt::SHIFT | Qt::Key_Delete);
        QTest::newRow("Delete") << QKeySequence(Qt::Key_Delete);
    }

    void deleteAsksFirst() {
        QFETCH(QKeySequence, del);
        WorkDir dir;
        auto w = startTree({"Anna|2:1", "Bob|2:2|2:3"});
        {
            // The last subentry: its name closes and shows the closed image.
            Answers answers({QMessageBox::Yes});
            select(*w, subAt(*w, 0, 0));
            press(*w, del);
            QCOMPARE(askedList(answers),
                     QStringList{question("Confirm", "Really delete entry \"1\"?")});
            QCOMPARE(book(*w), QByteArray("Anna\nBob\n  General: 2\n  General: 3\n"));
            QVERIFY(!w->treeView()->isExpanded(nameAt(*w, 0)));
            QCOMPARE(kindOf(nameAt(*w, 0)), int(KindNameCollapsed));
        }
        {
            // A name with subentries says they go too; No keeps it.
            Answers answers({QMessageBox::No, QMessageBox::Yes});
            select(*w, nameAt(*w, 1));
            press(*w, del);
            QCOMPARE(w->phonebook().entryCount(), 2);
            press(*w, del);
            const QString text =
                question("Confirm", "Really delete entry \"Bob\"?\rNote: Deleting the parent "
                                    "entry will remove\rall its subentries as well!");
            QCOMPARE(askedList(answers), QStringList({text, text}));
            QCOMPARE(book(*w), QByteArray("Anna\n"));
            QCOMPARE(w->panelText(1), QStringLiteral("1 entries."));
        }
        {
            // Nothing to delete: no question.
            Answers answers;
            select(*w, w->model().rootIndex());
            press(*w, del);
            w->treeView()->selectionModel()->clearSelection();
            press(*w, del);
            QVERIFY(answers.asked.isEmpty());
        }
        {
            // In the label editor the key edits the text; the name stays.
            Answers answers;
            select(*w, nameAt(*w, 0));
            test::command(*w, "tree.edit")->trigger();
            QLineEdit* editor = labelEditor(*w);
            QVERIFY(editor);
            editor->setCursorPosition(0);
            QTest::keySequence(editor, QKeySequence(Qt::Key_Delete));
            QCOMPARE(editor->text(), QStringLiteral("nna"));
            QTest::keyClick(editor, Qt::Key_Escape);
            QVERIFY(answers.asked.isEmpty());
            QCOMPARE(book(*w), QByteArray("Anna\n"));
        }
    }

    // --- Clear and New -----------------------------------------------------

    void clearEmptiesTheBook() {
        WorkDir dir;
        auto w = startTree({"Anna|2:1", "Bob"});
        {
            Answers answers({QMessageBox::No});
            QTest::mouseClick(test::child<QToolButton>(*w, "clearButton"), Qt::LeftButton);
            QCOMPARE(askedList(answers),
                     QStringList{question("Confirm", "Really delete all entries?")});
            QCOMPARE(w->phonebook().entryCount(), 2);
            QVERIFY(w->treeView()->hasFocus()); // back to the tree either way
        }
        {
            TransferRunning running(*w);
            Answers answers({QMessageBox::Yes});
            QTest::mouseClick(test::child<QToolButton>(*w, "clearButton"), Qt::LeftButton);
            QVERIFY(answers.asked.isEmpty());
            QCOMPARE(w->phonebook().entryCount(), 2);
        }
        {
            Answers answers({QMessageBox::Yes});
            QTest::mouseClick(test::child<QToolButton>(*w, "clearButton"), Qt::LeftButton);
            QCOMPARE(w->phonebook().entryCount(), 0);
            QCOMPARE(w->panelText(1), QStringLiteral("0 entries."));
            QCOMPARE(kindOf(w->model().rootIndex()), int(KindNameCollapsed));
            QVERIFY(w->treeView()->hasFocus());
            // With nothing under it, Expand all leaves the root's image closed.
            QTest::keyClick(w->treeView(), Qt::Key_F2);
            QCOMPARE(kindOf(w->model().rootIndex()), int(KindNameCollapsed));
        }
    }

    void newBookAsksAboutChangesFirst() {
        WorkDir dir;
        auto w = startTree({"Anna|2:1"});
        w->phonebook().bookFileName = dir.file(QStringLiteral("book.pbf"));
        w->phonebook().bookChanged = true;
        w->updateCaption();
        QCOMPARE(w->windowTitle(), QStringLiteral("Quorix - book.pbf"));
        {
            Answers answers({QMessageBox::Cancel});
            test::command(*w, "file.new")->trigger();
            QCOMPARE(answers.asked.size(), 1);
            QCOMPARE(answers.asked[0].caption, QStringLiteral("Book changed!"));
            QCOMPARE(w->phonebook().entryCount(), 1);
            QCOMPARE(w->windowTitle(), QStringLiteral("Quorix - book.pbf"));
        }
        {
            TransferRunning running(*w);
            Answers answers({QMessageBox::No});
            test::command(*w, "file.new")->trigger();
            QVERIFY(answers.asked.isEmpty());
            QCOMPARE(w->phonebook().entryCount(), 1);
        }
        {
            Answers answers({QMessageBox::No});
            test::command(*w, "file.new")->trigger();
            QCOMPARE(w->phonebook().entryCount(), 0);
            QCOMPARE(w->windowTitle(), QStringLiteral("Quorix"));
            QVERIFY(w->phonebook().bookFileName.isEmpty());
            QVERIFY(!w->phonebook().bookChanged);
            QCOMPARE(w->panelText(1), QStringLiteral("0 entries."));
        }
    }

    // --- Sort and Flip -------------------------------------------------------

    void sortButtonSortsNamesAndSubentries() {
        WorkDir dir;
        const QLocale old;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        auto w = startTree({"Zoe|10:VIP|9:n|4:1|2:2", "cop", "co-op", "Bob", "coop", "anna"});
        {
            TransferRunning running(*w);
            QTest::mouseClick(test::child<QToolButton>(*w, "sortButton"), Qt::LeftButton);
            QCOMPARE(w->phonebook().name(0).text, QByteArray("Zoe"));
        }

        w->phonebook().bookChanged = false;
        QTest::mouseClick(test::child<QToolButton>(*w, "sortButton"), Qt::LeftButton);
        QLocale::setDefault(old);
        QCOMPARE(book(*w),
                 QByteArray("anna\nBob\nco-op\ncoop\ncop\n"
                            "Zoe\n  Home: 1\n  General: 2\n  Note: n\n  Caller group: VIP\n"));
        QVERIFY(w->phonebook().bookChanged);
        QVERIFY(w->treeView()->hasFocus());
    }

    void findDuplicatesMergesOrSkipsEachGroup() {
        WorkDir dir;
        auto w = startTree({"Anna Berg|3:+49 171 234567", "Tom|2:0301", "Berg, Anna|2:0171 234567",
                            "Dentist|5:+4930998877", "Dr. Weiss|2:030 998877|9:dentist"});
        // The dialog is modal: it is worked from inside its own loop.
        QStringList shown;
        const auto press = [&](const char* button) {
            QTimer::singleShot(0, [&shown, button] {
                auto* d = qobject_cast<DuplicatesDialog*>(QApplication::activeModalWidget());
                QVERIFY(d);
                for (int i = 0; i < d->list->count(); ++i)
                    shown << d->list->item(i)->text();
                (button[0] == 'm' ? d->mergeButton : d->skipButton)->click();
                // After the last group only Close is left.
                if (!d->mergeButton->isEnabled())
                    d->closeButton->click();
            });
        };
        press("merge");
        press("skip");
        test::command(*w, "extras.findDuplicates")->trigger();
        QCOMPARE(shown, (QStringList{QStringLiteral("Anna Berg \u2013 +49 171 234567"),
                                     QStringLiteral("Berg, Anna \u2013 0171 234567"),
                                     QStringLiteral("Dentist \u2013 +4930998877"),
                                     QStringLiteral("Dr. Weiss \u2013 030 998877")}));
        QCOMPARE(book(*w), QByteArray("Anna Berg\n  Mobile: +49 171 234567\nTom\n  General: "
                                      "0301\nDentist\n  Office: +4930998877\nDr. Weiss\n  "
                                      "General: 030 998877\n  Note: dentist\n"));
        QCOMPARE(w->panelText(0), QStringLiteral("Duplicates: 1 merged, 1 skipped"));
        // The merge is one step back.
        QCOMPARE(test::command(*w, "edit.undo")->text(),
                 QStringLiteral("&Undo Merge \"Anna Berg\""));
        test::command(*w, "edit.undo")->trigger();
        QCOMPARE(w->phonebook().entryCount(), 5);
    }

    void flipTwiceGivesTheBookBack() {
        WorkDir dir;
        auto w = startTree({"A|2:1|9:x", "B", "C|2:3"});
        const QByteArray before = book(*w);
        w->phonebook().bookChanged = false;
        // What the first status panel showed on the screen, paint by paint.
        QStringList painted;
        struct PaintLog : QObject {
            QStringList* log;
            bool eventFilter(QObject* o, QEvent* e) override {
                if (e->type() == QEvent::Paint)
                    log->append(static_cast<QLabel*>(o)->text());
                return false;
            }
        } paintLog;
        paintLog.log = &painted;
        w->panelLabel(0)->installEventFilter(&paintLog);

        test::command(*w, "extras.flip")->trigger();
        QCOMPARE(w->phonebook().name(0).text, QByteArray("C"));
        QCOMPARE(w->phonebook().name(2).text, QByteArray("A"));
        QVERIFY(!painted.isEmpty());
        QCOMPARE(painted.first(), QStringLiteral("Flipping book..."));
        QCOMPARE(w->panelText(0), QStringLiteral("OK."));
        // Every name folded under the open root; the book not marked.
        QVERIFY(w->treeView()->isExpanded(w->model().rootIndex()));
        QVERIFY(!w->treeView()->isExpanded(nameAt(*w, 0)));
        QCOMPARE(kindOf(nameAt(*w, 0)), int(KindNameCollapsed));
        QVERIFY(!w->phonebook().bookChanged);

        test::command(*w, "extras.flip")->trigger();
        QCOMPARE(book(*w), before);

        // Not while a transfer runs.
        w->setPanel(0, QString());
        {
            TransferRunning running(*w);
            test::command(*w, "extras.flip")->trigger();
            QCOMPARE(book(*w), before);
            QCOMPARE(w->panelText(0), QString());
        }
        w->panelLabel(0)->removeEventFilter(&paintLog);
    }

    void wholeBookCommandsKeepTreeAndBookInStep() {
        WorkDir dir;
        const QLocale old;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        auto w = startTree({}, false);
        QAbstractItemModelTester tester(&w->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        // Enough names for the batch paths; every fifth without subentries, the
        // others with a Note ahead of a number, which Sort puts behind it.
        QList<QByteArray> rows;
        for (int i = 0; i < 3000; ++i) {
            const QByteArray name = "Name " + QByteArray::number((i * 7919) % 3001);
            rows << (i % 5 == 4 ? name
                                : name + "|9:note " + QByteArray::number(i) +
                                      "|2:" + QByteArray::number(i));
        }
        fillBook(w->model(), rows);
        w->treeView()->collapseAll();
        QApplication::processEvents();

        test::command(*w, "tree.expandAll")->trigger();
        QCOMPARE(expansionMismatches(*w), QByteArrayList());
        QVERIFY(w->treeView()->isExpanded(nameAt(*w, 0)));

        // Sort keeps the selection on its node and every open name open.
        const QModelIndex note = subAt(*w, 17, 0);
        const QString noteText = w->phonebook().name(17).subs[0].text;
        select(*w, note);
        test::command(*w, "extras.sort")->trigger();
        QLocale::setDefault(old);
        for (int row = 1; row < w->phonebook().entryCount(); ++row) {
            const QString a = w->phonebook().name(row - 1).text;
            const QString b = w->phonebook().name(row).text;
            QVERIFY2(NameOrder(QLocale(QLocale::English, QLocale::UnitedStates)).compare(a, b) <= 0,
                     qPrintable(a + QStringLiteral(" before ") + b));
        }
        QCOMPARE(w->model().subentryOf(w->treeView()->currentIndex())->text, noteText);
        QCOMPARE(kindOf(w->treeView()->currentIndex()), int(KindNote));
        QCOMPARE(w->treeView()->currentIndex().row(), 1); // behind its number now
        QCOMPARE(expansionMismatches(*w), QByteArrayList());

        test::command(*w, "tree.collapseAll")->trigger();
        QCOMPARE(expansionMismatches(*w), QByteArrayList());
        QVERIFY(w->treeView()->isExpanded(w->model().rootIndex()));
        for (int row = 0; row < w->phonebook().entryCount(); ++row)
            QVERIFY(!w->treeView()->isExpanded(nameAt(*w, row)));

        // Flip with every name open: reversed, all folded under the open root.
        test::command(*w, "tree.expandAll")->trigger();
        QStringList before;
        for (int row = 0; row < w->phonebook().entryCount(); ++row)
            before.prepend(w->phonebook().name(row).text);
        test::command(*w, "extras.flip")->trigger();
        QStringList after;
        for (int row = 0; row < w->phonebook().entryCount(); ++row)
            after << w->phonebook().name(row).text;
        QCOMPARE(after, before);
        QCOMPARE(expansionMismatches(*w), QByteArrayList());
        QVERIFY(!w->treeView()->isExpanded(nameAt(*w, 0)));
        QVERIFY(w->treeView()->isExpanded(w->model().rootIndex()));
    }

    // --- Keys and mouse on the tree -----------------------------------------

    void enterOpensAndClosesTheSelectedNode() {
        WorkDir dir;
        auto w = startTree({"Anna|2:1"});
        const QModelIndex anna = nameAt(*w, 0);
        select(*w, anna);
        QTest::keyClick(w->treeView(), Qt::Key_Return);
        QVERIFY(!w->treeView()->isExpanded(anna));
        QCOMPARE(kindOf(anna), int(KindNameCollapsed));
        QTest::keyClick(w->treeView(), Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(w->treeView()->isExpanded(anna));
        QCOMPARE(kindOf(anna), int(KindNameExpanded));
        // With Ctrl or Alt it is not the toggle.
        QTest::keyClick(w->treeView(), Qt::Key_Return, Qt::ControlModifier);
        QTest::keyClick(w->treeView(), Qt::Key_Return, Qt::AltModifier);
        QVERIFY(w->treeView()->isExpanded(anna));
        // Shift+Enter edits instead.
        QTest::keyClick(w->treeView(), Qt::Key_Return, Qt::ShiftModifier);
        QVERIFY(w->treeView()->isExpanded(anna));
        QCOMPARE(labelEditor(*w)->text(), QStringLiteral("Anna"));
        escapeEditor(*w);

        // The root folds the whole book; nothing selected, nothing happens.
        select(*w, w->model().rootIndex());
        QTest::keyClick(w->treeView(), Qt::Key_Return);
        QVERIFY(!w->treeView()->isExpanded(w->model().rootIndex()));
        QTest::keyClick(w->treeView(), Qt::Key_Return);
        w->treeView()->selectionModel()->clearSelection();
        QTest::keyClick(w->treeView(), Qt::Key_Return);
        QVERIFY(w->treeView()->isExpanded(w->model().rootIndex()));
    }

    void doubleClickEditsLeavesAndOpensNames() {
        WorkDir dir;
        auto w = startTree({"Anna|2:1|10:VIP", "Bob"});
        QWidget* viewport = w->treeView()->viewport();
        const auto doubleClick = [&](const QModelIndex& index) {
            const QPoint at = w->treeView()->visualRect(index).center();
            QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        };

        doubleClick(subAt(*w, 0, 0));
        QCOMPARE(labelEditor(*w)->text(), QStringLiteral("1"));
        escapeEditor(*w);
        doubleClick(nameAt(*w, 1)); // a name with nothing under it
        QCOMPARE(labelEditor(*w)->text(), QStringLiteral("Bob"));
        escapeEditor(*w);
        doubleClick(subAt(*w, 0, 1)); // a caller group is never typed in
        QVERIFY(!w->treeView()->isEditing());

        // A name with subentries opens and closes, as trees do.
        doubleClick(nameAt(*w, 0));
        QVERIFY(!w->treeView()->isEditing());
        QVERIFY(!w->treeView()->isExpanded(nameAt(*w, 0)));
        QCOMPARE(kindOf(nameAt(*w, 0)), int(KindNameCollapsed));
        doubleClick(nameAt(*w, 0));
        QVERIFY(w->treeView()->isExpanded(nameAt(*w, 0)));
    }

    void noteOfTheNameUnderThePointer() {
        WorkDir dir;
        auto w = startTree({"Anna|2:1", "Bob"});
        w->model().setEntryNote(w->phonebook().name(0), "Read from location 7");
        QWidget* viewport = w->treeView()->viewport();
        const auto hover = [&](const QPoint& at) {
            QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewport, &move);
            return w->panelText(2);
        };
        QCOMPARE(hover(w->treeView()->visualRect(nameAt(*w, 0)).center()),
                 QStringLiteral("Read from location 7"));
        QCOMPARE(hover(w->treeView()->visualRect(subAt(*w, 0, 0)).center()), QString());
        QCOMPARE(hover(w->treeView()->visualRect(nameAt(*w, 0)).center()),
                 QStringLiteral("Read from location 7"));
        QCOMPARE(hover(w->treeView()->visualRect(nameAt(*w, 1)).center()), QString());
        QCOMPARE(hover(w->treeView()->visualRect(nameAt(*w, 0)).center()),
                 QStringLiteral("Read from location 7"));
        QCOMPARE(hover(QPoint(10, viewport->height() - 3)), QString());
    }

    void textsThePhoneWillCut() {
        WorkDir dir;
        auto w = startTree({"Anna|2:1", "Long|9:" + QByteArray(105, 'n')});
        w->model().setEntryNote(w->phonebook().name(1), "Read from location 2");
        QWidget* viewport = w->treeView()->viewport();
        const QPoint at = w->treeView()->visualRect(nameAt(*w, 1)).center();
        QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QCOMPARE(w->panelText(2),
                 QStringLiteral("Read from location 2, Note will be cut to 60 characters"));
        QCOMPARE(nameAt(*w, 1).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Note will be cut to 60 characters"));

        // The label editor takes what the phone stores, and no more.
        select(*w, subAt(*w, 0, 0));
        press(*w, QKeySequence(Qt::SHIFT | Qt::Key_Return));
        QLineEdit* editor = labelEditor(*w);
        QVERIFY(editor);
        QCOMPARE(editor->maxLength(), 43);
        escapeEditor(*w);
        select(*w, nameAt(*w, 0));
        press(*w, QKeySequence(Qt::SHIFT | Qt::Key_Return));
        QVERIFY(labelEditor(*w));
        QCOMPARE(labelEditor(*w)->maxLength(), 123);
        escapeEditor(*w);
        // A longer text from a file is not cut by opening it.
        select(*w, subAt(*w, 1, 0));
        press(*w, QKeySequence(Qt::SHIFT | Qt::Key_Return));
        QVERIFY(labelEditor(*w));
        QCOMPARE(labelEditor(*w)->text().size(), 105);
        escapeEditor(*w);
        QCOMPARE(w->phonebook().name(1).subs[0].text.size(), 105);
    }

    // --- Undo, redo and find -------------------------------------------------

    void undoAndRedoWithTheKeys() {
        WorkDir dir;
        auto w = startTree({"Anna|2:1|9:note", "Bob|3:2"});
        w->phonebook().bookChanged = false;
        const QByteArray before = book(*w);
        QVERIFY(!test::command(*w, "edit.undo")->isEnabled());
        Answers answers({QMessageBox::Yes});
        select(*w, nameAt(*w, 0));
        press(*w, QKeySequence(Qt::SHIFT | Qt::Key_Delete));
        QCOMPARE(book(*w), QByteArray("Bob\n  Mobile: 2\n"));
        QCOMPARE(test::command(*w, "edit.undo")->text(), QStringLiteral("&Undo Delete \"Anna\""));
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_Z));
        QCOMPARE(book(*w), before);
        QVERIFY(!w->phonebook().bookChanged);
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_Y));
        QCOMPARE(book(*w), QByteArray("Bob\n  Mobile: 2\n"));
        QVERIFY(w->phonebook().bookChanged);
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_Z));
        press(*w, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
        QCOMPARE(w->panelText(1), QStringLiteral("1 entries."));

        // A typed edit is one step; Ctrl+Z in the open editor is the editor's own.
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_Z));
        editLabel(*w, subAt(*w, 1, 0), QStringLiteral("0171"));
        QCOMPARE(w->phonebook().name(1).subs[0].text, QByteArray("0171"));
        QCOMPARE(test::command(*w, "edit.undo")->text(), QStringLiteral("&Undo Edit \"2\""));
        select(*w, nameAt(*w, 0));
        press(*w, QKeySequence(Qt::SHIFT | Qt::Key_Return));
        QLineEdit* editor = labelEditor(*w);
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_X);
        QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(editor->text(), QStringLiteral("Anna"));
        escapeEditor(*w);
        QCOMPARE(w->phonebook().name(1).subs[0].text, QByteArray("0171"));
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_Z));
        QCOMPARE(book(*w), before);

        // New book forgets the history.
        test::command(*w, "file.new")->trigger();
        QVERIFY(!test::command(*w, "edit.undo")->isEnabled());
    }

    void findBar() {
        WorkDir dir;
        auto w = startTree({"Anna|2:1", "Müller|9:call anna", "Bob", "Hanna|3:2"});
        test::command(*w, "tree.collapseAll")->trigger();
        QVERIFY(!test::child<FindBar>(*w)->isVisible());
        press(*w, QKeySequence(Qt::CTRL | Qt::Key_F));
        QVERIFY(test::child<FindBar>(*w)->isVisible());
        QCOMPARE(QApplication::focusWidget(), test::child<FindBar>(*w)->field());
        // The bar sits above the tree, which moves down under it.
        QVERIFY(test::child<FindBar>(*w)->geometry().bottom() < w->treeView()->geometry().top());

        QLineEdit* field = test::child<FindBar>(*w)->field();
        QTest::keyClicks(field, QStringLiteral("ANN"));
        QCOMPARE(w->treeView()->currentIndex(), nameAt(*w, 0));
        QCOMPARE(test::child<FindBar>(*w)->matchLabel()->text(), QStringLiteral("1 of 3 matches"));
        QTest::keyClick(field, Qt::Key_Return);
        // A subentry of a closed name: the name opens to show it.
        QCOMPARE(w->treeView()->currentIndex(), subAt(*w, 1, 0));
        QVERIFY(w->treeView()->isExpanded(nameAt(*w, 1)));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(w->treeView()->currentIndex(), nameAt(*w, 3));
        QCOMPARE(test::child<FindBar>(*w)->matchLabel()->text(), QStringLiteral("3 of 3 matches"));
        QTest::keyClick(field, Qt::Key_Return); // round to the first
        QCOMPARE(w->treeView()->currentIndex(), nameAt(*w, 0));
        QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier); // and back
        QCOMPARE(w->treeView()->currentIndex(), nameAt(*w, 3));

        // Accents and case do not matter.
        field->clear();
        QTest::keyClicks(field, QStringLiteral("mull"));
        QCOMPARE(w->treeView()->currentIndex(), nameAt(*w, 1));
        QCOMPARE(test::child<FindBar>(*w)->matchLabel()->text(), QStringLiteral("1 of 1 match"));
        QTest::keyClicks(field, QStringLiteral("x"));
        QCOMPARE(test::child<FindBar>(*w)->matchLabel()->text(), QStringLiteral("No matches"));
        QCOMPARE(w->treeView()->currentIndex(), nameAt(*w, 1));

        const int treeTop = w->treeView()->y();
        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(!test::child<FindBar>(*w)->isVisible());
        QVERIFY(w->treeView()->y() < treeTop);
        QVERIFY(w->treeView()->hasFocus());
    }

    // --- Drag-and-drop -------------------------------------------------------

    void dropOnTheTree() { checkDrags(dropEvents); }

    void dragWithTheMouse() {
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            QSKIP("The offscreen platform runs no drag loop; tst_edit_x11 runs this on Xvfb.");
        mouseDrags = 0;
        picturesOverTheTarget.clear();
        checkDrags(dragWithMouse);
        // The drag's picture stays clear of the row the pointer aims at.
        QVERIFY(mouseDrags > 0);
        QVERIFY2(picturesOverTheTarget.isEmpty(), qPrintable(picturesOverTheTarget.join(u',')));
    }

    // --- View > Table ----------------------------------------------------

    void tableViewShowsTheOneBook() {
        WorkDir dir;
        auto w = startTree({"Anna|2:040|3:0171", "Bob|3:0172", "M\xc3\xbcller|9:Caf\xc3\xa9"});
        select(*w, nameAt(*w, 1));
        test::command(*w, "view.table")->trigger();
        QVERIFY(w->tableView()->isVisible());
        QVERIFY(!w->treeView()->isVisible());
        QTableView* view = w->tableView()->view();
        QCOMPARE(view->model()->rowCount(), 3);
        // The table starts on the name the tree had selected.
        QCOMPARE(view->currentIndex().row(), 1);

        // The filter ignores case and accents, over names, numbers and texts.
        const auto rowsFor = [&](const QString& text) {
            w->tableView()->filterBox()->setText(text);
            QStringList names;
            for (int r = 0; r < view->model()->rowCount(); ++r)
                names << view->model()->index(r, 0).data().toString();
            return names.join(u',');
        };
        QCOMPARE(rowsFor(QStringLiteral("MULL")), QStringLiteral("M\u00fcller"));
        QCOMPARE(rowsFor(QStringLiteral("cafe")), QStringLiteral("M\u00fcller"));
        QCOMPARE(rowsFor(QStringLiteral("017")), QStringLiteral("Anna,Bob"));
        view->sortByColumn(0, Qt::DescendingOrder);
        QCOMPARE(rowsFor(QString()), QStringLiteral("M\u00fcller,Bob,Anna"));

        // A cell edit is cleaned as in the tree and is one undo step.
        const QByteArray before = book(*w);
        QVERIFY(
            view->model()->setData(view->model()->index(2, 2), QStringLiteral("0171 (9)\n0175")));
        QCOMPARE(w->phonebook().name(0).subs.size(), size_t(3));
        QCOMPARE(w->phonebook().name(0).subs[2].text, QStringLiteral("0175"));
        QCOMPARE(view->model()->index(2, 2).data().toString(), QStringLiteral("01719\n0175"));
        QCOMPARE(test::command(*w, "edit.undo")->text(), QStringLiteral("&Undo Edit \"Anna\""));
        test::command(*w, "edit.undo")->trigger();
        QCOMPARE(book(*w), before);

        // The view is remembered; the next start shows the table.
        w->phonebook().bookChanged = false;
        const QString ini = w->configPath();
        w->close();
        ProfileFile file(ini);
        QVERIFY(file.load());
        QCOMPARE(file.value("CONFIG", "VIEW"), std::optional<QByteArray>("TABLE"));
        auto again = startWindow();
        QVERIFY(test::command(*again, "view.table")->isChecked());
        QVERIFY(again->tableView()->isVisible());
        test::command(*again, "view.tree")->trigger();
        QVERIFY(again->treeView()->isVisible());
        QVERIFY(!again->tableView()->isAttached());
    }
};

QTEST_MAIN(TestEdit)
#include "tst_edit.moc"
