#include "tests/files/FileTestData.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace quorix::testdata;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

} // namespace

// Runs the built quorix-cli as a script would.
class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    // fileSizeLimit > 0 runs the command as if the disk took no more than that
    // many bytes per file.
    Run cli(const QStringList& args, qint64 fileSizeLimit = 0) {
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        if (fileSizeLimit > 0) {
            p.setChildProcessModifier([fileSizeLimit] {
                std::signal(SIGXFSZ, SIG_IGN);
                rlimit limit{};
                getrlimit(RLIMIT_FSIZE, &limit);
                limit.rlim_cur = rlim_t(fileSizeLimit);
                setrlimit(RLIMIT_FSIZE, &limit);
            });
        }
        p.start(QStringLiteral(QUORIX_CLI), args);
        Run r;
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
            return r;
        r.exitCode = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        QVERIFY(QFile::exists(QStringLiteral(QUORIX_CLI)));
        QVERIFY(writeAll(path("anna.pbf"), AnnaBobFile));
    }

    void showPrintsTheBook() {
        const Run r = cli({"show", "anna.pbf"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, AnnaBobText);
        QVERIFY(r.err.isEmpty());
    }

    void showMakesOddKindsAndBytesVisible() {
        QVERIFY(writeAll(path("odd.pbf"), crlf({"[QUORIX7-File]", "Zo\xeb", QByteArray("\0zero", 5),
                                                "\x0c"
                                                "twelve",
                                                "\x0b?",
                                                "\x09"
                                                "a\x1b[2Jb",
                                                "\x07"
                                                "c\x85\x81"
                                                "d"})));
        const Run r = cli({"show", "odd.pbf"});
        QCOMPARE(r.exitCode, 0);
        // Windows-1252 comes out as UTF-8 (0x85 is an ellipsis); control codes,
        // which would drive the terminal, come out as "?" (0x81 is the C1 control
        // U+0081).
        QCOMPARE(r.out, QByteArray("Zo\xc3\xab\n  Unknown (0): zero\n  Unknown (12): twelve\n"
                                   "  Unknown: ?\n  Note: a?[2Jb\n  E-Mail: c\u2026?d\n"));
    }

    void failuresNameTheFileAndTheReason_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("missing book")
            << QStringList{"show", "none.pbf"} << QByteArray("none.pbf: No such file or directory");
        QTest::newRow("not a phonebook") << QStringList{"show", "anna.csv"}
                                         << QByteArray("anna.csv: This is not a valid phonebook!");
        QTest::newRow("9110 from a CSV") << QStringList{"import-9110", "anna.csv", "-o", "x.pbf"}
                                         << QByteArray("anna.csv: Invalid format!");
        QTest::newRow("output in a missing directory")
            << QStringList{"convert", "anna.pbf", "-o", "no/dir/x.pbf"}
            << QByteArray("no/dir/x.pbf: ");
    }
    void failuresNameTheFileAndTheReason() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        QVERIFY(writeAll(path("anna.csv"), "Anna;+491230\r\n"));
        const Run r = cli(args);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.startsWith("quorix-cli: " + message), r.err.constData());
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFile::exists(path("x.pbf")));
    }

    void usageErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no -o") << QStringList{"convert", "anna.pbf"}
                               << QByteArray("missing -o OUTPUT");
        QTest::newRow("no input") << QStringList{"import-9110", "-o", "x"}
                                  << QByteArray("missing INPUT");
        QTest::newRow("long separator")
            << QStringList{"import-csv", "a.csv", "-o", "x", "--separator", "ab"}
            << QByteArray("--separator takes one Latin-1 character or 'tab', not 'ab'");
        QTest::newRow("column 0") << QStringList{"import-csv", "a.csv",         "-o",
                                                 "x",          "--name-column", "0"}
                                  << QByteArray("--name-column takes a whole number from 1 up");
        QTest::newRow("unknown option")
            << QStringList{"show", "--verbose", "a.pbf"} << QByteArray("Unknown option 'verbose'");
    }
    void usageErrors() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        const Run r = cli(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.startsWith("quorix-cli: " + message), r.err.constData());
        QVERIFY(!QFile::exists(path("x.pbf")));
    }

    void helpDescribesEachCommand() {
        for (const char* command : {"show", "convert", "import-csv", "import-9110"}) {
            const Run r = cli({command, "--help"});
            QCOMPARE(r.exitCode, 0);
            QVERIFY2(r.out.startsWith("Usage: quorix-cli " + QByteArray(command) + ' '),
                     r.out.constData());
        }
        const Run csv = cli({"import-csv", "--help"});
        for (const char* option : {"--name-column", "--first-column", "--last-column",
                                   "--first-line", "--separator", "--quotes", "\".pbf\""})
            QVERIFY2(csv.out.contains(option), option);
    }

    void convertNormalisesLineEnds() {
        QByteArray bare = crlf({"[QUORIX7-File]", "Anna", "\x03+491230", "", "Bob\x1a", "Lost"});
        bare.replace("\r\n", "\r");
        QVERIFY(writeAll(path("bare.pbf"), bare));
        const Run r = cli({"convert", "bare.pbf", "-o", "fixed"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("Wrote file fixed.pbf\n"));
        QCOMPARE(readAll(path("fixed.pbf")),
                 crlf({"[QUORIX7-File]", "Anna", "\x03+491230", "<No Name>", "Bob"}));
        // The worked example passes through unchanged.
        QCOMPARE(cli({"convert", "anna.pbf", "-o", "copy.pbf"}).exitCode, 0);
        QCOMPARE(readAll(path("copy.pbf")), AnnaBobFile);
        // ".pbf" anywhere in the path keeps it as given.
        QCOMPARE(cli({"convert", "anna.pbf", "-o", "copy.PBF"}).out,
                 QByteArray("Wrote file copy.PBF.pbf\n"));
        QVERIFY(QDir(dir_.path()).mkdir("data.pbf.old"));
        QCOMPARE(cli({"convert", "anna.pbf", "-o", "data.pbf.old/x"}).exitCode, 0);
        QCOMPARE(readAll(path("data.pbf.old/x")), AnnaBobFile);
    }

    void aFailedWriteKeepsTheOldOutput() {
        // A book far larger than the 4 KiB the "disk" takes.
        QByteArrayList lines{"[QUORIX7-File]"};
        for (int i = 0; i < 2000; ++i)
            lines << "Name " + QByteArray::number(i)
                  << "\x02"
                     "0123456789";
        QVERIFY(writeAll(path("big.pbf"), crlf(lines)));
        QVERIFY(writeAll(path("out.pbf"), AnnaBobFile));
        const Run r = cli({"convert", "big.pbf", "-o", "out.pbf"}, 4096);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.startsWith("quorix-cli: out.pbf: File too large"), r.err.constData());
        QCOMPARE(readAll(path("out.pbf")), AnnaBobFile);
        QCOMPARE(QDir(dir_.path()).entryList({"out*"}), QStringList{"out.pbf"});

        const Run csv = cli({"import-csv", "big.pbf", "-o", "out.pbf"}, 4096);
        QCOMPARE(csv.exitCode, 1);
        QCOMPARE(readAll(path("out.pbf")), AnnaBobFile);

        QCOMPARE(cli({"convert", "big.pbf", "-o", "out.pbf"}).exitCode, 0);
        QCOMPARE(readAll(path("out.pbf")), crlf(lines));
    }

    void importCsvWithDefaultsAndOptions() {
        QVERIFY(writeAll(path("people.csv"),
                         crlf({"Alex Example;+491230;+491230;+491230;+491230;+491230;+491230;;;",
                               "Bea; 0301;bea@x"})));
        Run r = cli({"import-csv", "people.csv", "-o", "people"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("Wrote file people.pbf\n"));
        QCOMPARE(cli({"show", "people.pbf"}).out,
                 QByteArray("Alex Example\n  General: +491230\n  General: +491230\n"
                            "  General: +491230\n  General: +491230\n  General: +491230\n"
                            "Alex Example (2)\n  General: +491230\nBea\n  Note:  0301\n"
                            "  Note: bea@x\n"));

        QVERIFY(writeAll(path("tabs.csv"),
                         crlf({"name\tphone\tmail", "\"Cy\tD\"\t\"+1\"\tcy@x", "Di\t2"})));
        r = cli({"import-csv", "tabs.csv", "-o", "tabs.pbf", "--separator", "tab", "--quotes",
                 "--first-line", "2", "--first-column", "2", "--last-column", "2"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(cli({"show", "tabs.pbf"}).out,
                 QByteArray("Cy?D\n  General: +1\nDi\n  General: 2\n"));
        r = cli({"import-csv", "tabs.csv", "-o", "names.pbf", "--separator", "\t", "--name-column",
                 "3", "--first-column", "2", "--last-column", "1"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readAll(path("names.pbf")),
                 crlf({"[QUORIX7-File]", "mail", "\"+1\"", "<No Name>"}));

        // A name the file cannot hold as it is is stored adjusted, and said so.
        QVERIFY(writeAll(path("tab.csv"), "\tTab;1\r\n"));
        r = cli({"import-csv", "tab.csv", "-o", "tab.pbf"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.startsWith("quorix-cli: tab.pbf: note: 1 text(s)"), r.err.constData());
        QCOMPARE(readAll(path("tab.pbf")), crlf({"[QUORIX7-File]", " Tab",
                                                 "\x02"
                                                 "1"}));
    }

    void import9110WritesTheExample() {
        QVERIFY(writeAll(
            path("chris.txt"),
            crlf({"[RECORD]",      "[FIELD]",      "Name",         "[FIELD-NAME]", "Name",
                  "[FIELD-DATA]",  "Chris Sample", "[FIELD-END]",  "[FIELD]",      "Tel",
                  "[FIELD-NAME]",  "GSM/PCN",      "[FIELD-DATA]", "+49 123 0",    "[FIELD-END]",
                  "[FIELD]",       "Address",      "[FIELD-NAME]", "Home",         "[FIELD-DATA]",
                  "Main Street 1", "[FIELD-END]",  "[RECORD-END]"})));
        const Run r = cli({"import-9110", "chris.txt", "-o", "chris"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("Wrote file chris.pbf\n"));
        QCOMPARE(readAll(path("chris.pbf")),
                 crlf({"[QUORIX7-File]", "Chris Sample", "\x03+491230", "\x08Main Street 1"}));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
