// The table of names over the book model: its cells, its filter and sort, and
// cell edits.
#include "ModelTestSupport.h"
#include "TestModel.h"
#include "model/BookSearch.h"
#include "model/BookTableModel.h"

#include <QTest>

using namespace quorix;
using namespace quorix::test;

namespace {

// The book model with the table and its filter over it, all three checked by
// QAbstractItemModelTester on every signal.
struct TableFixture : EditorFixture {
    TableFixture() {
        table.setSourceModel(&model);
        table.setCommitHandler([this](const QModelIndex& name, int column, const QString& text) {
            editor.commitCell(name, BookTableModel::kindOf(column), text);
        });
        filter.setSourceModel(&table);
        model.setStepSink(
            [this](std::unique_ptr<BookStep> step) { steps.push_back(std::move(step)); });
    }
    BookTableModel table;
    BookTableFilter filter;
    QAbstractItemModelTester tableTester{&table,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest};
    QAbstractItemModelTester filterTester{&filter,
                                          QAbstractItemModelTester::FailureReportingMode::QtTest};
    std::vector<std::unique_ptr<BookStep>> steps;

    // The rows a view of the filter shows, "cell|cell|..." one per line.
    QByteArray shown() const {
        QByteArrayList rows;
        for (int r = 0; r < filter.rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < BookTableModel::ColumnCount; ++c)
                cells << filter.index(r, c).data().toString().replace(u'\n', u'/');
            rows << cells.join(u'|').toUtf8();
        }
        return rows.join('\n');
    }
    // The same rows worked out from the book alone.
    QByteArray expected() const {
        const QString needle = BookSearch::fold(filter.filterText());
        std::vector<const Name*> rows;
        for (const auto& name : model.book()) {
            QString all = name->text;
            for (const Subentry& sub : name->subs)
                all += u'\x01' + sub.text;
            if (BookSearch::fold(all).contains(needle))
                rows.push_back(name.get());
        }
        const int column = filter.sortColumn();
        if (column >= 0) {
            // Empty cells last, then by folded text; ties in book order.
            const auto key = [column](const Name* n) {
                return BookSearch::fold(BookTableModel::cellText(*n, column));
            };
            std::stable_sort(rows.begin(), rows.end(), [&](const Name* a, const Name* b) {
                const QString ka = key(a), kb = key(b);
                const bool less = ka.isEmpty() != kb.isEmpty() ? kb.isEmpty() : ka < kb;
                const bool greater = ka.isEmpty() != kb.isEmpty() ? ka.isEmpty() : kb < ka;
                return filter.sortOrder() == Qt::AscendingOrder ? less : greater;
            });
        }
        QByteArrayList out;
        for (const Name* n : rows) {
            QStringList cells;
            for (int c = 0; c < BookTableModel::ColumnCount; ++c)
                cells << BookTableModel::cellText(*n, c).replace(u'\n', u'/');
            out << cells.join(u'|').toUtf8();
        }
        return out.join('\n');
    }
};

} // namespace

void TestModel::tableShowsOneRowPerName() {
    TableFixture f;
    fill(f.book(), {"Anna|3:0171|3:0172|2:040|7:a@b.de|10:VIP", "Bob|9:Note|11:odd"});
    f.model.rebuild([](Book&) {});
    QCOMPARE(f.table.rowCount(), 2);
    QStringList headers;
    for (int c = 0; c < f.table.columnCount(); ++c)
        headers << f.table.headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers.join(u','), QStringLiteral("Name,General,Mobile,Home,Office,Fax,E-Mail,"
                                                "Postal Address,Note,Caller group"));
    // A second number of a kind is a second line of its cell.
    QCOMPARE(f.shown(), QByteArray("Anna|040|0171/0172||||a@b.de|||VIP\n"
                                   "Bob||||||||Note|"));
    // Names, numbers and texts edit; the group is chosen by its commands.
    QVERIFY(f.table.flags(f.table.index(0, BookTableModel::MobileColumn)) & Qt::ItemIsEditable);
    QVERIFY(!(f.table.flags(f.table.index(0, BookTableModel::GroupColumn)) & Qt::ItemIsEditable));
    // A subentry maps to its name's row, in its kind's column.
    QCOMPARE(f.table.mapFromSource(f.subIndex(0, 1)),
             f.table.index(0, BookTableModel::MobileColumn));
    QCOMPARE(f.table.mapToSource(f.table.index(1, BookTableModel::NoteColumn)), f.nameIndex(1));
}

void TestModel::tableFollowsBookAndFilter_data() {
    QTest::addColumn<QString>("filterText");
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<int>("order");
    QTest::newRow("all, book order") << QString() << -1 << int(Qt::AscendingOrder);
    QTest::newRow("accent-free, by name") << QStringLiteral("MULL") << 0 << int(Qt::AscendingOrder);
    QTest::newRow("number, by mobile") << QStringLiteral("17") << 2 << int(Qt::AscendingOrder);
    QTest::newRow("text, by note, down") << QStringLiteral("e") << 8 << int(Qt::DescendingOrder);
    QTest::newRow("unshown kind") << QStringLiteral("odd") << 1 << int(Qt::AscendingOrder);
}

void TestModel::tableFollowsBookAndFilter() {
    QFETCH(QString, filterText);
    QFETCH(int, sortColumn);
    QFETCH(int, order);
    TableFixture f;
    fill(f.book(), {"Müller|3:0171|9:Café", "Émile|2:0172|3:0999", "mull|11:odd|8:Street",
                    "Zoe|3:017", "Anna"});
    f.model.rebuild([](Book&) {});
    f.filter.sort(sortColumn, Qt::SortOrder(order));
    f.filter.setFilterText(filterText);
    QCOMPARE(f.shown(), f.expected());
    QVERIFY(!f.shown().isEmpty());
    // Every kind of change to the book keeps the table and the filter true.
    const std::vector<std::function<void()>> changes = {
        [&] { f.model.insertName(1, QStringLiteral("Mullah")); },
        [&] { f.model.addSubentry(f.book().name(0), QStringLiteral("01717"), KindMobile); },
        [&] { f.model.setNameText(f.book().name(3), QStringLiteral("Zoë Müll")); },
        [&] { f.model.setSubentryKind(f.book().name(2), 0, KindNote); },
        [&] { f.model.moveSubentry(f.book().name(2), 1, f.book().name(5), 0); },
        [&] { f.model.removeSubentry(f.book().name(3), 0); },
        [&] { f.model.sortByClass(f.book().name(2)); },
        [&] { f.editor.sortBook(QLocale(QLocale::German)); },
        [&] { f.model.flipBook(); },
        [&] { f.model.removeName(0); },
        [&] { f.filter.setFilterText(filterText + QStringLiteral("x")); },
        [&] { f.filter.setFilterText(filterText); },
        [&] { f.model.clearNames(); },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        changes[i]();
        QVERIFY2(f.shown() == f.expected(),
                 qPrintable(QString::number(i) + QLatin1Char('\n') + QString::fromUtf8(f.shown())));
    }
}

void TestModel::tableSelectionSurvivesFilter() {
    TableFixture f;
    fill(f.book(), {"Anna", "Bert", "Hanna", "Otto"});
    f.model.rebuild([](Book&) {});
    const QPersistentModelIndex hanna = f.filter.index(2, 3);
    f.filter.setFilterText(QStringLiteral("ANN"));
    QCOMPARE(hanna.row(), 1);
    QCOMPARE(hanna.column(), 3);
    f.editor.sortBook(QLocale(QLocale::German));
    f.filter.sort(0, Qt::DescendingOrder);
    QCOMPARE(hanna.row(), 0);
    f.filter.setFilterText(QStringLiteral("otto"));
    QVERIFY(!hanna.isValid());
}

void TestModel::tableCellEdits_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("book");
    QTest::addColumn<QByteArray>("messages");
    const QByteArray rest = "  E-Mail: a@b\n  Caller group: VIP\nBob\n";
    QTest::newRow("number cleaned")
        << 2 << QStringLiteral("(0171) 2x") << "Anna\n  General: 040\n  Mobile: 01712\n" + rest
        << QByteArray();
    QTest::newRow("second line changed, third added")
        << 2 << QStringLiteral("0171\n0179\n0170")
        << "Anna\n  General: 040\n  Mobile: 0171\n  Mobile: 0179\n  Mobile: 0170\n" + rest
        << QByteArray();
    QTest::newRow("line taken away")
        << 2 << QStringLiteral("0172") << "Anna\n  General: 040\n  Mobile: 0172\n" + rest
        << QByteArray();
    QTest::newRow("emptied cell") << 1 << QString()
                                  << "Anna\n  Mobile: 0171\n  Mobile: 0172\n" + rest
                                  << QByteArray();
    QTest::newRow("new kind sorted in by class")
        << 5 << QStringLiteral("+49 99")
        << "Anna\n  General: 040\n  Mobile: 0171\n  Mobile: 0172\n  Fax: +4999\n" + rest
        << QByteArray();
    QTest::newRow("numbers full") << 3 << QStringLiteral("1\n2\n3")
                                  << "Anna\n  General: 040\n  Mobile: 0171\n  Mobile: 0172\n"
                                     "  Home: 1\n  Home: 2\n" +
                                         rest
                                  << QByteArray("Error: Too many numbers!");
    QTest::newRow("texts full") << 8 << QStringLiteral("n1\nn2")
                                << QByteArray(
                                       "Anna\n  General: 040\n  Mobile: 0171\n  Mobile: 0172\n"
                                       "  E-Mail: a@b\n  Note: n1\n  Caller group: VIP\nBob\n")
                                << QByteArray("Error: Too many text-entries!");
    QTest::newRow("rename") << 0 << QStringLiteral("Anne")
                            << "Anne\n  General: 040\n  Mobile: 0171\n  Mobile: 0172\n" + rest
                            << QByteArray();
    QTest::newRow("rename onto another asks to merge")
        << 0 << QStringLiteral("Bob")
        << "Anna\n  General: 040\n  Mobile: 0171\n  Mobile: 0172\n" + rest
        << QByteArray("Double entry: Name already exists! Merge entries?\r"
                      "Note: Caller groups will not be merged!\r\r\"Anna\" is renamed \"Bob\" "
                      "and takes the entries of the other \"Bob\", which is then removed.");
}

void TestModel::tableCellEdits() {
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(QByteArray, book);
    QFETCH(QByteArray, messages);
    TableFixture f;
    fill(f.book(), {"Anna|2:040|3:0171|3:0172|7:a@b|10:VIP", "Bob"});
    f.model.rebuild([](Book&) {});
    const QByteArray before = describeBook(f.book()).toUtf8();
    // Through the filter, as a view edits.
    QVERIFY(f.filter.setData(f.filter.index(0, column), text));
    QCOMPARE(describeBook(f.book()).toUtf8(), book);
    QCOMPARE(f.messages.log(), messages);
    QCOMPARE(f.shown(), f.expected());
    // One undo step, and undoing it gives the book back.
    QVERIFY(f.steps.size() <= 1);
    if (book != before) {
        QCOMPARE(f.steps.size(), size_t(1));
        QVERIFY(f.book().bookChanged);
        QVERIFY(f.steps.front()->undo(f.model));
        QCOMPARE(describeBook(f.book()).toUtf8(), before);
    }
}
