#include "FileTestData.h"
#include "files/BookFile.h"
#include "files/CsvImport.h"
#include "files/Import9110.h"
#include "files/LineReader.h"
#include "model/BookModel.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <csignal>
#include <sys/resource.h>

using namespace quorix;
using namespace quorix::files;
using namespace quorix::testdata;

namespace {

// Anna (Mobile, Note, caller group Family), then Bob (General).
void fillAnnaBob(Book& book) {
    Name& anna = book.insertName(0, "Anna");
    Book::addSubentry(anna, "+491230", KindMobile);
    Book::addSubentry(anna, "Neighbour", KindNote);
    Book::addSubentry(anna, "Family", KindCallerGroup);
    Name& bob = book.insertName(1, "Bob");
    Book::addSubentry(bob, "112", KindGeneral);
}

QByteArrayList readLines(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    LineReader in(buffer);
    QByteArrayList lines;
    while (!in.atEnd())
        lines << in.readLine();
    return lines;
}

const QByteArray Example9110 = crlf({
    "[RECORD]",     "[FIELD]",      "Name",          "[FIELD-NAME]", "Name",         "[FIELD-DATA]",
    "Chris Sample", "[FIELD-END]",  "[FIELD]",       "Tel",          "[FIELD-NAME]", "GSM/PCN",
    "[FIELD-DATA]", "+49 123 0",    "[FIELD-END]",   "[FIELD]",      "Address",      "[FIELD-NAME]",
    "Home",         "[FIELD-DATA]", "Main Street 1", "[FIELD-END]",  "[RECORD-END]",
});

// One 9110 field: type, label, data (no data line when data is null).
QByteArrayList field9110(const QByteArray& type, const QByteArray& label, const QByteArray& data) {
    QByteArrayList lines{"[FIELD]", type, "[FIELD-NAME]", label, "[FIELD-DATA]"};
    if (!data.isNull())
        lines << data;
    lines << "[FIELD-END]";
    return lines;
}

} // namespace

class TestFiles : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    BookResult loadBytes(const QByteArray& bytes) {
        const QString p = path("in.pbf");
        if (!writeAll(p, bytes))
            qFatal("cannot write %s", qPrintable(p));
        return loadBookFile(p);
    }
    BookResult csvBytes(const QByteArray& bytes, const CsvSettings& settings = {}) {
        const QString p = path("in.csv");
        if (!writeAll(p, bytes))
            qFatal("cannot write %s", qPrintable(p));
        return importCsv(p, settings);
    }
    BookResult import9110Bytes(const QByteArray& bytes) {
        const QString p = path("in.txt");
        if (!writeAll(p, bytes))
            qFatal("cannot write %s", qPrintable(p));
        return import9110(p);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // --- The line rules every reader shares ---------------------------------

    void lineRules_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QByteArrayList{"a", "b"};
        QTest::newRow("bare CR") << QByteArray("a\rb\r") << QByteArrayList{"a", "b"};
        QTest::newRow("bare LF is one line") << QByteArray("a\nb\n") << QByteArrayList{"a\nb\n"};
        QTest::newRow("only the first LF after CR is the line end")
            << QByteArray("a\r\n\nb\r\n") << QByteArrayList{"a", "\nb"};
        QTest::newRow("last line without end") << QByteArray("a\r\nb") << QByteArrayList{"a", "b"};
        QTest::newRow("empty lines") << QByteArray("\r\n\r\r\n") << QByteArrayList{"", "", ""};
        QTest::newRow("LF CR") << QByteArray("a\n\rb") << QByteArrayList{"a\n", "b"};
        QTest::newRow("Ctrl+Z ends the file") << QByteArray("a\r\nb\x1a"
                                                            "c\r\nd")
                                              << QByteArrayList{"a", "b"};
        QTest::newRow("Ctrl+Z at a line start")
            << QByteArray("a\r\n\x1a\r\nb") << QByteArrayList{"a"};
        QTest::newRow("Ctrl+Z after CR, before LF")
            << QByteArray("a\r\x1a\nb") << QByteArrayList{"a"};
        QTest::newRow("empty file") << QByteArray() << QByteArrayList{};
        QTest::newRow("NUL bytes are ordinary")
            << QByteArray("a\0b\r\n", 5) << QByteArrayList{QByteArray("a\0b", 3)};
    }
    void lineRules() {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArrayList, lines);
        QCOMPARE(readLines(bytes), lines);
    }

    void lineRulesAcrossChunks() {
        // The reader fetches 64 KiB at a time: a CR LF, a Ctrl+Z or a long line
        // split by a chunk boundary must read as if it were not.
        for (const qsizetype at : {qsizetype(65535), qsizetype(65536), qsizetype(65537)}) {
            const QByteArray first(at - 1, 'x');
            QCOMPARE(readLines(first + "\r\n\nz"), (QByteArrayList{first, "\nz"}));
            QCOMPARE(readLines(first + "\r\x1a\r\nz"), QByteArrayList{first});
        }
        const QByteArray longLine(300000, 'y');
        QCOMPARE(readLines(longLine + "\r\n" + longLine), (QByteArrayList{longLine, longLine}));
    }

    // --- Writing .pbf -------------------------------------------------------

    void writesTheAnnaBobExampleByteForByte() {
        Book book;
        fillAnnaBob(book);
        book.bookChanged = true;
        const SaveResult r = saveBookFile(book, path("anna.pbf"));
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(readAll(path("anna.pbf")), AnnaBobFile);
        QCOMPARE(r.status, QStringLiteral("Wrote file anna.pbf"));
        QCOMPARE(r.path, QDir::cleanPath(path("anna.pbf")));
        QCOMPARE(book.bookFileName, r.path);
        QVERIFY(!book.bookChanged);
        QCOMPARE(r.adjusted, 0);
    }

    void writesEmptyBookAndBareNames() {
        Book book;
        QVERIFY(saveBookFile(book, path("empty.pbf")).ok);
        QCOMPARE(readAll(path("empty.pbf")), QByteArray("[QUORIX7-File]\r\n"));
        const BookResult empty = loadBookFile(path("empty.pbf"));
        QVERIFY(empty.ok);
        QVERIFY(empty.book.isEmpty());
        QCOMPARE(empty.status, QStringLiteral("Opened file empty.pbf"));

        book.insertName(0, "A");
        book.insertName(1, "");
        Book::addSubentry(book.insertName(2, "C"), "", KindCallerGroup);
        QVERIFY(saveBookFile(book, path("bare.pbf")).ok);
        QCOMPARE(readAll(path("bare.pbf")), crlf({"[QUORIX7-File]", "A", "", "C", "\x0a"}));
        // The empty name is stored as the empty line that reads back as
        // "<No Name>", and the book says so too.
        QCOMPARE(book.name(1).text, QByteArray("<No Name>"));
        QCOMPARE(structure(loadBookFile(path("bare.pbf")).book), structure(book));
    }

    void pbfPathRule_data() {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("appended") << QString("book") << QString("book.pbf");
        QTest::newRow("kept") << QString("book.pbf") << QString("book.pbf");
        QTest::newRow("case-sensitive") << QString("book.PBF") << QString("book.PBF.pbf");
        QTest::newRow("anywhere in the path")
            << QString("data.pbf.old/x") << QString("data.pbf.old/x");
        QTest::newRow("inside a name") << QString("my.pbfbook") << QString("my.pbfbook");
        QTest::newRow("other extension") << QString("book.txt") << QString("book.txt.pbf");
    }
    void pbfPathRule() {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(pbfPath(in), out);
    }

    void saveNamesTheFullPath() {
        // A relative path is remembered expanded, with ".." resolved.
        QVERIFY(QDir(dir_.path()).mkdir("sub"));
        const QString old = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_.path()));
        Book book;
        const SaveResult r = saveBookFile(book, "sub/../rel");
        QDir::setCurrent(old);
        QVERIFY(r.ok);
        QCOMPARE(book.bookFileName, QDir::cleanPath(dir_.filePath("rel.pbf")));
        QCOMPARE(r.path, book.bookFileName);
        QVERIFY(QFile::exists(dir_.filePath("rel.pbf")));
    }

    // --- Failed saves leave the old file and the book's state ----------------

    void failedSaveLeavesOldFileAndState() {
        const QString target = path("keep.pbf");
        QVERIFY(writeAll(target, "old contents"));
        Book book;
        fillAnnaBob(book);
        book.bookFileName = "/somewhere/else.pbf";
        book.bookChanged = true;

        // The file system refuses to grow the file beyond 1 KiB: the write
        // fails half-way through a 100 KiB book.
        for (int i = 0; i < 2000; ++i)
            Book::addSubentry(book.name(1), "0123456789012345678901234567890123456789", KindNote);
        rlimit saved{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        rlimit small = saved;
        small.rlim_cur = 1024;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const SaveResult r = saveBookFile(book, target);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains("File too large"), qPrintable(r.error));
        QCOMPARE(readAll(target), QByteArray("old contents"));
        QCOMPARE(book.bookFileName, QStringLiteral("/somewhere/else.pbf"));
        QVERIFY(book.bookChanged);
        QCOMPARE(QDir(dir_.path()).entryList({"keep*"}, QDir::Files), QStringList{"keep.pbf"});

        // The same book saves once the disk lets it.
        QVERIFY(saveBookFile(book, target).ok);
        QCOMPARE(loadBookFile(target).book.name(1).subs.size(), size_t(2001));
    }

    void failedSaveReportsTheSystemText() {
        Book book;
        book.bookChanged = true;
        SaveResult r = saveBookFile(book, path("no/such/dir/book.pbf"));
        QVERIFY(!r.ok);
        QVERIFY2(r.error.contains("No such file or directory"), qPrintable(r.error));
        QVERIFY(book.bookFileName.isEmpty());
        QVERIFY(book.bookChanged);

        // A directory in the way of the file stays a directory.
        QVERIFY(QDir(dir_.path()).mkpath("adir.pbf/inner"));
        r = saveBookFile(book, path("adir.pbf"));
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QVERIFY(QFileInfo(path("adir.pbf/inner")).isDir());
    }

    void unwritableTextsAreStoredSoTheyReadBack() {
        Book book;
        Name& cr = book.insertName(0, "Carriage\rReturn");
        Book::addSubentry(cr,
                          "1\r2\x1a"
                          "3",
                          KindGeneral);
        Book::addSubentry(cr, "line\nfeed", KindNote); // an LF inside a line is kept
        Book::addSubentry(cr, "\ntext", KindPostalAddress);
        book.insertName(1, "\tTabbed");
        book.insertName(2, "\nFeed");
        Name& kinds = book.insertName(3, "Kinds");
        Book::addSubentry(kinds, "cr kind", 13);
        Book::addSubentry(kinds, "wide kind", 99);
        Book::addSubentry(kinds, "negative", -1);
        Book::addSubentry(kinds, "lf kind", 10);
        Book::addSubentry(kinds, "zero", 0);
        Book::addSubentry(kinds, "fifteen", 15);

        const SaveResult r = saveBookFile(book, path("odd.pbf"));
        QVERIFY(r.ok);
        QCOMPARE(r.adjusted, 7);
        QCOMPARE(structure(book), QByteArray("Carriage Return\n 2:1 2 3\n 9:line\nfeed\n 8:\ntext\n"
                                             " Tabbed\n Feed\n"
                                             "Kinds\n 11:cr kind\n 11:wide kind\n 11:negative\n"
                                             " 10:lf kind\n 0:zero\n 15:fifteen\n"));
        const BookResult back = loadBookFile(path("odd.pbf"));
        QVERIFY(back.ok);
        QCOMPARE(structure(back.book), structure(book));
    }

    void modelSaveAdjustsThroughTheModel() {
        BookModel model;
        model.rebuild([](Book& b) { b.insertName(0, "Line\rbreak"); });
        model.book().bookChanged = true;
        int changes = 0;
        connect(&model, &QAbstractItemModel::dataChanged, this, [&] { ++changes; });
        const SaveResult r = saveBookFile(model, path("model.pbf"));
        QVERIFY(r.ok);
        QCOMPARE(r.adjusted, 1);
        QVERIFY(changes >= 1);
        QCOMPARE(model.data(model.index(0, 0, model.rootIndex())).toString(),
                 QStringLiteral("Line break"));
        QVERIFY(!model.book().bookChanged);
        QCOMPARE(model.book().bookFileName, r.path);
    }

    // --- Reading .pbf -------------------------------------------------------

    void readsTheAnnaBobExample() {
        const BookResult r = loadBytes(AnnaBobFile);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(describeBook(r.book), AnnaBobText);
        QCOMPARE(r.status, QStringLiteral("Opened file in.pbf"));
        QVERIFY(r.book.rootExpanded);
        QVERIFY(r.book.entryNotes.isEmpty());
        QVERIFY(!r.book.name(0).expanded);
    }

    void readsBareCrLikeCrLf() {
        QByteArray bare = crlf({"[QUORIX7-File]", "Anna", "\x03+491230", "\x09Neighbour", "Bob",
                                "\x02"
                                "112",
                                "", "Carl"});
        bare.replace("\r\n", "\r");
        const BookResult r = loadBytes(bare);
        QVERIFY(r.ok);
        QCOMPARE(describeBook(r.book), QByteArray("Anna\n  Mobile: +491230\n  Note: Neighbour\n"
                                                  "Bob\n  General: 112\n<No Name>\nCarl\n"));
        // A caller group right after a bare CR is taken as that CR's line end.
        const BookResult group = loadBytes("[QUORIX7-File]\rAnna\r\x0a"
                                           "Family\r");
        QCOMPARE(describeBook(group.book), QByteArray("Anna\nFamily\n"));
    }

    void rejectsWhatIsNotAPhonebook_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("bare LF") << QByteArray("[QUORIX7-File]\nAnna\n\x03+49\n");
        QTest::newRow("trailing blank") << QByteArray("[QUORIX7-File] \r\nAnna\r\n");
        QTest::newRow("leading blank line") << QByteArray("\r\n[QUORIX7-File]\r\n");
        QTest::newRow("byte-order mark") << QByteArray("\xef\xbb\xbf[QUORIX7-File]\r\n");
        QTest::newRow("Ctrl+Z inside the header") << QByteArray("[QUORIX7\x1a-File]\r\n");
    }
    void rejectsWhatIsNotAPhonebook() {
        QFETCH(QByteArray, bytes);
        const BookResult r = loadBytes(bytes);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, QStringLiteral("This is not a valid phonebook!"));
        QVERIFY(r.book.isEmpty());
    }

    void readsEveryKindByteBelow16() {
        QByteArrayList lines{"[QUORIX7-File]", "Kinds"};
        for (char kind = 0; kind < 16; ++kind)
            if (kind != '\r')
                lines << QByteArray(1, kind) + "t" + QByteArray::number(kind);
        const BookResult r = loadBytes(crlf(lines));
        QVERIFY(r.ok);
        QCOMPARE(r.book.entryCount(), 1);
        const auto& subs = r.book.name(0).subs;
        QCOMPARE(subs.size(), size_t(15));
        for (const Subentry& s : subs)
            QCOMPARE(s.text, "t" + QByteArray::number(s.kind));
        QCOMPARE(subs[0].kind, 0);
        QCOMPARE(subs[1].kind, 1);
        QCOMPARE(subs[11].kind, int(KindUnknown));
        QCOMPARE(subs[12].kind, 12);
        QCOMPARE(subs[14].kind, 15);
        // A subentry line of its kind byte alone has an empty text; a byte of 16
        // or more starts a name.
        const BookResult bare = loadBytes(crlf({"[QUORIX7-File]", "N", "\x02",
                                                "\x10"
                                                "x"}));
        QCOMPARE(structure(bare.book), QByteArray("N\n 2:\n\x10x\n"));
    }

    void readsToCtrlZAndDropsOrphanSubentries() {
        const BookResult r = loadBytes(crlf({"[QUORIX7-File]",
                                             "\x03"
                                             "123",
                                             "Anna",
                                             "\x02"
                                             "1\x1a"
                                             "2",
                                             "Bob"}));
        QVERIFY(r.ok);
        QCOMPARE(structure(r.book), QByteArray("Anna\n 2:1\n"));
    }

    void readersReportUnreadableFiles() {
        const QString missing = path("missing");
        for (const FileResult& r :
             std::initializer_list<FileResult>{loadBookFile(missing), importCsv(missing, {}),
                                               import9110(missing), csvProbe(missing)}) {
            QVERIFY(!r.ok);
            QCOMPARE(r.error, QStringLiteral("No such file or directory"));
            QCOMPARE(r.path, QDir::cleanPath(missing));
        }
        const BookResult directory = loadBookFile(dir_.path());
        QVERIFY(!directory.ok);
        QVERIFY(!directory.error.isEmpty());
    }

    void loadReplacesNamesButNotTheTransferState() {
        BookModel model;
        model.rebuild([](Book& b) {
            Name& old = b.insertName(0, "Old");
            b.setEntryNote(old, "Read from location 1");
            b.transferActive = true;
            b.bookChanged = true;
        });
        BookResult r = loadBytes(AnnaBobFile);
        QVERIFY(r.ok);
        adoptLoadedBook(model, r);
        const Book& book = model.book();
        QCOMPARE(describeBook(book), AnnaBobText);
        QVERIFY(book.entryNotes.isEmpty());
        QCOMPARE(book.name(0).data, 0);
        QVERIFY(book.transferActive);
        QVERIFY(!book.bookChanged);
        QCOMPARE(book.bookFileName, QDir::cleanPath(path("in.pbf")));
        QCOMPARE(model.rowCount(model.rootIndex()), 2);
    }

    void csvField_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("column");
        QTest::addColumn<char>("sep");
        QTest::addColumn<bool>("quotes");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("beyond") << QByteArray("a;b;c") << 4 << ';' << false << QByteArray();
        QTest::newRow("column 0") << QByteArray("a;b") << 0 << ';' << false << QByteArray();
        QTest::newRow("blanks kept")
            << QByteArray(" a ; b ") << 2 << ';' << false << QByteArray(" b ");
        QTest::newRow("empty between") << QByteArray("a;;c") << 2 << ';' << false << QByteArray();
        QTest::newRow("quotes off keep quotes")
            << QByteArray("\"a;b\";c") << 1 << ';' << false << QByteArray("\"a");
        QTest::newRow("quoted separator")
            << QByteArray("\"a;b\";c") << 1 << ';' << true << QByteArray("a;b");
        QTest::newRow("after a quoted field")
            << QByteArray("\"a;b\";c") << 2 << ';' << true << QByteArray("c");
        QTest::newRow("doubled quote inside quotes is one quote")
            << QByteArray("\"say \"\"hi\"\"\"") << 1 << ';' << true << QByteArray("say \"hi\"");
        QTest::newRow("empty quoted field")
            << QByteArray("\"\";b") << 1 << ';' << true << QByteArray();
        QTest::newRow("only a doubled quote")
            << QByteArray("\"\"\"\";b") << 1 << ';' << true << QByteArray("\"");
        QTest::newRow("quote inside a field")
            << QByteArray("ab\"c;d\"e;f") << 1 << ';' << true << QByteArray("abc;de");
        QTest::newRow("unclosed quote swallows the rest")
            << QByteArray("\"a;b;c") << 2 << ';' << true << QByteArray();
        QTest::newRow("tab") << QByteArray("a\tb c\td") << 2 << '\t' << false << QByteArray("b c");
        QTest::newRow("latin-1 separator") << QByteArray("a\xa7"
                                                         "b")
                                           << 2 << '\xa7' << false << QByteArray("b");
    }
    void csvField() {
        QFETCH(QByteArray, line);
        QFETCH(int, column);
        QFETCH(char, sep);
        QFETCH(bool, quotes);
        QFETCH(QByteArray, field);
        // The rows are bytes of an 8-bit file, read through the file's code page.
        const QString text = files::decodeCp1252(line);
        const QChar separator = files::decodeCp1252(QByteArray(1, sep)).front();
        QCOMPARE(files::encodeCp1252(files::csvField(text, column, separator, quotes)), field);
    }

    void csvSampleLine() {
        QCOMPARE(csvSample({}), QByteArray("Alex Example; +491230; +491230; +491230; +491230; "
                                           "+491230; +491230; ; ; ; "));
        CsvSettings s;
        s.nameColumn = 12;
        s.firstColumn = 1;
        s.lastColumn = 2;
        s.separator = '\t';
        s.quotes = true;
        QCOMPARE(csvSample(s),
                 QByteArray("\"+491230\"\t \"+491230\"\t \"\"\t \"\"\t \"\"\t \"\"\t "
                            "\"\"\t \"\"\t \"\"\t \"\"\t \"\"\t \"Alex Example\"\t "));
        // Settings beyond the dialog's counters show no more than 100 fields.
        s.lastColumn = INT_MAX;
        QCOMPARE(csvSample(s).count('\t'), 100);
    }

    void csvImportsNamesNumbersAndNotes() {
        const BookResult r =
            csvBytes(crlf({"Anna;+491230; +491230;(0)12;a@b;;*31#p2w", "", "Bob"}));
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(describeBook(r.book),
                 QByteArray("Anna\n  General: +491230\n  Note:  +491230\n  Note: (0)12\n"
                            "Anna (2)\n  General: *31#p2w\n  Note: a@b\n<No Name>\nBob\n"));
        QVERIFY(r.status.isEmpty());
    }

    void csvContinuationNames() {
        // Seven numbers: five stay, two go to "(2)"; with more columns, "(3)".
        CsvSettings s;
        s.lastColumn = 13;
        const BookResult r =
            csvBytes(crlf({"Alex Example;1;2;3;4;5;6;7;8;9;10;11;12", ";x;y;z;1"}), s);
        QCOMPARE(describeBook(r.book),
                 QByteArray("Alex Example\n  General: 1\n  General: 2\n  General: 3\n"
                            "  General: 4\n  General: 5\nAlex Example (2)\n  General: 6\n"
                            "  General: 7\n  General: 8\n  General: 9\n  General: 10\n"
                            "Alex Example (3)\n  General: 11\n  General: 12\n"
                            "<No Name>\n  Note: x\n  Note: y\n<No Name> (2)\n  General: 1\n"
                            "  Note: z\n"));
        // No name goes beyond five numbers and two texts.
        for (const auto& n : r.book) {
            QVERIFY(Book::subentryCount(*n, ClassNumber) <= MaxNumbers);
            QVERIFY(Book::subentryCount(*n, ClassText) <= MaxTexts);
        }
    }

    void csvSettingsChooseLinesAndColumns() {
        const QByteArray file =
            crlf({"Name\tPhone", "-----", "\"Ann; A\"\t\"+1\"\t\"+2\"", "Ben\t\t3"});
        CsvSettings s;
        s.separator = '\t';
        s.quotes = true;
        s.firstLine = 3;
        s.lastColumn = 3;
        QCOMPARE(describeBook(csvBytes(file, s).book),
                 QByteArray("Ann; A\n  General: +1\n  General: +2\nBen\n  General: 3\n"));
        s.lastColumn = 1; // below the first entry column: names only
        QCOMPARE(describeBook(csvBytes(file, s).book), QByteArray("Ann; A\nBen\n"));
        s.nameColumn = 2;
        s.firstColumn = 1;
        s.lastColumn = 1;
        s.firstLine = 4;
        QCOMPARE(describeBook(csvBytes(file, s).book), QByteArray("<No Name>\n  Note: Ben\n"));
        s.firstLine = 100; // beyond the file: no names, which is no success
        const BookResult none = csvBytes(file, s);
        QVERIFY(!none.ok);
        QCOMPARE(none.error, QStringLiteral("No names to import: the file has 4 lines, and the "
                                            "import starts at line 100."));
    }

    void csvProbeLine() {
        const QString p = path("probe.csv");
        QVERIFY(writeAll(p, "head\r\nfirst;1\rsecond\x1a"
                            "third"));
        QCOMPARE(csvProbe(p).line, QByteArray("head"));
        QCOMPARE(csvProbe(p, 2).line, QByteArray("first;1"));
        QCOMPARE(csvProbe(p, 3).line, QByteArray("second"));
        const LineResult beyond = csvProbe(p, 4);
        QVERIFY(beyond.ok);
        QCOMPARE(beyond.line, QByteArray());
    }

    void imports9110Example() {
        const BookResult r = import9110Bytes(Example9110);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(describeBook(r.book),
                 QByteArray("Chris Sample\n  Mobile: +491230\n  Postal Address: Main Street 1\n"));
        QCOMPARE(r.status, QStringLiteral("Import finished."));
    }

    void import9110KindsLabelsAndData() {
        QByteArrayList lines{"[RECORD]"};
        lines << field9110("Name", "x", "Dana") << field9110("Address", "Home", "  Street 2 ")
              << field9110("Tel", "Work", "(030) 12-34") << field9110("Fax", "GSM/PCN", "9 9")
              << field9110("Tel", "GSM/PCN", "none at all") << field9110("Tel", "gsm/pcn", "5")
              << field9110("Mail", "", "d@x") << field9110("Note", "", "dropped")
              << field9110("Tel", "GSM/PCN", QByteArray())
              << "[RECORD-END]"
              // Lines between records are passed over.
              << "junk"
              << "[FIELD]"
              << "Tel"
              << "[RECORD]"
              << field9110("Name", "", QByteArray())
              // Only the first line after "[FIELD-DATA]" is data.
              << "[FIELD]"
              << "Mail"
              << "[FIELD-NAME]"
              << ""
              << "[FIELD-DATA]"
              << "first"
              << "second"
              << "[FIELD-END]"
              << "[RECORD-END]";
        const BookResult r = import9110Bytes(crlf(lines));
        QCOMPARE(describeBook(r.book),
                 QByteArray("Dana\n  General: 0301234\n  Fax: 99\n  General: 5\n"
                            "  Postal Address:   Street 2 \n  E-Mail: d@x\nDana (2)\n"
                            "  Note: none at all\n"
                            "<No Name>\n  E-Mail: first\n"));
    }

    void import9110Continuations() {
        QByteArrayList lines{"[RECORD]"};
        lines << field9110("Name", "", "Eve");
        for (int i = 1; i <= 7; ++i)
            lines << field9110("Tel", "", QByteArray::number(i));
        for (int i = 1; i <= 3; ++i)
            lines << field9110("Mail", "", "m" + QByteArray::number(i));
        lines << "[RECORD-END]"
              << "[RECORD]" << field9110("Name", "", "Fay");
        for (int i = 1; i <= 5; ++i)
            lines << field9110("Fax", "", QByteArray::number(i));
        // A sixth number without data still opens the continuation name.
        lines << field9110("Tel", "", QByteArray()) << "[RECORD-END]";
        const BookResult r = import9110Bytes(crlf(lines));
        QCOMPARE(describeBook(r.book),
                 QByteArray("Eve\n  General: 1\n  General: 2\n  General: 3\n  General: 4\n"
                            "  General: 5\nEve (2)\n  General: 6\n  General: 7\n  E-Mail: m1\n"
                            "  E-Mail: m2\nEve (3)\n  E-Mail: m3\n"
                            "Fay\n  Fax: 1\n  Fax: 2\n  Fax: 3\n  Fax: 4\n  Fax: 5\nFay (2)\n"));
    }

    void import9110SkipsAndTruncations() {
        QByteArrayList lines{"[RECORD]"};
        lines << field9110("Tel", "", "1") << field9110("Name", "", "Skipped") << "[RECORD-END]";
        lines << "[RECORD]" << field9110("Name", "", "Kept") << field9110("Tel", "", "+1");
        lines << "[FIELD]"
              << "Mail"
              << "[FIELD-NAME]"
              << "x"; // the file ends inside a record
        const BookResult r = import9110Bytes(crlf(lines));
        QVERIFY(r.ok);
        QCOMPARE(describeBook(r.book), QByteArray("Kept\n  General: +1\n"));

        // Ctrl+Z ends the file, here right inside the record.
        const BookResult z =
            import9110Bytes(crlf({"[RECORD]", "[FIELD]", "Name", "[FIELD-NAME]", "", "[FIELD-DATA]",
                                  "Zed\x1a", "[FIELD-END]", "[RECORD-END]", "[RECORD]"}));
        QCOMPARE(describeBook(z.book), QByteArray("Zed\n"));
    }

    void import9110RejectsOtherFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("leading blank line") << QByteArray("\r\n" + Example9110);
        QTest::newRow("blank after the tag") << QByteArray("[RECORD] \r\n");
    }
    void import9110RejectsOtherFiles() {
        QFETCH(QByteArray, bytes);
        const BookResult r = import9110Bytes(bytes);
        QVERIFY(!r.ok);
        QCOMPARE(r.error, QStringLiteral("Invalid format!"));
    }

    void importsReplaceTheBookAndMarkIt() {
        Book live;
        live.insertName(0, "Old");
        live.bookFileName = "/x/old.pbf";
        live.transferActive = false;
        BookResult r = import9110Bytes(Example9110);
        adoptImportedBook(live, r);
        QCOMPARE(live.entryCount(), 1);
        QCOMPARE(live.name(0).text, QByteArray("Chris Sample"));
        QVERIFY(live.bookChanged);
        QCOMPARE(live.bookFileName, QStringLiteral("/x/old.pbf"));
    }
};

QTEST_GUILESS_MAIN(TestFiles)
#include "tst_files.moc"
