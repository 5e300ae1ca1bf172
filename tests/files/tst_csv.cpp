// CSV as other programs write it and as we write it: line ends, known headers,
// the export's fixed columns, its formula guard and its round trip.
#include "FileTestData.h"
#include "files/CsvExport.h"
#include "files/CsvImport.h"
#include "files/Import9110.h"
#include "files/LineReader.h"
#include "files/VCard.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

using namespace quorix;
using namespace quorix::files;
using namespace quorix::testdata;

namespace {

// A book with every kind, two numbers of a kind, texts with commas, quotes,
// line breaks, formulas and non-Latin letters, and the caller groups; each
// name's subentries in class order, within a class in no particular order.
void variedBook(Book& book) {
    const auto name = [&](const QString& text) -> Name& {
        return book.insertName(book.entryCount(), text);
    };
    Name& a = name(QStringLiteral("Müller, \"Hans\""));
    Book::addSubentry(a, QStringLiteral("+491701"), KindMobile);
    Book::addSubentry(a, QStringLiteral("+491702"), KindMobile);
    Book::addSubentry(a, QStringLiteral("030 123"), KindGeneral);
    Book::addSubentry(a, QStringLiteral("*31#p2w"), KindHome);
    Book::addSubentry(a, QStringLiteral("+4930555"), KindOffice);
    Book::addSubentry(a, QStringLiteral("Łódź,\nPolska"), KindPostalAddress);
    Book::addSubentry(a, QStringLiteral("say \"hi\"\r\nbye"), KindNote);
    Book::addSubentry(a, QStringLiteral("VIP"), KindCallerGroup);
    Name& b = name(QStringLiteral("=HYPERLINK(\"http://x\",\"click\")"));
    Book::addSubentry(b, QStringLiteral("+44 20"), KindFax);
    Book::addSubentry(b, QStringLiteral("-1"), KindGeneral);
    Book::addSubentry(b, QStringLiteral("@sum"), KindEMail);
    Book::addSubentry(b, QStringLiteral("'=already quoted"), KindEMail);
    Book::addSubentry(b, QStringLiteral("Family"), KindCallerGroup);
    Name& c = name(QStringLiteral("山田 太郎 😀"));
    for (int i = 0; i < MaxNumbers; ++i)
        Book::addSubentry(c, QStringLiteral("+81%1").arg(i), KindGeneral + i);
    Book::addSubentry(c, QStringLiteral("\tTab"), KindNote);
    Book::addSubentry(c, QStringLiteral("x"), KindUnknown);
    name(QStringLiteral("Bare"));
    Name& d = name(QStringLiteral("'"));
    Book::addSubentry(d, QStringLiteral("''"), KindNote);
    Book::addSubentry(d, QStringLiteral("Other"), KindCallerGroup);
}

CsvResult importBytes(const QByteArray& bytes, const CsvSettings& settings) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return importCsv(buffer, settings);
}

} // namespace

class TestCsv : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
    static QString data(const QString& name) {
        return QFINDTESTDATA(QStringLiteral("data/") + name);
    }
    // Imports bytes from a file, by the header when it is one we know.
    CsvResult importFile(const QByteArray& bytes) {
        const QString p = path(QStringLiteral("in.csv"));
        if (!writeAll(p, bytes))
            qFatal("cannot write %s", qPrintable(p));
        CsvSettings s;
        s.header = readCsvHeader(p);
        return importCsv(p, s);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void everyLineEndReadsAlike_data() {
        QTest::addColumn<QByteArray>("end");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR") << QByteArray("\r");
    }
    void everyLineEndReadsAlike() {
        QFETCH(QByteArray, end);
        // CSV: a line break inside quotes stays in its field, whatever the ends.
        const QByteArray csv = "Name,Phone\n\"Berg, Anna\",+4930\n\"Two\nLines\",1\n";
        CsvSettings s;
        s.separator = u',';
        s.quotes = true;
        s.firstLine = 2;
        const CsvResult r = importBytes(QByteArray(csv).replace("\n", end), s);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.book.entryCount(), 2);
        QCOMPARE(r.book.name(0).text, QStringLiteral("Berg, Anna"));
        QCOMPARE(r.book.name(1).text, QString::fromLatin1("Two" + end + "Lines"));
        QCOMPARE(r.book.name(1).subs.front().text, QStringLiteral("1"));

        // 9110: the same export with any line ends.
        QByteArrayList lines{"[RECORD]",     "[FIELD]",      "Name",         "[FIELD-NAME]",
                             "Name",         "[FIELD-DATA]", "Chris",        "[FIELD-END]",
                             "[FIELD]",      "Tel",          "[FIELD-NAME]", "GSM/PCN",
                             "[FIELD-DATA]", "+49 1",        "[FIELD-END]",  "[RECORD-END]"};
        QBuffer buffer;
        buffer.setData(lines.join(end) + end);
        buffer.open(QIODevice::ReadOnly);
        const BookResult n = import9110(buffer);
        QVERIFY2(n.ok, qPrintable(n.error));
        QCOMPARE(described(n.book), QByteArray("Chris\n  Mobile: +491\n"));
    }

    // A number field of another program reads alike in vCard, a known CSV
    // header and a 9110 export: extensions become the pause, nothing without a
    // digit or with other words is a number, and such a text stays a Note.
    void numbersReadAlikeInEveryImport_data() {
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("subentry");
        QTest::newRow("plain") << QByteArray("+49 (30) 123-45") << QByteArray("Mobile: +493012345");
        QTest::newRow("ext.") << QByteArray("+1 418 656 9254 ext. 102")
                              << QByteArray("Mobile: +14186569254p102");
        QTest::newRow("x") << QByteArray("555-0100 x123") << QByteArray("Mobile: 5550100p123");
        QTest::newRow("pause and wait")
            << QByteArray("*31#p12w3") << QByteArray("Mobile: *31#p12w3");
        QTest::newRow("wide digits") << QByteArray("０３０ １２") << QByteArray("Mobile: 03012");
        QTest::newRow("no digit") << QByteArray("BusinessPhone")
                                  << QByteArray("Note: BusinessPhone");
        QTest::newRow("p and w in a word") << QByteArray("pw") << QByteArray("Note: pw");
        QTest::newRow("word in a number")
            << QByteArray("1 power 2") << QByteArray("Note: 1 power 2");
        QTest::newRow("chinese") << QByteArray("电话") << QByteArray("Note: 电话");
    }
    void numbersReadAlikeInEveryImport() {
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, subentry);
        const QByteArray expected = "Nia\n  " + subentry + '\n';

        QBuffer card;
        card.setData("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Nia\r\nTEL;TYPE=CELL:" + in +
                     "\r\nEND:VCARD\r\n");
        card.open(QIODevice::ReadOnly);
        const VCardResult v = readVCard(card);
        QVERIFY2(v.ok, qPrintable(v.error));
        QCOMPARE(described(v.book), expected);

        const CsvResult c =
            importFile("Name,Phone 1 - Type,Phone 1 - Value\r\nNia,Mobile,\"" + in + "\"\r\n");
        QVERIFY2(c.ok, qPrintable(c.error));
        QCOMPARE(described(c.book), expected);

        QBuffer export9110;
        export9110.setData(QByteArrayList{"[RECORD]", "[FIELD]", "Name", "[FIELD-NAME]", "Name",
                                          "[FIELD-DATA]", "Nia", "[FIELD-END]", "[FIELD]", "Tel",
                                          "[FIELD-NAME]", "GSM/PCN", "[FIELD-DATA]", in,
                                          "[FIELD-END]", "[RECORD-END]", ""}
                               .join("\r\n"));
        export9110.open(QIODevice::ReadOnly);
        const BookResult n = import9110(export9110, TextEncoding::Utf8);
        QVERIFY2(n.ok, qPrintable(n.error));
        QCOMPARE(described(n.book), expected);
    }

    void importsThatGiveNoNamesFailSayingWhy_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("firstLine");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QByteArray() << 1 << "No names to import: the file is empty.";
        QTest::newRow("header only") << QByteArray("Name,Mobile Phone,E-mail Address\n") << 1
                                     << "No names to import: the file holds its header line only.";
        QTest::newRow("first line beyond") << QByteArray("a;1\nb;2\n") << 3
                                           << "No names to import: the file has 2 lines, and "
                                              "the import starts at line 3.";
    }
    void importsThatGiveNoNamesFailSayingWhy() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, firstLine);
        QFETCH(QString, error);
        const QString p = path(QStringLiteral("none.csv"));
        QVERIFY(writeAll(p, bytes));
        CsvSettings s;
        s.firstLine = firstLine;
        s.header = readCsvHeader(p);
        const CsvResult r = importCsv(p, s);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, error);
        QVERIFY(r.book.isEmpty());
    }

    void columnsLeftUnreadAreReported() {
        CsvSettings s; // name 1, entries 2 to 7
        CsvResult r = importBytes("a;1;2;3;4;5;6;;x\nb;1;2;3;4;5;6;7;;y\nc\n", s);
        QVERIFY(r.ok);
        QCOMPARE(r.unreadWarning(),
                 QStringLiteral("Columns 8 to 10 hold data that the settings do not import."));
        s.lastColumn = 10;
        r = importBytes("a;1;2;3;4;5;6;;x\nb;1;2;3;4;5;6;7;;y\nc\n", s);
        QVERIFY(r.unreadWarning().isEmpty());
    }

    // Each program's header, read by its titles: the sample files are our
    // own, made after the headers these programs publish.
    void knownHeadersAreReadByMeaning_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QByteArray>("book");
        QTest::newRow("Google") << "google.csv"
                                << "Google Contacts"
                                << QByteArray(
                                       "Zofia Kowalska\n  General: +48421234567\n"
                                       "  General: +48600100200\n  E-Mail: zofia@example.pl\n"
                                       "  Postal Address: ul. Piotrkowska 1, 90-001 Łódź\n"
                                       "Zofia Kowalska (2)\n  Note: Przyjaciółka, \"Zosia\"\n"
                                       "Jürgen Groß 🎉\n  General: +4915155501\n"
                                       "  E-Mail: juergen@example.de\n");
        // Labels, "a ::: b" values, a type without a digit kept as a Note,
        // address parts joined, the formatted address taken whole, the
        // company as the name of a contact with none.
        QTest::newRow("Google with labels")
            << "google-labels.csv"
            << "Google Contacts"
            << QByteArray("Aiko Tanaka\n  Mobile: +819055550001\n  Mobile: +819055550002\n"
                          "  Fax: +81355550003\n  E-Mail: aiko@example.jp\n"
                          "  E-Mail: aiko2@example.jp\n  Caller group: Friends\nAiko Tanaka (2)\n"
                          "  Postal Address: 1-2-3 Example, Tokyo, 100-0001, Japan\n"
                          "  Note: テスト\nAiko Tanaka (3)\n  Note: pager\n"
                          "Café Lumière\n  Office: +33155550000\n"
                          "  Postal Address: 5 Rue Exemple?75001 Paris?France\n");
        QTest::newRow("Outlook")
            << "outlook.csv"
            << "Outlook"
            << QByteArray("Jonas K. Beispiel\n  Fax: +49305550199\n  Office: +49305550100\n"
                          "  Mobile: 01705550123\n  E-Mail: jonas@example.com\n"
                          "  Postal Address: Teststraße 1, Berlin, 10115, Germany\n"
                          "  Caller group: VIP\nJonas K. Beispiel (2)\n  Note: none\n"
                          "  Note: Line one?line two\nExample Shop\n  General: +442079460000\n");
        QTest::newRow("Thunderbird")
            << "thunderbird-full.csv"
            << "Thunderbird"
            << QByteArray("Mia Muster\n  Office: +43155510\n  Fax: +43155511\n"
                          "  Mobile: +436605550000\n  E-Mail: mia@example.org\n"
                          "  E-Mail: mia.m@example.net\nMia Muster (2)\n"
                          "  Postal Address: Musterweg 7, Stiege 2, Wien, 1010, Austria\n"
                          "  Note: Met at \"FOSDEM\", 2024\nOla Nordmann\n  Home: 22555000\n");
        QTest::newRow("Apple") << "apple.csv"
                               << "Apple/iCloud"
                               << QByteArray("Sam Example\n  Mobile: +14155550134\n"
                                             "  Home: 4155550199\n  Fax: +14155550188\n"
                                             "  E-Mail: sam@example.com\n"
                                             "  Postal Address: 1 Infinite Example, Cupertino, "
                                             "CA, 95014\nSam Example (2)\n"
                                             "  Note: =cmd|' /C calc'!A0\n");
    }
    void knownHeadersAreReadByMeaning() {
        QFETCH(QString, file);
        QFETCH(QString, program);
        QFETCH(QByteArray, book);
        CsvSettings s;
        s.header = readCsvHeader(data(file));
        QVERIFY(s.header);
        QCOMPARE(s.header->program, program);
        const CsvResult r = importCsv(data(file), s);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(described(r.book), book);
        // Without the header the first line is data again: not recognised.
        QVERIFY(!recogniseCsvHeader({QStringLiteral("Anna"), QStringLiteral("+491230")}));
    }

    void ownExportReadsBackToTheSameBook_data() {
        QTest::addColumn<bool>("bom");
        QTest::newRow("plain") << false;
        QTest::newRow("with byte-order mark") << true;
    }
    void ownExportReadsBackToTheSameBook() {
        QFETCH(bool, bom);
        Book book;
        variedBook(book);
        const QByteArray csv = csvText(book, {CsvLayout::Quorix, bom});
        QCOMPARE(csv.startsWith("\xef\xbb\xbf"), bom);
        const CsvResult r = importFile(csv);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(structure(r.book), structure(book));
        QCOMPARE(described(r.book), described(book));
    }

    void exportHeaderIsFixed() {
        Book empty, full;
        variedBook(full);
        const auto header = [](const QByteArray& csv) { return csv.left(csv.indexOf("\r\n")); };
        QCOMPARE(header(csvText(full)), header(csvText(empty)));
        QCOMPARE(header(csvText(empty)).count(','), 34);
        // Every row has as many cells as the header.
        QBuffer buffer;
        buffer.setData(csvText(full));
        buffer.open(QIODevice::ReadOnly);
        LineReader rows(buffer, LineEnds::Any, '"');
        while (!rows.atEnd())
            QCOMPARE(csvFields(QString::fromUtf8(rows.readLine()), u',', true).size(),
                     qsizetype(35));

        const QByteArray google = csvText(full, {CsvLayout::Google, false});
        QCOMPARE(header(google), header(csvText(empty, {CsvLayout::Google, false})));
        QVERIFY(header(google).startsWith("Name,Given Name,Family Name,Notes,Group Membership,"
                                          "E-mail 1 - Type,E-mail 1 - Value,"));
        // Google's file goes back through Google's header with the kinds kept.
        const CsvResult r = importFile(google);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.book.name(0).text, QStringLiteral("Müller, \"Hans\""));
        QVERIFY2(described(r.book).startsWith(
                     "Müller, \"Hans\"\n  Mobile: +491701\n  Mobile: +491702\n  General: "
                     "030123\n  Home: *31#p2w\n  Office: +4930555\n"),
                 described(r.book).constData());
        QCOMPARE(splitName(QStringLiteral("Hans Peter Berg")).family, QStringLiteral("Berg"));
        QCOMPARE(splitName(QStringLiteral("Berg, Hans")).given, QStringLiteral("Hans"));
        QCOMPARE(splitName(QStringLiteral("Cher")).given, QStringLiteral("Cher"));
    }

    void formulaCellsAreGuardedAndGivenBack_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("guarded");
        QTest::newRow("=") << "=1+2" << true;
        QTest::newRow("+ with a blank") << "+49 30" << true;
        QTest::newRow("-") << "-" << true;
        QTest::newRow("@") << "@sum(A1)" << true;
        QTest::newRow("tab") << "\tx" << true;
        QTest::newRow("CR") << "\rx" << true;
        QTest::newRow("quote before =") << "'=x" << true;
        QTest::newRow("plain number") << "+491230" << false;
        QTest::newRow("digits") << "0301234" << false;
        QTest::newRow("= inside") << "a=b" << false;
        QTest::newRow("quote alone") << "'" << false;
        QTest::newRow("quote before text") << "'s-Hertogenbosch" << false;
        QTest::newRow("empty") << "" << false;
    }
    void formulaCellsAreGuardedAndGivenBack() {
        QFETCH(QString, text);
        QFETCH(bool, guarded);
        const QString cell = csvFields(QString::fromUtf8(csvCell(text)), u',', true).value(0);
        QCOMPARE(cell.startsWith(u'\'') && cell != text, guarded);
        QCOMPARE(csvUnguarded(cell), text);
    }
};

QTEST_GUILESS_MAIN(TestCsv)
#include "tst_csv.moc"
