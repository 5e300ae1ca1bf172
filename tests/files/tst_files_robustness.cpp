#include "FileTestData.h"
#include "files/BookFile.h"
#include "files/CsvImport.h"
#include "files/Import9110.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <random>

using namespace quorix;
using namespace quorix::files;
using namespace quorix::testdata;

// Random and mutated files fed to every reader: none may crash, hang or read
// out of bounds (run under the asan-ubsan preset too), and what they accept
// must be a sound book.
namespace {

constexpr int CasesPerReader = 1500;

// Pieces the formats are made of, so mutations reach the interesting paths.
const QByteArrayList Tokens = {
    "\r",
    "\n",
    "\r\n",
    "\x1a",
    "\"",
    ";",
    "\t",
    ",",
    "[RECORD]",
    "[RECORD-END]",
    "[FIELD]",
    "[FIELD-NAME]",
    "[FIELD-DATA]",
    "[FIELD-END]",
    "Name",
    "Tel",
    "Fax",
    "Mail",
    "Address",
    "GSM/PCN",
    "+491230",
    "[QUORIX7-File]",
    "\x02",
    "\x0b",
    QByteArray(1, '\0'),
    "\xff",
    " ",
    "p",
    "w",
    "#*",
};

const QByteArray PbfSeed = "[QUORIX7-File]\r\nAnna\r\n\x03+491230\r\n\x09Neighbour\r\n\x0a"
                           "Family\r\nBob\r\n\x02"
                           "112\r\n";
const QByteArray CsvSeed = "Name;Phone;Mail\r\n\"Alex; Example\";+491230;a@b;1;2;3;4;5;6\r\n;;\r\n";
const QByteArray Seed9110 =
    "[RECORD]\r\n[FIELD]\r\nName\r\n[FIELD-NAME]\r\nName\r\n[FIELD-DATA]\r\nChris\r\n"
    "[FIELD-END]\r\n[FIELD]\r\nTel\r\n[FIELD-NAME]\r\nGSM/PCN\r\n[FIELD-DATA]\r\n+49 1\r\n"
    "[FIELD-END]\r\n[FIELD]\r\nMail\r\n[FIELD-NAME]\r\nx\r\n[FIELD-DATA]\r\n\r\n[FIELD-END]\r\n"
    "[RECORD-END]\r\n";

class Fuzzer {
public:
    explicit Fuzzer(unsigned seed) : rng_(seed) {}

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    QByteArray randomBytes() {
        QByteArray out;
        const int pieces = below(200);
        for (int i = 0; i < pieces; ++i) {
            if (below(3) == 0)
                out += token();
            else
                out += char(below(256));
        }
        return out;
    }

    QByteArray mutate(QByteArray data) {
        const int steps = 1 + below(8);
        for (int i = 0; i < steps; ++i) {
            const int at = data.isEmpty() ? 0 : below(int(data.size()) + 1);
            switch (below(5)) {
            case 0: // flip a byte
                if (at < data.size())
                    data[at] = char(below(256));
                break;
            case 1: // insert a piece of the format
                data.insert(at, token());
                break;
            case 2: // cut a run
                data.remove(at, below(40));
                break;
            case 3: // repeat a run
                data.insert(at, data.mid(at, below(200)));
                break;
            default: // cut the file short
                data.truncate(at);
                break;
            }
        }
        return data;
    }

    // Settings the dialog never gives, beside those it does.
    int setting() {
        static const int extremes[] = {INT_MIN, -1, 0, 1, 2, 3, 7, 100, 101, INT_MAX};
        return below(2) ? extremes[below(10)] : below(12);
    }

private:
    QByteArray token() { return Tokens.at(below(int(Tokens.size()))); }

    std::mt19937 rng_;
};

// What every imported book must be: no name beyond its limits, subentries in
// class order, only the kinds the import makes, no empty name.
QString unsound(const Book& book, std::initializer_list<int> kinds) {
    for (const auto& n : book) {
        if (n->text.isEmpty())
            return QStringLiteral("an empty name");
        if (Book::getentrycount(*n, ClassNumber) > MaxNumbers ||
            Book::getentrycount(*n, ClassText) > MaxTexts)
            return QStringLiteral("an overfull name: ") + QString::fromLatin1(n->text);
        for (size_t i = 0; i < n->subs.size(); ++i) {
            if (std::find(kinds.begin(), kinds.end(), n->subs[i].kind) == kinds.end())
                return QStringLiteral("kind %1").arg(n->subs[i].kind);
            if (i > 0 && Book::compareclass(n->subs[i - 1], n->subs[i]) > 0)
                return QStringLiteral("subentries out of class order");
        }
    }
    return {};
}

} // namespace

class TestFilesRobustness : public QObject {
    Q_OBJECT

    // Every accepted book is saved, and each save syncs the disk: a memory
    // file system keeps thousands of them quick where there is one.
    QTemporaryDir dir_{QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                           ? QStringLiteral("/dev/shm/quorix-robustness-XXXXXX")
                           : QDir::tempPath() + QStringLiteral("/quorix-robustness-XXXXXX")};

    QString write(const QString& name, const QByteArray& bytes) {
        const QString p = dir_.filePath(name);
        if (!writeAll(p, bytes))
            qFatal("cannot write %s", qPrintable(p));
        return p;
    }

    // A book that was read must save and read back as it stands.
    void checkSavesAndReadsBack(Book& book, const QByteArray& input) {
        const SaveResult saved = savebookfile(book, dir_.filePath("out.pbf"));
        QVERIFY2(saved.ok, qPrintable(saved.error));
        const BookResult back = loadbookfile(saved.path);
        QVERIFY(back.ok);
        QVERIFY2(structure(back.book) == structure(book), input.toPercentEncoding().constData());
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void pbfReader() {
        Fuzzer fuzz(7110);
        int accepted = 0;
        for (int i = 0; i < CasesPerReader; ++i) {
            QByteArray input = i % 2 ? fuzz.mutate(PbfSeed) : fuzz.randomBytes();
            if (i % 4 == 0)
                input.prepend("[QUORIX7-File]\r\n");
            BookResult r = loadbookfile(write("in.pbf", input));
            if (!r.ok) {
                QCOMPARE(r.error, QStringLiteral("This is not a valid phonebook!"));
                continue;
            }
            ++accepted;
            // Whatever the reader accepts is stored as it stands, unadjusted.
            const QByteArray read = structure(r.book);
            checkSavesAndReadsBack(r.book, input);
            QCOMPARE(structure(r.book), read);
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("%d of %d inputs accepted", accepted, CasesPerReader);
        QVERIFY(accepted > CasesPerReader / 4);
    }

    void csvImport() {
        Fuzzer fuzz(9110);
        for (int i = 0; i < CasesPerReader; ++i) {
            const QByteArray input = i % 2 ? fuzz.mutate(CsvSeed) : fuzz.randomBytes();
            CsvSettings s;
            s.nameColumn = fuzz.setting();
            s.firstColumn = fuzz.setting();
            s.lastColumn = fuzz.setting();
            s.firstLine = fuzz.setting();
            s.separator = char(fuzz.below(3) ? ";\t,\"\r\n\x1a"[fuzz.below(7)] : fuzz.below(256));
            s.quotes = fuzz.below(2);
            const QString p = write("in.csv", input);
            BookResult r = importcsv(p, s);
            QVERIFY(r.ok);
            const QString fault = unsound(r.book, {KindGeneral, KindNote});
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
            checkSavesAndReadsBack(r.book, input);
            QVERIFY(csvprobe(p, fuzz.setting()).ok);
            QVERIFY(csvsample(s).size() >= 10 * 2);
            if (QTest::currentTestFailed())
                return;
        }
    }

    void communicatorImport() {
        Fuzzer fuzz(7190);
        int accepted = 0;
        for (int i = 0; i < CasesPerReader; ++i) {
            QByteArray input = i % 2 ? fuzz.mutate(Seed9110) : fuzz.randomBytes();
            if (i % 4 == 0)
                input.prepend("[RECORD]\r\n");
            BookResult r = import9110(write("in.txt", input));
            if (!r.ok) {
                QCOMPARE(r.error, QStringLiteral("Invalid format!"));
                continue;
            }
            ++accepted;
            const QString fault =
                unsound(r.book, {KindGeneral, KindMobile, KindFax, KindEMail, KindPostalAddress});
            QVERIFY2(fault.isEmpty(), qPrintable(fault));
            checkSavesAndReadsBack(r.book, input);
            if (QTest::currentTestFailed())
                return;
        }
        qInfo("%d of %d inputs accepted", accepted, CasesPerReader);
        QVERIFY(accepted > CasesPerReader / 4);
    }
};

QTEST_GUILESS_MAIN(TestFilesRobustness)
#include "tst_files_robustness.moc"
