// The book's undo history: random editing sessions undone and redone step by
// step must give back exactly the book and the item model of every step, and
// the book's changed flag must follow what was saved.
#include "app/BookUndo.h"
#include "model/BookEditor.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QRandomGenerator>
#include <QTest>
#include <QUndoStack>

using namespace quorix;

namespace {

// Everything a step may change: texts, kinds, order, expansion, notes, as the
// book holds them and as the item model shows them.
QString state(const BookModel& model) {
    const Book& b = model.book();
    QString out = QStringLiteral("root %1\n").arg(b.rootExpanded ? "open" : "closed");
    for (const auto& n : b) {
        out += QStringLiteral("%1 %2 note %3\n").arg(n->text, n->expanded ? "+" : "-").arg(n->data);
        for (const Subentry& s : n->subs)
            out += QStringLiteral("  %1:%2\n").arg(s.kind).arg(s.text);
    }
    for (const auto& note : b.entryNotes)
        out += QStringLiteral("note ") + note + u'\n';
    const std::function<void(const QModelIndex&, int)> walk = [&](const QModelIndex& parent,
                                                                  int depth) {
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex i = model.index(row, 0, parent);
            out += QString(depth, u'.') + i.data().toString() + u' ' +
                   QString::number(i.data(BookModel::KindRole).toInt()) + u'\n';
            walk(i, depth + 1);
        }
    };
    walk({}, 0);
    return out;
}

QString randomText(QRandomGenerator& rng, bool number) {
    static const QStringList names = {QStringLiteral("Anna"), QStringLiteral("Bob"),
                                      QStringLiteral("Carl"), QStringLiteral("Dörte"),
                                      QStringLiteral("Eve")};
    if (number)
        return QString::number(rng.bounded(1000, 99999));
    return names[rng.bounded(static_cast<int>(names.size()))] +
           (rng.bounded(3) == 0 ? QString::number(rng.bounded(3)) : QString());
}

void randomBook(Book& book, QRandomGenerator& rng, int names) {
    for (int i = 0; i < names; ++i) {
        Name& n = book.insertName(book.entryCount(), randomText(rng, false) + QString::number(i));
        const int subs = rng.bounded(5);
        for (int j = 0; j < subs; ++j) {
            const int kind = rng.bounded(KindGeneral, KindNote + 1);
            Book::addSubentry(n, randomText(rng, isNumberKind(kind)), kind);
        }
        if (rng.bounded(3) == 0)
            Book::addSubentry(n, groupNames[1], KindCallerGroup);
        Book::sortByClass(n);
        n.expanded = !n.subs.empty() && rng.bounded(2) == 0;
        if (rng.bounded(4) == 0)
            book.setEntryNote(n, QStringLiteral("Read from location %1").arg(i + 1));
    }
    book.rootExpanded = true;
}

// Any node of the model, or none.
QModelIndex randomNode(const BookModel& model, QRandomGenerator& rng) {
    const Book& b = model.book();
    const int pick = rng.bounded(10);
    if (pick == 0 || b.isEmpty())
        return pick == 1 ? QModelIndex() : model.rootIndex();
    const Name& n = b.name(rng.bounded(b.entryCount()));
    if (pick < 5 || n.subs.empty())
        return model.indexOf(n);
    return model.indexOf(n, rng.bounded(static_cast<int>(n.subs.size())));
}

struct Session {
    explicit Session(quint32 seed) : rng(seed) {
        randomBook(model.book(), rng, rng.bounded(1, 8));
        editor.setMessageHandler([this](const UserMessage& m) {
            return m.type == UserMessage::Type::Error || rng.bounded(4) != 0;
        });
    }

    // One random user action; true when it put a step on the stack.
    bool act() {
        const int before = undo.stack()->index();
        const QModelIndex node = randomNode(model, rng);
        switch (rng.bounded(13)) {
        case 0:
            editor.newEntry(node);
            break;
        case 1:
            editor.newTextEntry(node);
            break;
        case 2:
            editor.newName(node);
            break;
        case 3:
            editor.deleteNode(node);
            break;
        case 4:
            if (rng.bounded(4) == 0)
                editor.clearBook();
            break;
        case 5:
            editor.changeType(node, rng.bounded(KindGeneral, KindNote + 1));
            break;
        case 6:
            editor.setGroup(node, rng.bounded(1, GroupCount));
            break;
        case 7:
        case 8: {
            // Through the model, as the label editor commits; names often
            // meet another name's text, which offers a merge.
            const Subentry* sub = model.subentryOf(node);
            model.setData(node, randomText(rng, sub && isNumberKind(sub->kind) && rng.bounded(2)));
            break;
        }
        case 9:
            editor.sortBook();
            break;
        case 10:
            editor.flipBook();
            break;
        case 11:
            model.bookEndDrag(randomNode(model, rng), randomNode(model, rng));
            break;
        case 12: {
            Book imported;
            randomBook(imported, rng, rng.bounded(4));
            const BookStepScope step(model, QStringLiteral("Import"));
            model.replaceContent(imported);
            break;
        }
        }
        return undo.stack()->index() != before;
    }

    QRandomGenerator rng;
    BookModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    BookEditor editor{model};
    BookUndo undo{model};
};

} // namespace

class TestUndo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void randomSessionsUndoAndRedoExactly();
    void changedFlagFollowsSavedState();
    void stepsAreNamedAndBounded();
    void undoWaitsWhileTransferRuns();
};

void TestUndo::randomSessionsUndoAndRedoExactly() {
    constexpr int Sessions = 300;
    constexpr int Actions = 40;
    int steps = 0, undos = 0, redos = 0;
    for (quint32 seed = 1; seed <= Sessions; ++seed) {
        Session s(seed);
        QUndoStack& stack = *s.undo.stack();
        // states[i]: the state with i steps done.
        QStringList states{state(s.model)};
        QString failure;
        const auto same = [&](const char* what) {
            if (state(s.model) == states[stack.index()])
                return true;
            failure = QStringLiteral("seed %1, %2 to step %3:\n%4\nexpected:\n%5")
                          .arg(seed)
                          .arg(QLatin1String(what))
                          .arg(stack.index())
                          .arg(state(s.model), states[stack.index()]);
            return false;
        };
#define CHECK_STATE(what) QVERIFY2(same(what), qPrintable(failure))
        for (int i = 0; i < Actions; ++i) {
            const int roll = static_cast<int>(s.rng.bounded(10));
            if (roll == 0 && stack.canUndo()) {
                s.undo.undo();
                ++undos;
                CHECK_STATE("undo");
            } else if (roll == 1 && stack.canRedo()) {
                s.undo.redo();
                ++redos;
                CHECK_STATE("redo");
            } else if (s.act()) {
                ++steps;
                states.resize(stack.index());
                states.append(state(s.model));
            } else {
                CHECK_STATE("an action that made no step");
            }
        }
        while (stack.canUndo()) {
            s.undo.undo();
            ++undos;
            CHECK_STATE("undo");
        }
        QVERIFY2(!s.model.book().bookChanged, qPrintable(QString::number(seed)));
        while (stack.canRedo()) {
            s.undo.redo();
            ++redos;
            CHECK_STATE("redo");
        }
    }
#undef CHECK_STATE
    qInfo("%d sessions of %d actions: %d steps recorded, %d undos and %d redos checked", Sessions,
          Actions, steps, undos, redos);
    QVERIFY(steps > Sessions * Actions / 3);
}

void TestUndo::changedFlagFollowsSavedState() {
    BookModel model;
    BookEditor editor(model);
    editor.setMessageHandler([](const UserMessage&) { return true; });
    BookUndo undo(model);
    Book& b = model.book();
    b.insertName(0, QStringLiteral("Anna"));
    b.insertName(1, QStringLiteral("Bob"));
    const QModelIndex anna = model.indexOf(b.name(0));

    editor.newEntry(anna); // step 1
    QVERIFY(b.bookChanged);
    undo.undo();
    QVERIFY(!b.bookChanged); // back to what was loaded
    undo.redo();
    QVERIFY(b.bookChanged);
    undo.setSaved(); // saved with the number
    b.bookChanged = false;
    editor.deleteNode(model.indexOf(b.name(1))); // step 2
    undo.undo();
    QVERIFY(!b.bookChanged);
    undo.undo(); // before what was saved
    QVERIFY(b.bookChanged);
    undo.redo();
    QVERIFY(!b.bookChanged);

    // Flip book leaves the flag alone, and so do its undo and redo.
    editor.flipBook();
    QVERIFY(!b.bookChanged);
    undo.undo();
    QVERIFY(!b.bookChanged);
    undo.redo();
    QVERIFY(!b.bookChanged);

    // After a read the history is gone and nothing on it is the saved book.
    b.bookChanged = true;
    undo.clear();
    QVERIFY(!undo.stack()->canUndo());
    editor.newName(anna);
    undo.undo();
    QVERIFY(b.bookChanged);
}

void TestUndo::stepsAreNamedAndBounded() {
    BookModel model;
    BookEditor editor(model);
    editor.setMessageHandler([](const UserMessage&) { return true; });
    BookUndo undo(model);
    model.book().insertName(0, QStringLiteral("Anna"));
    model.book().insertName(1, QStringLiteral("Bob"));
    QCOMPARE(undo.undoAction()->text(), QStringLiteral("&Undo"));
    QVERIFY(!undo.undoAction()->isEnabled());
    editor.deleteNode(model.indexOf(model.book().name(0)));
    QCOMPARE(undo.undoAction()->text(), QStringLiteral("&Undo Delete \"Anna\""));
    undo.undoAction()->trigger();
    QCOMPARE(model.book().name(0).text, QStringLiteral("Anna"));
    QCOMPARE(undo.redoAction()->text(), QStringLiteral("&Redo Delete \"Anna\""));

    // A merge is one step, named as one.
    model.setData(model.indexOf(model.book().name(1)), QStringLiteral("Anna"));
    QCOMPARE(model.book().entryCount(), 1);
    QCOMPARE(undo.undoAction()->text(), QStringLiteral("&Undo Merge \"Bob\""));
    undo.undo();
    QCOMPARE(describeBook(model.book()), QStringLiteral("Anna\nBob\n"));

    // The history keeps the latest steps only.
    for (int i = 0; i < BookUndo::Limit + 50; ++i)
        editor.newName(model.rootIndex());
    QCOMPARE(undo.stack()->count(), BookUndo::Limit);
    while (undo.stack()->canUndo())
        undo.undo();
    QCOMPARE(model.book().entryCount(), 52);
}

void TestUndo::undoWaitsWhileTransferRuns() {
    BookModel model;
    BookEditor editor(model);
    BookUndo undo(model);
    editor.newName(model.rootIndex());
    undo.setTransferActive(true);
    QVERIFY(!undo.undoAction()->isEnabled());
    undo.undoAction()->trigger();
    undo.undo();
    QCOMPARE(model.book().entryCount(), 1);
    undo.setTransferActive(false);
    QVERIFY(undo.undoAction()->isEnabled());
    undo.undo();
    QCOMPARE(model.book().entryCount(), 0);
}

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
