// vCard import and export, CSV export, and the UTF-8 aware CSV and 9110
// imports, through the functions of files/.
#include "FileTestData.h"
#include "files/BookFormats.h"
#include "files/CsvExport.h"
#include "files/CsvImport.h"
#include "files/Import9110.h"
#include "files/VCard.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace quorix;
using namespace quorix::files;
using namespace quorix::testdata;

namespace {

VCardResult readBytes(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readVCard(buffer);
}

// A book of random names and subentries over many scripts, emoji included,
// with every kind a book holds, in the class order the editor keeps.
void randomBook(Book& book, QRandomGenerator& rng) {
    static const QStringList pieces = {
        QStringLiteral("Anna"),        QStringLiteral("Müller"),
        QStringLiteral("Łódź"),        QStringLiteral("Ægir"),
        QStringLiteral("Σοφία"),       QStringLiteral("Юрий"),
        QStringLiteral("山田"),        QStringLiteral("😀"),
        QStringLiteral("€5"),          QStringLiteral("a,b;c"),
        QStringLiteral("back\\slash"), QStringLiteral("two\nlines"),
        QStringLiteral(" "),           QStringLiteral("\"q\""),
        QStringLiteral("x:y"),         QStringLiteral("ß") + QString(40, u'ü'),
    };
    const auto text = [&] {
        QString t;
        for (int i = 0, n = 1 + rng.bounded(4); i < n; ++i)
            t += pieces[rng.bounded(int(pieces.size()))];
        return t;
    };
    for (int i = 0, names = 1 + rng.bounded(20); i < names; ++i) {
        Name& n = book.insertName(book.entryCount(), text() + QString::number(i));
        if (rng.bounded(3) == 0)
            n.organization = rng.bounded(2) ? n.text : text();
        for (int k = 0, numbers = rng.bounded(6); k < numbers; ++k)
            Book::addSubentry(n, QStringLiteral("+49") + QString::number(rng.bounded(99999)),
                              KindGeneral + rng.bounded(5));
        for (int k = 0, texts = rng.bounded(3); k < texts; ++k)
            Book::addSubentry(n, text(), KindEMail + rng.bounded(3));
        if (rng.bounded(2))
            Book::addSubentry(n, groupNames[size_t(1 + rng.bounded(5))], KindCallerGroup);
        if (rng.bounded(4) == 0)
            Book::addSubentry(n, text(), KindUnknown);
        if (rng.bounded(3) == 0) // where the phone keeps it, and what it held there
            n.location = 1 + rng.bounded(500);
        if (n.location && rng.bounded(3) > 0)
            n.phoneContent = PhoneContent{text(), {{text(), KindMobile}, {text(), KindUnknown}}};
    }
}

} // namespace

class TestVCard : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
    static QString data(const char* name) {
        return QFINDTESTDATA(QStringLiteral("data/") + QLatin1String(name));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void readsAndroidVersion21QuotedPrintable() {
        const VCardResult r = importVCard(data("android-2.1.vcf"));
        QVERIFY2(r.ok, qPrintable(r.error));
        // Three texts: the third goes on in a continuation name.
        QCOMPARE(described(r.book),
                 QByteArray("Hans Müller\n  Mobile: +491701234567\n  Home: 030123456\n"
                            "  Fax: 030999\n  E-Mail: hans@example.com\n"
                            "  Postal Address: Hauptstraße 5, Berlin, 10115, Deutschland\n"
                            "Hans Müller (2)\n  Note: Grüße an die Familie, sehr lange Notiz mit "
                            "Umlauten äöü auf zwei Zeilen\n"
                            "Łukasz\n  Mobile: +48600100200\n"));
        QCOMPARE(r.report(), QStringLiteral("2 contacts, 1 photo, 1 birthday and 1 other "
                                            "property skipped"));
    }

    void readsIosVersion30AndVersion40() {
        const VCardResult ios = importVCard(data("ios-3.0.vcf"));
        QVERIFY2(ios.ok, qPrintable(ios.error));
        QCOMPARE(described(ios.book),
                 QByteArray("Zofia Kowalska\n  General: +48421234567\n  Mobile: +48600100200\n"
                            "  E-Mail: zofia@example.pl\n"
                            "  Postal Address: ul. Piotrkowska 1, Łódź, 90-001, Polska\n"
                            "  Caller group: Friends\n"));
        QCOMPARE(ios.report(), QStringLiteral("1 contact, 2 other properties skipped"));

        const VCardResult v4 = importVCard(data("v4.0.vcf"));
        QVERIFY2(v4.ok, qPrintable(v4.error));
        QCOMPARE(v4.book.name(0).text, QStringLiteral("Jürgen Groß 😀"));
        QCOMPARE(described(v4.book),
                 QByteArray("Jürgen Groß 😀\n  Mobile: +491515550100\n  Office: +49895550200\n"
                            "  E-Mail: juergen@example.de\n  Note: Ein sehr langer Hinweis, der "
                            "gefaltet wird: Er beginnt hier und läuft weiter bis hierher?zweite "
                            "Zeile\n  Caller group: VIP\n"));
        QCOMPARE(v4.book.name(0).subs[3].text.count(u'\n'), 1);
        QCOMPARE(v4.report(), QStringLiteral("1 contact, 1 birthday skipped"));
    }

    void readsCardsAsTheWorldWritesThem_data() {
        // A file's bytes -> the book (as describeBook shows it) and the report,
        // or "error: " and the reason.
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("book");
        QTest::addColumn<QString>("report");
        const QByteArray card =
            "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ute Ünal\r\nTEL;TYPE=CELL:+49 171 "
            "2\r\nEND:VCARD\r\n";
        const QByteArray ute = "Ute Ünal\n  Mobile: +491712\n";
        const QString one = QStringLiteral("1 contact");
        const auto utf16 = [&](bool little, bool mark) {
            const QString text = QString::fromUtf8(card);
            QByteArray out = mark ? (little ? "\xff\xfe" : "\xfe\xff") : "";
            for (const QChar c : text) {
                const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xff);
                out += little ? QByteArray() + lo + hi : QByteArray() + hi + lo;
            }
            return out;
        };
        QTest::newRow("no card") << QByteArray("no card here\r\n") << QByteArray()
                                 << QStringLiteral("error: This file holds no vCard.");
        QTest::newRow("utf-16le mark") << utf16(true, true) << ute << one;
        QTest::newRow("utf-16le") << utf16(true, false) << ute << one;
        QTest::newRow("utf-16be mark") << utf16(false, true) << ute << one;
        QTest::newRow("utf-16be") << utf16(false, false) << ute << one;
        QTest::newRow("utf-8 mark") << "\xef\xbb\xbf" + card << ute << one;
        QTest::newRow("cr only") << QByteArray(card).replace("\r\n", "\r") + card << ute + ute
                                 << QStringLiteral("2 contacts");
        QTest::newRow("lf only, ends inside a card")
            << QByteArray("BEGIN:VCARD\nN:Doe;Jane;Q.;Dr.;\nTEL;TYPE=home,fax:1 2\n")
            << QByteArray("Dr. Jane Q. Doe\n  Fax: 12\n") << one;
        QTest::newRow("card without END")
            << "BEGIN:VCARD\r\nFN:A\r\n" + card << "A\n" + ute << QStringLiteral("2 contacts");
        QTest::newRow("2.1 AGENT card")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Boss;Bea\r\nAGENT:\r\nBEGIN:VCARD\r\n"
                          "N:Assistant;Alf\r\nTEL:1\r\nEND:VCARD\r\nEMAIL:bea@example.com\r\n"
                          "END:VCARD\r\n") +
                   card
            << "Bea Boss\n  E-Mail: bea@example.com\n" + ute
            << QStringLiteral("2 contacts, 1 nested card skipped");
        QTest::newRow("AGENT card begun on its line")
            << QByteArray("BEGIN:VCARD\r\nN:Boss;Bea\r\nAGENT:BEGIN:VCARD\r\nFN:Alf\r\n"
                          "END:VCARD\r\nTEL:2\r\nEND:VCARD\r\n")
            << QByteArray("Bea Boss\n  General: 2\n")
            << QStringLiteral("1 contact, 1 nested card skipped");
        const QByteArray huge(MaxVCardLine + 1, 'n');
        QTest::newRow("card with a long line")
            << "BEGIN:VCARD\r\nFN:Huge\r\nNOTE:" + huge + "\r\nEND:VCARD\r\n" + card << ute
            << QStringLiteral("1 contact, 1 card with a line over 1 MiB skipped");
        QByteArray folded = "BEGIN:VCARD\r\nNOTE:a\r\n";
        for (int i = 0; i < 20; ++i)
            folded += ' ' + QByteArray(64 * 1024, 'n') + "\r\n";
        QTest::newRow("card with a long folded line")
            << card + folded + "END:VCARD\r\n"
            << ute << QStringLiteral("1 contact, 1 card with a line over 1 MiB skipped");
        QTest::newRow("only long cards")
            << "BEGIN:VCARD\r\nFN:" + huge + "\r\nEND:VCARD\r\n"
            << QByteArray()
            << QStringLiteral("error: No card could be read: 0 contacts, 1 card with a line over 1 "
                              "MiB skipped");
        QByteArray photo = "BEGIN:VCARD\r\nFN:P\r\nPHOTO;ENCODING=b:";
        for (int i = 0; i < 20; ++i)
            photo += "\r\n " + QByteArray(64 * 1024, 'A');
        QTest::newRow("long photo")
            << photo + "\r\nEND:VCARD\r\n"
            << QByteArray("P\n") << QStringLiteral("1 contact, 1 photo skipped");
        QTest::newRow("Apple labels")
            << QByteArray("BEGIN:VCARD\r\nFN:Hanna\r\nitem1.TEL:1\r\nitem1.X-ABLabel:Mobil\r\n"
                          "item2.TEL:2\r\nitem2.X-ABLabel:_$!<HomeFAX>!$_\r\nitem3.TEL;TYPE=CELL:3"
                          "\r\nitem3.X-ABLabel:Travail\r\nitem4.X-ABLabel:Casa\r\nitem4.TEL:4\r\n"
                          "item5.TEL;TYPE=CELL:5\r\nitem5.X-ABLabel:Ferienhaus\r\nEND:VCARD\r\n")
            << QByteArray("Hanna\n  Mobile: 1\n  Fax: 2\n  Office: 3\n  Home: 4\n  Mobile: 5\n")
            << one;
        QTest::newRow("Apple labels, more languages")
            << QByteArray("BEGIN:VCARD\r\nFN:Lia\r\na.TEL:1\r\na.X-ABLabel:Móvil\r\nb.TEL:2\r\n"
                          "b.X-ABLabel:Büro\r\nc.TEL:3\r\nc.X-ABLabel:Thuis\r\nd.TEL:4\r\n"
                          "d.X-ABLabel:Cellulare\r\ne.TEL:5\r\ne.X-ABLabel:Escritório\r\n"
                          "END:VCARD\r\n")
            << QByteArray("Lia\n  Mobile: 1\n  Office: 2\n  Home: 3\n  Mobile: 4\n  Office: 5\n")
            << one;
        QTest::newRow("numbers that are none")
            << QByteArray("BEGIN:VCARD\r\nFN:Olga\r\nTEL;WORK;VOICE:BusinessPhone\r\n"
                          "TEL;TYPE=pager:pager\r\nTEL;TYPE=HOME:电话\r\nEND:VCARD\r\n")
            << QByteArray("Olga\n  Note: BusinessPhone\n  Note: pager\n")
            << QStringLiteral("1 contact, 1 phone field without a number skipped");
        QTest::newRow("extensions")
            << QByteArray(
                   "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Simon\r\nTEL;VALUE=uri;TYPE=\"voice,"
                   "work\":tel:+1-418-656-9254;ext=102\r\nTEL;TYPE=cell:+1 418 555 0100 x23\r\n"
                   "END:VCARD\r\n")
            << QByteArray("Simon\n  Office: +14186569254p102\n  Mobile: +14185550100p23\n") << one;
        QTest::newRow("2.1 without charset")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:M\xc3\xbcller;J\r\nEND:VCARD\r\n"
                          "BEGIN:VCARD\r\nVERSION:2.1\r\nN:M\xfcller;K\r\nEND:VCARD\r\n")
            << QByteArray("J Müller\nK Müller\n") << QStringLiteral("2 contacts");
        QTest::newRow("ORG")
            << QByteArray("BEGIN:VCARD\r\nORG:ACME Corp;Sales\r\nTEL;TYPE=WORK:030 5\r\n"
                          "END:VCARD\r\nBEGIN:VCARD\r\nFN:Anna\r\nORG:ACME\r\nEND:VCARD\r\n"
                          "BEGIN:VCARD\r\nFN:Ben\r\nORG:ACME\r\nEMAIL:a\r\nNOTE:b\r\nEND:VCARD\r\n")
            << QByteArray("ACME Corp, Sales\n  Office: 0305\nAnna\n  Note: ACME\n"
                          "Ben\n  E-Mail: a\n  Note: b\n")
            << QStringLiteral("3 contacts, 1 other property skipped");
    }
    void readsCardsAsTheWorldWritesThem() {
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, book);
        QFETCH(QString, report);
        const VCardResult r = readBytes(input);
        QCOMPARE(r.ok ? r.report() : QStringLiteral("error: ") + r.error, report);
        QCOMPARE(described(r.book), book);
        if (!r.ok)
            return;
        // However it was read, the book goes out and comes back unchanged.
        const VCardResult back = readBytes(vCardText(r.book));
        QCOMPARE(described(back.book), book);
    }

    void writesNameAndCompanyForOtherPrograms() {
        Book book;
        const auto add = [&](const char* name, const char* org = "") {
            book.insertName(book.entryCount(), QString::fromUtf8(name)).organization =
                QString::fromUtf8(org);
        };
        add("Anna Schmidt", "ACME");
        add("Schmidt, Anna");
        add("Madonna");
        add("Anna Maria von Berg");
        add("ACME Corp, Sales", "ACME Corp, Sales");
        QByteArrayList got;
        for (const QByteArray& line : vCardText(book).split('\n'))
            if (line.startsWith("N:") || line.startsWith("ORG:"))
                got << line.trimmed();
        QCOMPARE(got, QByteArrayList({"N:Schmidt;Anna;;;", "ORG:ACME", "N:Schmidt;Anna;;;",
                                      "N:;Madonna;;;", "N:Berg;Anna Maria von;;;", "N:;;;;",
                                      "ORG:ACME Corp\\, Sales"}));
    }

    void readerSurvivesMutatedCards() {
        // Mutations of real cards: the reader never crashes or hangs, refuses
        // with a reason, and what it takes goes out and comes back unchanged.
        QRandomGenerator rng(2026);
        QByteArray seed;
        for (const char* f : {"android-2.1.vcf", "ios-3.0.vcf", "v4.0.vcf"})
            seed += readAll(data(f));
        int accepted = 0;
        for (int round = 0; round < 2000; ++round) {
            QByteArray input = seed;
            for (int k = 0, edits = 1 + rng.bounded(8); k < edits; ++k) {
                const int at = rng.bounded(int(input.size()) + 1);
                switch (rng.bounded(3)) {
                case 0:
                    input.insert(at, char(rng.bounded(256)));
                    break;
                case 1:
                    input.remove(at, 1 + rng.bounded(16));
                    break;
                default:
                    input.insert(at, QByteArrayView("\r\n =;:,\\\"").sliced(rng.bounded(9), 1));
                }
            }
            const VCardResult r = readBytes(input);
            if (!r.ok) {
                QVERIFY2(!r.error.isEmpty(), input.toPercentEncoding().constData());
                continue;
            }
            ++accepted;
            const VCardResult back = readBytes(vCardText(r.book));
            QVERIFY2(back.ok, qPrintable(back.error));
            const QByteArrayList got = described(back.book).split('\n');
            const QByteArrayList want = described(r.book).split('\n');
            for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
                QCOMPARE(got[i], want[i]);
            QCOMPARE(got.size(), want.size());
        }
        QVERIFY(accepted > 1000);
    }

    void writerFoldsUtf8At75Octets() {
        Book book;
        Name& n = book.insertName(0, QStringLiteral("Zoë"));
        Book::addSubentry(n, QString(100, u'ł'), KindNote);
        Book::addSubentry(n, QStringLiteral("a,b;c\\d\ne"), KindPostalAddress);
        const QByteArray text = vCardText(book);
        QVERIFY(text.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n"));
        QVERIFY(text.contains("\r\nFN:Zo\xc3\xab\r\n"));
        QVERIFY(text.contains("\r\nADR:;;a\\,b\\;c\\\\d\\ne;;;;\r\n"));
        for (const QByteArray& line : text.split('\n')) {
            QVERIFY2(line.size() <= 76, line.constData()); // 75 octets and the CR
            QVERIFY(QString::fromUtf8(line).count(QChar::ReplacementCharacter) == 0);
        }
        QVERIFY(!text.contains("\n\n"));
    }

    void exportThenImportGivesTheSameBook() {
        QRandomGenerator rng(12);
        for (int round = 0; round < 200; ++round) {
            Book book;
            randomBook(book, rng);
            const VCardResult back = readBytes(vCardText(book));
            QVERIFY2(back.ok, qPrintable(back.error));
            const QByteArrayList got = described(back.book).split('\n');
            const QByteArrayList want = described(book).split('\n');
            for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
                QCOMPARE(got[i], want[i]);
            QCOMPARE(got.size(), want.size());
            for (int i = 0; i < book.entryCount(); ++i) {
                QCOMPARE(back.book.name(i).text, book.name(i).text);
                QCOMPARE(back.book.name(i).subs, book.name(i).subs);
                QCOMPARE(back.book.name(i).organization, book.name(i).organization);
                QCOMPARE(back.book.name(i).location, book.name(i).location);
                QVERIFY(back.book.name(i).phoneContent == book.name(i).phoneContent);
            }
        }
        // Kinds and groups no other program knows come back too, in their order.
        Book odd;
        Name& n = odd.insertName(0, QString());
        Book::addSubentry(n, QStringLiteral("unknown group"), KindCallerGroup);
        Book::addSubentry(n, QStringLiteral("+49 (0) 30"), KindGeneral);
        Book::addSubentry(n, QStringLiteral("zero"), 0);
        Book::addSubentry(n, QStringLiteral("fifteen"), 15);
        QVERIFY(saveVCard(odd, path("odd.vcf")).ok);
        const BookResult back = openBook(path("odd.vcf"));
        QVERIFY(back.ok);
        QCOMPARE(back.book.name(0).subs, n.subs);
        QCOMPARE(back.book.name(0).text, QStringLiteral("<No Name>"));
    }

    void csvExportIsUtf8WithRepeatedColumns() {
        Book book;
        Name& a = book.insertName(0, QStringLiteral("Müller, \"Hans\""));
        Book::addSubentry(a, QStringLiteral("+491"), KindMobile);
        Book::addSubentry(a, QStringLiteral("+492"), KindMobile);
        Book::addSubentry(a, QStringLiteral("Łódź\nPolska"), KindPostalAddress);
        Book::addSubentry(a, QStringLiteral("VIP"), KindCallerGroup);
        Name& b = book.insertName(1, QStringLiteral("😀"));
        Book::addSubentry(b, QStringLiteral("112"), KindGeneral);
        // The same columns whatever the book holds: five of each number kind,
        // two of each text, the group and the subentries of no known kind.
        const QByteArray five = ",,,,,";
        QCOMPARE(csvText(book),
                 QByteArray("Name,General,General 2,General 3,General 4,General 5,Mobile,Mobile 2,"
                            "Mobile 3,Mobile 4,Mobile 5,Home,Home 2,Home 3,Home 4,Home 5,Office,"
                            "Office 2,Office 3,Office 4,Office 5,Fax,Fax 2,Fax 3,Fax 4,Fax 5,"
                            "E-Mail,E-Mail 2,Postal Address,Postal Address 2,Note,Note 2,"
                            "Caller group,Unknown,Order\r\n"
                            "\"Müller, \"\"Hans\"\"\"" +
                            five + ",+491,+492,,," + five + five + five +
                            ",,,\"Łódź\nPolska\",,,,VIP,,\r\n"
                            "😀,112,,,," +
                            five + five + five + five + ",,,,,,,,,\r\n"));
        const FileResult r = saveBook(book, path("book.csv"));
        QVERIFY(r.ok);
        QCOMPARE(readAll(path("book.csv")), csvText(book));
    }

    void importsReadUtf8() {
        CsvSettings thunderbird;
        thunderbird.nameColumn = 3;
        thunderbird.firstColumn = 5;
        thunderbird.lastColumn = 11;
        thunderbird.firstLine = 2;
        thunderbird.separator = u',';
        thunderbird.quotes = true;
        BookResult r = importCsv(data("thunderbird.csv"), thunderbird);
        QVERIFY(r.ok);
        QCOMPARE(described(r.book),
                 QByteArray("Hans Müller\n  General: +49301234\n  General: 0305678\n"
                            "  General: 01701234567\n  Note: hans@example.de\n"
                            "  Note: Hauptstraße 5, 10115 Berlin\n"
                            "Hans Müller (2)\n  Note: Sagt immer \"Moin\", auch abends\n"
                            "Łukasz Żółw 😀\n  General: +48600100200\n  Note: lukasz@example.pl\n"
                            "  Note: ul. Długa 1, Gdańsk\n"));
        // Read as Windows-1252 on purpose, the same file gives the mojibake.
        thunderbird.encoding = TextEncoding::Windows1252;
        r = importCsv(data("thunderbird.csv"), thunderbird);
        QCOMPARE(r.book.name(0).text, QStringLiteral("Hans MÃ¼ller"));
        const LineResult probe = csvProbe(data("thunderbird.csv"), 2);
        QCOMPARE(probe.encoding, TextEncoding::Utf8);

        // Google's file starts with a byte-order mark, which is no part of a field.
        CsvSettings google;
        google.firstColumn = 4;
        google.lastColumn = 8;
        google.firstLine = 2;
        google.separator = u',';
        google.quotes = true;
        r = importCsv(data("google.csv"), google);
        QVERIFY(r.ok);
        QCOMPARE(described(r.book),
                 QByteArray("Zofia Kowalska\n  General: +48421234567\n  General: +48600100200\n"
                            "  Note: Przyjaciółka, \"Zosia\"\n  Note: zofia@example.pl\n"
                            "Zofia Kowalska (2)\n  Note: ul. Piotrkowska 1, 90-001 Łódź\n"
                            "Jürgen Groß 🎉\n  General: +4915155501\n  Note: juergen@example.de\n"));
        QCOMPARE(csvProbe(data("google.csv")).line.left(5), QStringLiteral("Name,"));
    }

    void automaticChoosesUtf8OnlyWhenItIsUtf8() {
        const auto detect = [](const QByteArray& bytes) {
            QBuffer b;
            b.setData(bytes);
            b.open(QIODevice::ReadOnly);
            b.seek(1);
            const TextEncoding e = resolveEncoding(TextEncoding::Automatic, b);
            return b.pos() == 1 ? e : TextEncoding::Automatic; // the position is kept
        };
        QCOMPARE(detect("xplain ascii"), TextEncoding::Windows1252);
        QCOMPARE(detect("xM\xc3\xbcller"), TextEncoding::Utf8);
        QCOMPARE(detect("xM\xfcller"), TextEncoding::Windows1252);
        QCOMPARE(detect("x\xe2\x82"), TextEncoding::Windows1252); // cut off at the end
        // A sequence split by the reader's chunks is still whole.
        QCOMPARE(detect("x" + QByteArray(64 * 1024 - 2, 'a') + "\xe2\x82\xac"), TextEncoding::Utf8);
        QCOMPARE(resolveEncoding(TextEncoding::Windows1252, *std::make_unique<QBuffer>()),
                 TextEncoding::Windows1252);
        bool ok = false;
        QCOMPARE(encodingFromName(QStringLiteral("UTF-8"), &ok), TextEncoding::Utf8);
        QVERIFY(ok);
        encodingFromName(QStringLiteral("latin-9"), &ok);
        QVERIFY(!ok);
    }

    void import9110TakesUtf8WithItsMark() {
        const QByteArray file =
            crlf({"[RECORD]", "[FIELD]", "Name", "[FIELD-NAME]", "Name", "[FIELD-DATA]",
                  "Łukasz Żółw", "[FIELD-END]", "[RECORD-END]"});
        QVERIFY(writeAll(path("bom.txt"), "\xef\xbb\xbf" + file));
        BookResult r = import9110(path("bom.txt"));
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.book.name(0).text, QStringLiteral("Łukasz Żółw"));
        // Taken as Windows-1252, the mark is bytes before the tag.
        r = import9110(path("bom.txt"), TextEncoding::Windows1252);
        QCOMPARE(r.error, QStringLiteral("Invalid format!"));
    }
};

QTEST_GUILESS_MAIN(TestVCard)
#include "tst_vcard.moc"
