// Comparing the book with the phone, and the plan of a write of the changes.
#include "TestModel.h"
#include "model/PhoneSync.h"

#include <QTest>
#include <set>

using namespace quorix;

namespace {

// "Anna|3:+4912|9:Note": a name and its subentries by kind.
PhoneContent content(const QString& text) {
    const QStringList parts = text.split(u'|');
    PhoneContent c{parts.front(), {}};
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const qsizetype colon = parts[i].indexOf(u':');
        c.subs.push_back({parts[i].mid(colon + 1), parts[i].left(colon).toInt()});
    }
    return c;
}

// "7=Anna|3:+49": a name with a recorded location; without "N=" it has none.
std::vector<BookSide> bookSides(const QStringList& texts) {
    std::vector<BookSide> out;
    for (const QString& text : texts) {
        BookSide b;
        b.row = int(out.size());
        QString rest = text;
        if (const qsizetype eq = text.indexOf(u'='); eq > 0) {
            b.location = text.left(eq).toInt();
            rest = text.mid(eq + 1);
        }
        b.stored = content(rest);
        out.push_back(b);
    }
    return out;
}

std::vector<PhoneSlot> phoneSlots(const QStringList& texts) {
    std::vector<PhoneSlot> out;
    for (const QString& text : texts) {
        const qsizetype eq = text.indexOf(u'=');
        out.push_back({text.left(eq).toInt(), content(text.mid(eq + 1))});
    }
    return out;
}

// One line per slot: "location state row", changes after " : ".
QStringList describe(const Comparison& c) {
    static const char* const states[] = {"same", "changed", "new", "phone"};
    QStringList out;
    for (const SlotDiff& d : c.rows) {
        QString line = QStringLiteral("%1 %2 %3")
                           .arg(d.location)
                           .arg(QLatin1String(states[int(d.state)]))
                           .arg(d.bookRow);
        if (!d.changes.isEmpty())
            line += QStringLiteral(" : ") + d.changes.join(QStringLiteral(" / "));
        out << line;
    }
    return out;
}

} // namespace

void TestModel::phoneComparison_data() {
    QTest::addColumn<QStringList>("book");
    QTest::addColumn<QStringList>("phone");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("counts");

    QTest::newRow("all the same") << QStringList{"1=Anna|3:+4912", "2=Bob"}
                                  << QStringList{"1=Anna|3:+4912", "2=Bob"} << 1 << 500
                                  << QStringList{"1 same 0", "2 same 1"}
                                  << "0 changed, 0 new, 2 the same, 0 only on the phone";
    QTest::newRow("numbers and texts changed")
        << QStringList{"1=Anna|3:+4913|2:110|7:a@b.de", "2=Bob|9:Call back"}
        << QStringList{"1=Anna|3:+4912|2:110", "2=Bobby|9:Call"} << 1 << 500
        << QStringList{"1 changed 0 : Mobile: +4912 \u2192 +4913 / E-Mail:  \u2192 a@b.de",
                       "2 changed 1 : Name: Bobby \u2192 Bob / Note: Call \u2192 Call back"}
        << "2 changed, 0 new, 0 the same, 0 only on the phone";
    QTest::newRow("new names take the first free locations")
        << QStringList{"Zoe", "2=Yves", "Xaver"} << QStringList{"1=Walt", "2=Yves", "4=Ute"} << 1
        << 10 << QStringList{"1 phone -1", "2 same 1", "3 new 0", "4 phone -1", "5 new 2"}
        << "0 changed, 2 new, 1 the same, 2 only on the phone";
    QTest::newRow("no location: met by name, any case, accents, order; namesakes by content")
        << QStringList{"M\u00fcller, J\u00fcrgen|3:1", "Ann Lee|3:2", "Ann Lee|3:3"}
        << QStringList{"3=j\u00fcrgen M\u00dcLLER|3:1", "5=Ann Lee|3:3", "6=Ann Lee|3:2"} << 1 << 10
        << QStringList{"3 changed 0 : Name: j\u00fcrgen M\u00dcLLER \u2192 M\u00fcller, "
                       "J\u00fcrgen",
                       "5 same 2", "6 same 1"}
        << "1 changed, 0 new, 2 the same, 0 only on the phone";
    QTest::newRow("a location the phone emptied gets its name back")
        << QStringList{"New", "3=Anna"} << QStringList{"1=Bob"} << 1 << 5
        << QStringList{"1 phone -1", "2 new 0", "3 new 1"}
        << "0 changed, 2 new, 0 the same, 1 only on the phone";
    QTest::newRow("a full range leaves a new name without a place")
        << QStringList{"Zoe", "1=Anna"} << QStringList{"1=Anna", "2=Bob"} << 1 << 2
        << QStringList{"1 same 1", "2 phone -1", "0 new 0"}
        << "0 changed, 1 new, 1 the same, 1 only on the phone, 1 without a free location";
    QTest::newRow("names placed outside the range take no part")
        << QStringList{"9=Far", "4=Anna", "Bob"} << QStringList{"4=Anna", "5=Carl"} << 4 << 6
        << QStringList{"4 same 1", "5 phone -1", "6 new 2"}
        << "0 changed, 1 new, 1 the same, 1 only on the phone";
    QTest::newRow("two names claiming one location")
        << QStringList{"1=Anna", "1=Anna|3:9"} << QStringList{"1=Anna"} << 1 << 3
        << QStringList{"1 same 0", "2 new 1"}
        << "0 changed, 1 new, 1 the same, 0 only on the phone";
    QTest::newRow("empty phone, empty book")
        << QStringList{} << QStringList{} << 1 << 500 << QStringList{}
        << "0 changed, 0 new, 0 the same, 0 only on the phone";
}

void TestModel::phoneComparison() {
    QFETCH(QStringList, book);
    QFETCH(QStringList, phone);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QStringList, expected);
    QFETCH(QString, counts);
    const Comparison c = comparePhone(bookSides(book), phoneSlots(phone), first, last);
    QCOMPARE(describe(c), expected);
    QCOMPARE(c.countLine(), counts);

    // The plan sends exactly the changed and placed new names, each to its own
    // location once, and never overwrites what only the phone holds.
    const WritePlan plan = planChanges(c);
    std::set<int> sent, phoneOnly;
    for (const PhoneSlot& s : plan.left)
        phoneOnly.insert(s.location);
    for (const WritePlan::Send& s : plan.send) {
        QVERIFY2(sent.insert(s.location).second, "a location written twice");
        QVERIFY(!phoneOnly.contains(s.location));
        QVERIFY(s.location >= first && s.location <= last);
    }
    QCOMPARE(int(plan.send.size()), c.changed + c.added - c.unplaced);
    QCOMPARE(int(plan.skip.size()), c.same);
    QCOMPARE(int(plan.left.size()), c.phoneOnly);
    QCOMPARE(int(plan.unplaced.size()), c.unplaced);
}
