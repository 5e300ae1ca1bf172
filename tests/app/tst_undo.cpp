// The book's undo history: random editing sessions, with writes to a phone
// among the edits, undone and redone step by step must give back exactly the
// book and the item model of every step, and the book's changed flag must
// follow what was saved. A step never acts on a node it did not change.
#include "app/BookUndo.h"
#include "model/BookEditor.h"
#include "transfer/Transfer.h"

#include "link/Frame.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QUndoStack>

using namespace quorix;

namespace {

// Everything a step may change: texts, kinds, order, expansion, notes, as the
// book holds them and as the item model shows them. A write's notes are its
// report, kept outside the history, so after a write they are left out.
QString state(const BookModel& model, bool notes = true) {
    const Book& b = model.book();
    QString out = QStringLiteral("root %1\n").arg(b.rootExpanded ? "open" : "closed");
    for (const auto& n : b) {
        out += QStringLiteral("%1 %2").arg(n->text, n->expanded ? "+" : "-");
        if (notes)
            out += QStringLiteral(" note %1").arg(n->data);
        out += u'\n';
        for (const Subentry& s : n->subs)
            out += QStringLiteral("  %1:%2\n").arg(s.kind).arg(s.text);
    }
    if (notes)
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

// A phone at message level that takes every write: its answers wait in an
// outbox until the session hands them over, so edits can come in between.
class TestPhone : public transfer::TransferLink {
public:
    link::PhonebookAnswer* handler = nullptr;
    QList<QByteArray> outbox;

    void startLink(link::LinkListener* listener) override { listener->linkStarted(true); }
    void stopLink() override {
        outbox.clear();
        partial_.clear();
    }
    bool sendFrame(quint8, const QByteArray& data, quint8 fragment, bool) override {
        partial_ += data;
        if (fragment != 1)
            return true;
        const transfer::Request r = transfer::recogniseRequest(std::exchange(partial_, {}));
        if (r.kind == transfer::RequestKind::MemoryInfo)
            answer(transfer::memoryInfoAnswer(50, 0));
        else if (r.kind == transfer::RequestKind::Write)
            answer(transfer::writeConfirmedAnswer(r.location));
        return true;
    }
    // Never silent, so the watchdog never asks.
    quint32 lastValidFrameTime() const override { return now(); }
    quint32 now() const override { return quint32(clock_.elapsed()); }
    void setPhonebookAnswer(link::PhonebookAnswer* h) override { handler = h; }
    void deliverOne() {
        if (!outbox.isEmpty())
            handler->handlePhonebookAnswer(outbox.takeFirst());
    }

private:
    void answer(const QByteArray& payload) {
        for (const transfer::Chunk& c : transfer::splitPayload(payload))
            outbox << link::buildFrame(link::TypeMemory, c.data, c.fragment,
                                       link::makeSequenceByte(seq_++, c.followOn), link::FromPhone);
    }
    QElapsedTimer clock_ = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    QByteArray partial_;
    int seq_ = 0;
};

struct NoUi : transfer::TransferUi {
    void showStatus(const QByteArray&) override {}
    void showError(const QByteArray&, const QByteArray&) override {}
    void askTimeout(const QByteArray&, const QByteArray&) override {}
};

struct Session {
    explicit Session(quint32 seed, bool fill = true) : rng(seed) {
        if (fill)
            randomBook(model.book(), rng, rng.bounded(1, 8));
        editor.setMessageHandler([this](const UserMessage& m) {
            return m.type == UserMessage::Type::Error || rng.bounded(4) != 0;
        });
        transfer.setTiming({.watchdogMs = 3000, .silenceMs = 5000, .chunkPauseMs = 0});
        // As the window does: undo waits from the link's start to the end.
        QObject::connect(&transfer, &transfer::Transfer::stateChanged, &undo,
                         [this](transfer::Transfer::State state) {
                             undo.setTransferActive(state != transfer::Transfer::State::Idle);
                         });
    }

    // One random user action (an edit or a write to the phone).
    void act() {
        if (rng.bounded(14) == 0)
            write();
        else
            edit();
    }

    // A write, with edits made while it runs (as the window allows them) or not.
    void write(bool withEdits = true) {
        QSignalSpy finished(&transfer, &transfer::Transfer::finished);
        transfer.startWrite();
        wrote = true;
        while (finished.isEmpty()) {
            if (withEdits && rng.bounded(3) == 0)
                edit();
            if (phone.outbox.isEmpty())
                QTest::qWait(1); // the pause between a request's frames
            else
                phone.deliverOne();
        }
    }

    void edit() {
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
            if (model.book().transferActive)
                break; // the window refuses imports meanwhile
            Book imported;
            randomBook(imported, rng, rng.bounded(4));
            const BookStepScope step(model, QStringLiteral("Import"));
            model.replaceContent(imported);
            break;
        }
        }
    }

    QRandomGenerator rng;
    BookModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::QtTest};
    BookEditor editor{model};
    BookUndo undo{model};
    TestPhone phone;
    NoUi ui;
    transfer::Transfer transfer{phone, model, ui};
    bool wrote = false; // a write's notes are in the book now
};

} // namespace

class TestUndo : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void randomSessionsUndoAndRedoExactly();
    void undoAfterWriteGivesTheBookBefore();
    void stepNeverActsOnAnotherNode();
    void changedFlagFollowsSavedState();
    void stepsAreNamedAndBounded();
    void undoWaitsWhileTransferRuns();
};

void TestUndo::randomSessionsUndoAndRedoExactly() {
    constexpr int Sessions = 300;
    constexpr int Actions = 40;
    int steps = 0, undos = 0, redos = 0, writes = 0;
    for (quint32 seed = 1; seed <= Sessions; ++seed) {
        Session s(seed);
        QUndoStack& stack = *s.undo.stack();
        QSignalSpy lost(&s.undo, &BookUndo::historyLost);
        // states[i]: the state with i steps done, with and without the notes,
        // noted as each step is pushed (a write pushes one for each name whose
        // subentries it puts in order).
        QList<std::pair<QString, QString>> states{{state(s.model), state(s.model, false)}};
        bool replaying = false;
        const QObject listening; // goes before states
        QObject::connect(&stack, &QUndoStack::indexChanged, &listening, [&](int index) {
            if (replaying)
                return;
            ++steps;
            states.resize(index);
            states.append({state(s.model), state(s.model, false)});
        });
        QString failure;
        const auto same = [&](const char* what) {
            const auto& [full, bare] = states[stack.index()];
            const QString now = state(s.model, !s.wrote);
            if (now == (s.wrote ? bare : full))
                return true;
            failure = QStringLiteral("seed %1, %2 to step %3:\n%4\nexpected:\n%5")
                          .arg(seed)
                          .arg(QLatin1String(what))
                          .arg(stack.index())
                          .arg(now, s.wrote ? bare : full);
            return false;
        };
        const auto replay = [&](bool back) {
            replaying = true;
            back ? s.undo.undo() : s.undo.redo();
            replaying = false;
            ++(back ? undos : redos);
        };
#define CHECK_STATE(what) QVERIFY2(same(what), qPrintable(failure))
        for (int i = 0; i < Actions; ++i) {
            const int roll = static_cast<int>(s.rng.bounded(10));
            if (roll == 0 && stack.canUndo()) {
                replay(true);
                CHECK_STATE("undo");
            } else if (roll == 1 && stack.canRedo()) {
                replay(false);
                CHECK_STATE("redo");
            } else {
                const bool wrote = s.wrote;
                s.act();
                writes += s.wrote && !wrote;
                CHECK_STATE("an action");
            }
        }
        while (stack.canUndo()) {
            replay(true);
            CHECK_STATE("undo");
        }
        QVERIFY2(!s.model.book().bookChanged, qPrintable(QString::number(seed)));
        while (stack.canRedo()) {
            replay(false);
            CHECK_STATE("redo");
        }
        QVERIFY2(lost.isEmpty(), qPrintable(QString::number(seed)));
    }
#undef CHECK_STATE
    qInfo("%d sessions of %d actions (%d with a write): %d steps recorded, %d undos and %d redos "
          "checked",
          Sessions, Actions, writes, steps, undos, redos);
    QVERIFY(steps > Sessions * Actions / 3);
    QVERIFY(writes > Sessions / 4);
}

void TestUndo::undoAfterWriteGivesTheBookBefore() {
    // A text entry put in front of a number; the write sorts the number first.
    Session s(1, false);
    Book& b = s.model.book();
    Name& anna = b.insertName(0, QStringLiteral("Anna"));
    Book::addSubentry(anna, QStringLiteral("0171"), KindMobile);
    const QString before = describeBook(b);
    s.editor.newTextEntry(s.model.indexOf(anna, 0));
    QCOMPARE(describeBook(b), QStringLiteral("Anna\n  Note: Text\n  Mobile: 0171\n"));
    s.write(false);
    QCOMPARE(describeBook(b), QStringLiteral("Anna\n  Mobile: 0171\n  Note: Text\n"));
    QCOMPARE(s.undo.undoAction()->text(), QStringLiteral("&Undo Sort \"Anna\""));
    s.undo.undo();
    QCOMPARE(s.undo.undoAction()->text(), QStringLiteral("&Undo New text entry"));
    s.undo.undo();
    QCOMPARE(describeBook(b), before);
    QVERIFY(!b.bookChanged);
    s.undo.redo();
    s.undo.redo();
    QCOMPARE(describeBook(b), QStringLiteral("Anna\n  Mobile: 0171\n  Note: Text\n"));
    QVERIFY(b.bookChanged);
}

void TestUndo::stepNeverActsOnAnotherNode() {
    // Each step, then a change made outside the history that puts another node
    // where the step's node was: undo must leave the book alone and drop the
    // history, since nothing on it fits the book any more.
    struct Case {
        const char* name;
        std::function<void(BookModel&, BookEditor&)> step;
        std::function<void(BookModel&)> outside;
    };
    const auto idx = [](BookModel& m, int row, int pos = -1) {
        Name& n = m.book().name(row);
        return pos < 0 ? m.indexOf(n) : m.indexOf(n, pos);
    };
    const QList<Case> cases = {
        {"new text entry, then an unrecorded sort",
         [&](BookModel& m, BookEditor& e) { e.newTextEntry(idx(m, 0, 0)); },
         [](BookModel& m) { m.sortByClass(m.book().name(0)); }},
        {"change type, then a subentry removed before it",
         [&](BookModel& m, BookEditor& e) { e.changeType(idx(m, 0, 1), KindEMail); },
         [](BookModel& m) { m.removeSubentry(m.book().name(0), 0); }},
        {"rename, then a name put in front",
         [&](BookModel& m, BookEditor&) { m.setData(idx(m, 1), QStringLiteral("Carl")); },
         [](BookModel& m) { m.insertName(0, QStringLiteral("Eve")); }},
        {"new name, then another name put in its place",
         [&](BookModel& m, BookEditor& e) { e.newName(idx(m, 0)); },
         [](BookModel& m) { m.insertName(0, QStringLiteral("Eve")); }},
        {"drag, then the moved subentry changed",
         [&](BookModel& m, BookEditor&) { m.bookEndDrag(idx(m, 0, 0), idx(m, 1)); },
         [](BookModel& m) { m.setSubentryText(m.book().name(1), 0, QStringLiteral("0999")); }},
        {"sort book, then a name added", [&](BookModel&, BookEditor& e) { e.sortBook(); },
         [](BookModel& m) { m.insertName(1, QStringLiteral("Eve")); }},
    };
    for (const Case& c : cases) {
        BookModel model;
        BookEditor editor(model);
        editor.setMessageHandler([](const UserMessage&) { return true; });
        BookUndo undo(model);
        QSignalSpy lost(&undo, &BookUndo::historyLost);
        Book& b = model.book();
        Name& anna = b.insertName(0, QStringLiteral("Anna"));
        Book::addSubentry(anna, QStringLiteral("0171"), KindMobile);
        Book::addSubentry(anna, QStringLiteral("x"), KindNote);
        Book::addSubentry(b.insertName(1, QStringLiteral("Bob")), QStringLiteral("089"),
                          KindGeneral);
        c.step(model, editor);
        QVERIFY2(undo.stack()->canUndo(), c.name);
        c.outside(model);
        const QString before = state(model);
        b.bookChanged = false;
        undo.undo();
        QVERIFY2(state(model) == before, c.name);
        QVERIFY2(lost.size() == 1 && !undo.stack()->canUndo() && !undo.stack()->canRedo(), c.name);
        QVERIFY2(b.bookChanged, c.name);
    }
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
