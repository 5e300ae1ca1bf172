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

QByteArray described(const Book& book) {
    return describeBook(book).toUtf8();
}

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

    void readerRefusesWhatItCannotTake() {
        VCardResult r = readBytes("no card here\r\n");
        QVERIFY(!r.ok);
        QCOMPARE(r.error, QStringLiteral("This file holds no vCard."));
        r = readBytes("BEGIN:VCARD\r\nFN:A\r\nBEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n");
        QVERIFY(!r.ok);
        QCOMPARE(r.error, QStringLiteral("Line 3: a card begins before the last one ended"));
        // A line over 1 MiB is refused, physical or unfolded...
        const QByteArray big(MaxVCardLine + 1, 'x');
        r = readBytes("BEGIN:VCARD\r\nFN:" + big + "\r\nEND:VCARD\r\n");
        QCOMPARE(r.error, QStringLiteral("Line 2: the line is longer than 1 MiB"));
        QByteArray folded = "BEGIN:VCARD\r\nNOTE:a\r\n";
        for (int i = 0; i < 20; ++i)
            folded += ' ' + QByteArray(64 * 1024, 'n') + "\r\n";
        r = readBytes(folded + "END:VCARD\r\n");
        QCOMPARE(r.error, QStringLiteral("Line 2: the line is longer than 1 MiB"));
        // ...but a photo that unfolds longer is skipped without being held.
        QByteArray photo = "BEGIN:VCARD\r\nFN:P\r\nPHOTO;ENCODING=b:";
        for (int i = 0; i < 20; ++i)
            photo += "\r\n " + QByteArray(64 * 1024, 'A');
        r = readBytes(photo + "\r\nEND:VCARD\r\n");
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.report(), QStringLiteral("1 contact, 1 photo skipped"));
        // Bare LF line ends and a file that ends inside a card are taken.
        r = readBytes("BEGIN:VCARD\nN:Doe;Jane;Q.;Dr.;\nTEL;TYPE=home,fax:1 2\n");
        QVERIFY(r.ok);
        QCOMPARE(described(r.book), QByteArray("Dr. Jane Q. Doe\n  Fax: 12\n"));
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
        QCOMPARE(csvText(book),
                 QByteArray("Name,General,Mobile,Mobile 2,Home,Office,Fax,E-Mail,Postal Address,"
                            "Note,Caller group\r\n"
                            "\"Müller, \"\"Hans\"\"\",,+491,+492,,,,,\"Łódź\nPolska\",,VIP\r\n"
                            "😀,112,,,,,,,,,\r\n"));
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
                            "Hans Müller (2)\n  Note: Sagt immer Moin, auch abends\n"
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
                            "  Note: Przyjaciółka, Zosia\n  Note: zofia@example.pl\n"
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
