// Adding a book to a book, and finding and merging the names that are one person.
#include "ModelTestSupport.h"
#include "TestModel.h"
#include "model/BookMerge.h"

#include <QTest>

using namespace quorix;
using namespace quorix::test;

namespace {

// The book in fill()'s notation, one name a line.
QByteArray compact(const Book& book) {
    QByteArrayList lines;
    for (const auto& n : book) {
        QByteArray line = n->text.toUtf8();
        if (!n->organization.isEmpty())
            line += "|org:" + n->organization.toUtf8();
        for (const Subentry& s : n->subs)
            line += '|' + QByteArray::number(s.kind) + ':' + s.text.toUtf8();
        lines << line;
    }
    return lines.join('\n');
}

QByteArray groupsText(const std::vector<DuplicateGroup>& groups) {
    QByteArrayList out;
    for (const DuplicateGroup& g : groups) {
        QByteArrayList rows;
        for (const int r : g)
            rows << QByteArray::number(r);
        out << rows.join(',');
    }
    return out.join(' ');
}

} // namespace

void TestModel::addToBook_data() {
    QTest::addColumn<QByteArrayList>("book");
    QTest::addColumn<QByteArrayList>("incoming");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QList<int>>("counts"); // added, merged, skipped

    QTest::newRow("new names are appended in order")
        << QByteArrayList{"Anna|3:+491711"} << QByteArrayList{"Bob|2:030", "Carl"}
        << QByteArray("Anna|3:+491711\nBob|2:030\nCarl") << QList<int>{2, 0, 0};
    QTest::newRow("same person: case, accents, Family, Given")
        << QByteArrayList{"Jürgen Müller|3:+491711"}
        << QByteArrayList{"muller, jurgen|4:0301", "JÜRGEN  MÜLLER|9:Neighbour"}
        << QByteArray("Jürgen Müller|3:+491711|4:0301|9:Neighbour") << QList<int>{0, 2, 0};
    QTest::newRow("numbers already there are not doubled, written any way")
        << QByteArrayList{"Anna|3:+49 171 1234567|7:anna@example.org"}
        << QByteArrayList{"Anna|2:01711234567|3:0049-171-1234567|7:Anna@Example.org"}
        << QByteArray("Anna|3:+49 171 1234567|7:anna@example.org") << QList<int>{0, 0, 1};
    QTest::newRow("another country's number with the same digits is new")
        << QByteArrayList{"Anna|3:+491711234567"} << QByteArrayList{"Anna|3:+331711234567"}
        << QByteArray("Anna|3:+491711234567|3:+331711234567") << QList<int>{0, 1, 0};
    QTest::newRow("the name keeps its own group")
        << QByteArrayList{"Anna|10:VIP"} << QByteArrayList{"Anna|10:Family|2:030"}
        << QByteArray("Anna|2:030|10:VIP") << QList<int>{0, 1, 0};
    QTest::newRow("a group joins a name without one")
        << QByteArrayList{"Anna|2:030"} << QByteArrayList{"Anna|10:Family"}
        << QByteArray("Anna|2:030|10:Family") << QList<int>{0, 1, 0};
    QTest::newRow("what does not fit becomes Name (2), whole")
        << QByteArrayList{"Anna|2:11111|2:22222|2:33333|2:44444"}
        << QByteArrayList{"Anna|2:55555|2:66666|2:11111"}
        << QByteArray("Anna|2:11111|2:22222|2:33333|2:44444\nAnna (2)|2:55555|2:66666")
        << QList<int>{1, 0, 0};
    QTest::newRow("third text does not fit; Name (2) is taken, so Name (3)")
        << QByteArrayList{"Anna|7:a@x|9:note", "Anna (2)|2:1"}
        << QByteArrayList{"anna|8:Main Street 1"}
        << QByteArray("Anna|7:a@x|9:note\nAnna (2)|2:1\nAnna (3)|8:Main Street 1")
        << QList<int>{1, 0, 0};
    QTest::newRow("one person twice in the import becomes one name")
        << QByteArrayList{"Bob"} << QByteArrayList{"Anna|2:030", "Anna|3:0171", "Anna|2:030"}
        << QByteArray("Bob\nAnna|2:030|3:0171") << QList<int>{1, 1, 1};
    QTest::newRow("nameless contacts are never merged")
        << QByteArrayList{"<No Name>|2:1"} << QByteArrayList{"<No Name>|2:1"}
        << QByteArray("<No Name>|2:1\n<No Name>|2:1") << QList<int>{1, 0, 0};
    QTest::newRow("the company comes along and fills a name without one")
        << QByteArrayList{"Anna|2:030", "Bob|org:Own|2:1"}
        << QByteArrayList{"Anna|org:ACME", "Bob|org:Other|2:1", "Carl|org:Shop|2:5"}
        << QByteArray("Anna|org:ACME|2:030\nBob|org:Own|2:1\nCarl|org:Shop|2:5")
        << QList<int>{1, 1, 1};
    QTest::newRow("into an empty book") << QByteArrayList{} << QByteArrayList{"Anna", "Bob"}
                                        << QByteArray("Anna\nBob") << QList<int>{2, 0, 0};
}

void TestModel::addToBook() {
    QFETCH(QByteArrayList, book);
    QFETCH(QByteArrayList, incoming);
    QFETCH(QByteArray, expected);
    QFETCH(QList<int>, counts);

    // The plain book (quorix-cli) and the item model (the window) give the
    // same book, and the model's one recorded step takes it all back.
    Book plain, in;
    fill(plain, book);
    fill(in, incoming);
    const AddCounts got = quorix::addToBook(plain, in);
    QCOMPARE(compact(plain), expected);
    QCOMPARE((QList<int>{got.added, got.merged, got.skipped}), counts);
    QVERIFY(in.isEmpty());

    BookModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    std::unique_ptr<BookStep> step;
    model.setStepSink([&](std::unique_ptr<BookStep> s) { step = std::move(s); });
    fill(model.book(), book);
    Book in2;
    fill(in2, incoming);
    {
        const BookStepScope scope(model, QStringLiteral("Import"));
        quorix::addToBook(model, in2);
    }
    QCOMPARE(compact(model.book()), expected);
    if (counts != QList<int>{0, 0, counts[2]}) {
        QVERIFY(step);
        QVERIFY(step->undo(model));
        QCOMPARE(compact(model.book()), book.join('\n'));
        QVERIFY(step->redo(model));
        QCOMPARE(compact(model.book()), expected);
    }
}

void TestModel::findAndMergeDuplicates_data() {
    QTest::addColumn<QByteArrayList>("book");
    QTest::addColumn<QByteArray>("groups");
    // The book after merging every group, or "refused" when the first cannot.
    QTest::addColumn<QByteArray>("merged");

    QTest::newRow("none") << QByteArrayList{"Anna|2:0301111", "Bob|2:0302222"} << QByteArray()
                          << QByteArray("Anna|2:0301111\nBob|2:0302222");
    QTest::newRow("shared number with and without country prefix")
        << QByteArrayList{"Anna|3:+49 171 1234567", "Bob", "Mum|2:0171/1234567"}
        << QByteArray("0,2") << QByteArray("Anna|3:+49 171 1234567\nBob");
    QTest::newRow("00 prefix, and +49 (0)")
        << QByteArrayList{"A|2:0049301234567", "B|2:+49 (0)30 1234567", "C|2:+49301234567"}
        << QByteArray("0,1,2") << QByteArray("A|2:0049301234567");
    QTest::newRow("other country codes with equal digits stay apart")
        << QByteArrayList{"A|2:+33171234567", "B|2:+49171234567"} << QByteArray()
        << QByteArray("A|2:+33171234567\nB|2:+49171234567");
    QTest::newRow("extensions tell numbers apart")
        << QByteArrayList{"Desk 1|5:+14186569254p101", "Desk 2|5:+14186569254p102",
                          "Desk 1b|5:4186569254p101"}
        << QByteArray("0,2") << QByteArray("Desk 1|5:+14186569254p101\nDesk 2|5:+14186569254p102");
    QTest::newRow("short numbers do not count")
        << QByteArrayList{"Police|2:110", "Fire|2:110", "New|2:+49", "Newer|2:+49"} << QByteArray()
        << QByteArray("Police|2:110\nFire|2:110\nNew|2:+49\nNewer|2:+49");
    QTest::newRow("equal names, and chains through a number")
        << QByteArrayList{"Schmidt, Anna|9:n", "Bob|2:0301234567", "anna schmidt|2:0301234567",
                          "Carl"}
        << QByteArray("0,1,2") << QByteArray("Schmidt, Anna|2:0301234567|9:n\nCarl");
    QTest::newRow("the first company found joins the merged name")
        << QByteArrayList{"Anna|2:0301234567", "anna|org:ACME", "Anna|org:Other"}
        << QByteArray("0,1,2") << QByteArray("Anna|org:ACME|2:0301234567");
    QTest::newRow("too much for one name: refused, nothing changes")
        << QByteArrayList{"A|2:11111|2:22222|2:33333", "a|2:44444|2:55555|2:66666"}
        << QByteArray("0,1") << QByteArray("refused");
}

void TestModel::findAndMergeDuplicates() {
    QFETCH(QByteArrayList, book);
    QFETCH(QByteArray, groups);
    QFETCH(QByteArray, merged);

    Book plain;
    fill(plain, book);
    const std::vector<DuplicateGroup> found = findDuplicates(plain);
    QCOMPARE(groupsText(found), groups);

    // Merging through the model: one step per group, undone as a whole.
    BookModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    std::vector<std::unique_ptr<BookStep>> steps;
    model.setStepSink([&](std::unique_ptr<BookStep> s) { steps.push_back(std::move(s)); });
    fill(model.book(), book);
    bool refused = false;
    // Last group first, so the rows of the earlier ones still hold.
    for (auto g = found.rbegin(); g != found.rend(); ++g) {
        const BookStepScope scope(model, QStringLiteral("Merge"));
        refused |= !mergeNames(model, *g);
    }
    QCOMPARE(refused ? QByteArray("refused") : compact(model.book()), merged);
    if (refused)
        QCOMPARE(compact(model.book()), book.join('\n'));
    QCOMPARE(steps.size(), refused ? size_t(0) : found.size());
    for (auto s = steps.rbegin(); s != steps.rend(); ++s)
        QVERIFY((*s)->undo(model));
    QCOMPARE(compact(model.book()), book.join('\n'));
}
