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
        if (Book::subentryCount(*n, ClassNumber) > MaxNumbers ||
            Book::subentryCount(*n, ClassText) > MaxTexts)
            return QStringLiteral("an overfull name: ") + n->text;
        for (size_t i = 0; i < n->subs.size(); ++i) {
            if (std::find(kinds.begin(), kinds.end(), n->subs[i].kind) == kinds.end())
                return QStringLiteral("kind %1").arg(n->subs[i].kind);
            if (i > 0 && Book::compareClass(n->subs[i - 1], n->subs[i]) > 0)
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

    // Feeds CasesPerReader inputs to read: random ones and mutations of sample,
    // every fourth with firstLine put in front so that more of them get past
    // it. A rejected input must fail with rejection; an accepted book must be
    // sound by check, and save and read back as it stands.
    template <typename Read, typename Check>
    void run(unsigned seed, const QByteArray& sample, const QByteArray& firstLine,
             const QString& rejection, Read read, Check check) {
        Fuzzer fuzz(seed);
        int accepted = 0;
        for (int i = 0; i < CasesPerReader && !QTest::currentTestFailed(); ++i) {
            QByteArray input = i % 2 ? fuzz.mutate(sample) : fuzz.randomBytes();
            if (i % 4 == 0)
                input.prepend(firstLine);
            BookResult r = read(fuzz, write("in", input));
            const QByteArray where = input.toPercentEncoding();
            if (!r.ok) {
                // An import that finds no name says so rather than giving an empty book.
                QVERIFY2((!rejection.isEmpty() && r.error.startsWith(rejection)) ||
                             r.error.startsWith(QLatin1String("No names to import: ")),
                         where.constData());
                continue;
            }
            ++accepted;
            const QString fault = check(r.book);
            QVERIFY2(fault.isEmpty(), qPrintable(fault + ": " + where));
            const SaveResult saved = saveBookFile(r.book, dir_.filePath("out.pbf"));
            QVERIFY2(saved.ok, qPrintable(saved.error));
            QVERIFY2(structure(loadBookFile(saved.path).book) == structure(r.book), where);
        }
        qInfo("%d of %d inputs accepted", accepted, CasesPerReader);
        QVERIFY(accepted > CasesPerReader / 4);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    void pbfReader() {
        run(
            7110, PbfSeed, "[QUORIX7-File]\r\n", "This is not a valid phonebook!",
            [](Fuzzer&, const QString& path) { return loadBookFile(path); },
            [this](Book& book) {
                // What the reader accepts is stored as it stands, unadjusted.
                const QByteArray read = structure(book);
                saveBookFile(book, dir_.filePath("same.pbf"));
                return structure(book) == read ? QString() : QStringLiteral("adjusted on saving");
            });
    }

    void csvImport() {
        run(
            9110, CsvSeed, "Name;Phone\r\n", QString(),
            [](Fuzzer& fuzz, const QString& path) {
                CsvSettings s;
                s.nameColumn = fuzz.setting();
                s.firstColumn = fuzz.setting();
                s.lastColumn = fuzz.setting();
                s.firstLine = fuzz.setting();
                s.separator =
                    char(fuzz.below(3) ? ";\t,\"\r\n\x1a"[fuzz.below(7)] : fuzz.below(256));
                s.quotes = fuzz.below(2);
                const LineResult probe = csvProbe(path, fuzz.setting());
                BookResult r = importCsv(path, s);
                r.ok = r.ok && probe.ok && csvSample(s).size() >= 10 * 2;
                return r;
            },
            [](const Book& book) {
                return unsound(book, {KindGeneral, KindNote});
            });
    }

    void communicatorImport() {
        run(
            7190, Seed9110, "[RECORD]\r\n", QStringLiteral("Invalid format!"),
            [](Fuzzer&, const QString& path) { return import9110(path); },
            [](const Book& book) {
                // A number field that holds no number comes as a Note.
                return unsound(book, {KindGeneral, KindMobile, KindFax, KindEMail,
                                      KindPostalAddress, KindNote});
            });
    }
};

QTEST_GUILESS_MAIN(TestFilesRobustness)
#include "tst_files_robustness.moc"
