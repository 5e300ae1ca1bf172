// Characters at the boundaries of the files: the 8-bit code page of .pbf, CSV
// and 9110 files, and what a .pbf cannot hold.
#include "FileTestData.h"
#include "files/BookFile.h"
#include "files/Codepage.h"

#include <QTemporaryDir>
#include <QTest>

using namespace quorix;
using namespace quorix::files;
using namespace quorix::testdata;

class TestText : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void everyByteHasItsOwnCharacter() {
        QByteArray all(256, '\0');
        for (int b = 0; b < 256; ++b)
            all[b] = char(b);
        const QString text = decodeCp1252(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(QSet<QChar>(text.begin(), text.end()).size(), 256);
        int missing = -1;
        QCOMPARE(encodeCp1252(text, &missing), all);
        QCOMPARE(missing, 0);
        // The Western Windows characters, and the five holes as the C1 codes.
        QCOMPARE(decodeCp1252("\x80\x8a\x93\x94\x99\x9f"), QStringLiteral("€Š“”™Ÿ"));
        QCOMPARE(decodeCp1252("\x81\x8d\x8f\x90\x9d"),
                 QStringLiteral("\u0081\u008d\u008f\u0090\u009d"));
        QCOMPARE(decodeCp1252("\xe4\xdf\xff"), QStringLiteral("äßÿ"));
    }

    void charactersWithoutAByteBecomeQuestionMarks() {
        int missing = -1;
        // Ł, ź and the emoji have no byte; the emoji (two code units) counts once;
        // U+0080 is no character of the table (0x80 is the euro sign).
        QCOMPARE(encodeCp1252(QStringLiteral("Łódź € 😀 \u0080"), &missing),
                 QByteArray("?\xf3""d? \x80 ? ?"));
        QCOMPARE(missing, 4);
        QCOMPARE(unmappableCp1252(QStringLiteral("Łódź € 😀 \u0080")), 4);
        QCOMPARE(unmappableCp1252(QStringLiteral("Müller €5")), 0);
        // A lone surrogate is no character either.
        QCOMPARE(encodeCp1252(QString(QChar(0xd83d)), &missing), QByteArray("?"));
        QCOMPARE(missing, 1);
    }

    void pbfKeepsEveryByteThroughLoadAndSave() {
        QByteArray bytes;
        for (int b = 0x10; b < 256; ++b)
            if (b != '\r' && b != 0x1a)
                bytes += char(b);
        const QByteArray file = crlf({"[QUORIX7-File]", bytes, "\x03" + bytes, "\x80uro"});
        QVERIFY(writeAll(path("all.pbf"), file));
        BookResult r = loadBookFile(path("all.pbf"));
        QVERIFY(r.ok);
        QCOMPARE(r.book.name(1).text, QStringLiteral("€uro"));
        QCOMPARE(pbfLoss(r.book).characters, 0);
        const SaveResult saved = saveBookFile(r.book, path("again.pbf"));
        QVERIFY(saved.ok);
        QCOMPARE(saved.replaced, 0);
        QCOMPARE(readAll(path("again.pbf")), file);
    }

    void pbfLossIsCountedAndStoredAsQuestionMarks() {
        Book book;
        Name& a = book.insertName(0, QStringLiteral("Łukasz 😀"));
        Book::addSubentry(a, QStringLiteral("Łódź"), KindPostalAddress);
        book.insertName(1, QStringLiteral("Müller € fine"));
        Name& c = book.insertName(2, QStringLiteral("Ψ"));
        Book::addSubentry(c, QStringLiteral("+491"), KindMobile);

        const PbfLoss loss = pbfLoss(book);
        QCOMPARE(loss.characters, 5);
        QCOMPARE(loss.names, 2);
        QCOMPARE(loss.warning(), QStringLiteral("5 characters in 2 names cannot be stored in a "
                                                ".pbf file and will be saved as \"?\"."));
        QCOMPARE((PbfLoss{1, 1}.warning()), QStringLiteral("1 character in 1 name cannot be stored "
                                                         "in a .pbf file and will be saved as "
                                                         "\"?\"."));

        const SaveResult r = saveBookFile(book, path("loss.pbf"));
        QVERIFY(r.ok);
        QCOMPARE(r.replaced, 5);
        QCOMPARE(readAll(path("loss.pbf")),
                 crlf({"[QUORIX7-File]", "?ukasz ?", "\x08?\xf3""d?", "M\xfcller \x80 fine", "?",
                       "\x03+491"}));
        // The book holds what the file holds, so it reads back the same.
        QCOMPARE(book.name(0).text, QStringLiteral("?ukasz ?"));
        QCOMPARE(book.name(1).text, QStringLiteral("Müller € fine"));
        const BookResult back = loadBookFile(path("loss.pbf"));
        QCOMPARE(structure(back.book), structure(book));
    }
};

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
