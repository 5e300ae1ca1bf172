#include "tests/files/FileTestData.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

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
    // many bytes per file (ulimit -f: the signal it raises is left to the program).
    Run cli(const QStringList& args, qint64 fileSizeLimit = 0) {
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        if (fileSizeLimit > 0) {
            p.setChildProcessModifier([fileSizeLimit] {
                std::signal(SIGXFSZ, SIG_DFL);
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
        // A file an import reads is pointed to that import, by its name.
        QTest::newRow("a CSV file as book")
            << QStringList{"show", "anna.csv"}
            << QByteArray("anna.csv: This is not a valid phonebook! anna.csv looks like a CSV "
                          "file: import it with \"quorix-cli import-csv anna.csv -o anna.pbf\".");
        QTest::newRow("a CSV file without .csv")
            << QStringList{"convert", "list.txt", "-o", "x.pbf"}
            << QByteArray("list.txt: This is not a valid phonebook! list.txt looks like a CSV "
                          "file: import it with \"quorix-cli import-csv list.txt -o list.pbf\".");
        QTest::newRow("a 9110 export as book")
            << QStringList{"show", "org.txt"}
            << QByteArray("org.txt: This is not a valid phonebook! org.txt looks like a Nokia "
                          "Communicator 9110 export: import it with \"quorix-cli import-9110 "
                          "org.txt -o org.pbf\".");
        QTest::newRow("a CSV file to add to")
            << QStringList{"convert", "anna.pbf", "--add-to", "anna.csv", "-o", "x.pbf"}
            << QByteArray("anna.csv: This is not a valid phonebook! anna.csv looks like");
        for (const char* command : {"write", "diff"})
            QTest::addRow("a CSV file to %s", command)
                << QStringList{command, "anna.csv", "--port", "/dev/null"}
                << QByteArray("anna.csv: This is not a valid phonebook! anna.csv looks like");
        QTest::newRow("not a phonebook") << QStringList{"show", "junk.pbf"}
                                         << QByteArray("junk.pbf: This is not a valid phonebook!");
        QTest::newRow("9110 from a CSV") << QStringList{"import-9110", "anna.csv", "-o", "x.pbf"}
                                         << QByteArray("anna.csv: Invalid format!");
        QTest::newRow("output in a missing directory")
            << QStringList{"convert", "anna.pbf", "-o", "no/dir/x.pbf"}
            << QByteArray("no/dir/x.pbf: ");
        QTest::newRow("output a device") << QStringList{"convert", "anna.pbf", "-o", "/dev/null"}
                                         << QByteArray("/dev/null: not a regular file");
        QTest::newRow("output a directory")
            << QStringList{"convert", "anna.pbf", "-o", "."} << QByteArray(".: not a regular file");
        QTest::newRow("output its own input")
            << QStringList{"import-csv", "anna.csv", "-o", "./anna.csv"}
            << QByteArray("./anna.csv: the output would replace its own input");
        QTest::newRow("a line of 2 MiB") << QStringList{"show", "long.pbf"}
                                         << QByteArray("long.pbf: This is not a valid phonebook!");
        QTest::newRow("a CSV line of 2 MiB") << QStringList{"import-csv", "long.csv", "-o", "x.pbf"}
                                             << QByteArray("long.csv: A line is longer than 1 MiB");
        QTest::newRow("a 9110 line of 2 MiB")
            << QStringList{"import-9110", "long.csv", "-o", "x.pbf"}
            << QByteArray("long.csv: Invalid format!");
        // Inputs that are no regular file are refused at once, never waited on.
        const QByteArray notAFile = ": not a regular file (a folder, a pipe or a device)";
        QTest::newRow("endless zeros")
            << QStringList{"show", "/dev/zero"} << "/dev/zero" + notAFile;
        QTest::newRow("a directory") << QStringList{"show", "."} << "." + notAFile;
        QTest::newRow("a pipe as book") << QStringList{"show", "pipe.pbf"} << "pipe.pbf" + notAFile;
        QTest::newRow("a pipe as vCard")
            << QStringList{"convert", "pipe.vcf", "-o", "x.pbf"} << "pipe.vcf" + notAFile;
        QTest::newRow("a pipe as CSV")
            << QStringList{"import-csv", "pipe.pbf", "-o", "x.pbf"} << "pipe.pbf" + notAFile;
        QTest::newRow("a pipe as 9110")
            << QStringList{"import-9110", "pipe.vcf", "-o", "x.pbf"} << "pipe.vcf" + notAFile;
    }
    void failuresNameTheFileAndTheReason() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        QVERIFY(writeAll(path("anna.csv"), "Anna;+491230\r\n"));
        QVERIFY(writeAll(path("long.pbf"), "[QUORIX7-File]\r\n" + QByteArray(2 << 20, 'x')));
        QVERIFY(writeAll(path("long.csv"), "[RECORD]\r\nA;1\r\n" + QByteArray(2 << 20, ';')));
        QVERIFY(writeAll(path("list.txt"), "Anna,+491230\r\n"));
        QVERIFY(writeAll(path("org.txt"), "[RECORD]\r\n[FIELD]\r\nName\r\nAnna\r\n"));
        QVERIFY(writeAll(path("junk.pbf"), "Anna\r\n"));
        for (const char* pipe : {"pipe.pbf", "pipe.vcf"})
            QVERIFY(QFile::exists(path(pipe)) ||
                    ::mkfifo(QFile::encodeName(path(pipe)), 0600) == 0);
        const Run r = cli(args);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(readAll(path("anna.csv")), QByteArray("Anna;+491230\r\n"));
        QVERIFY2(r.err.startsWith("quorix-cli: " + message), r.err.constData());
        // Only a file an import reads is pointed to one.
        QCOMPARE(r.err.contains("looks like"), message.contains("looks like"));
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
            << QByteArray("--separator takes one character or 'tab', not 'ab'");
        QTest::newRow("column 0") << QStringList{"import-csv", "a.csv",         "-o",
                                                 "x",          "--name-column", "0"}
                                  << QByteArray("--name-column takes a whole number from 1 up");
        QTest::newRow("unknown option")
            << QStringList{"show", "--verbose", "a.pbf"} << QByteArray("Unknown option 'verbose'");
        // The same status in the commands that use the phone.
        QTest::newRow("read without -o")
            << QStringList{"read", "--demo"} << QByteArray("-o FILE is required");
        QTest::newRow("read, unknown option")
            << QStringList{"read", "--bogus"} << QByteArray("Unknown option 'bogus'");
        QTest::newRow("write, no port")
            << QStringList{"write", "anna.pbf"} << QByteArray("--port DEVICE");
        QTest::newRow("write, bad deadline")
            << QStringList{"write", "anna.pbf", "--demo", "--deadline", "soon"}
            << QByteArray("--deadline wants a number of seconds above 0");
        QTest::newRow("write, bad cable")
            << QStringList{"write", "anna.pbf", "--port", "/dev/null", "--cable", "usb"}
            << QByteArray("unknown cable 'usb'");
        QTest::newRow("status, timeout 0")
            << QStringList{"status", "--port", "/dev/null", "--timeout", "0"}
            << QByteArray("--timeout wants a number of seconds above 0 and at most 3600");
        QTest::newRow("status, no port") << QStringList{"status"} << QByteArray("--port DEVICE");
        QTest::newRow("no command") << QStringList{} << QByteArray();
        QTest::newRow("demo, argument")
            << QStringList{"demo", "x"} << QByteArray("unexpected argument 'x'");
    }
    void usageErrors() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        const Run r = cli(args);
        QCOMPARE(r.exitCode, 2);
        // A bare quorix-cli is wrong usage too: its usage goes to stderr.
        QVERIFY2(r.err.startsWith(message.isEmpty() ? QByteArray("Usage: quorix-cli COMMAND")
                                                    : "quorix-cli: " + message),
                 r.err.constData());
        QVERIFY(r.out.isEmpty());
        QVERIFY(!QFile::exists(path("x.pbf")));
    }

    void helpDescribesEachCommand() {
        // Each usage line names its command, not the executable alone.
        for (const char* command : {"show", "convert", "import-csv", "import-9110", "status",
                                    "read", "write", "diff", "demo"}) {
            const Run r = cli({command, "--help"});
            QCOMPARE(r.exitCode, 0);
            QVERIFY2(r.out.startsWith("Usage: quorix-cli " + QByteArray(command) + ' '),
                     r.out.constData());
            QVERIFY2(r.out.endsWith("Exit status: 0 success, 1 failure (of the transfer or a "
                                    "file), 2 wrong usage.\n"),
                     command);
        }
        const Run csv = cli({"import-csv", "--help"});
        for (const char* option : {"--name-column", "--first-column", "--last-column",
                                   "--first-line", "--separator", "--quotes", "'-'"})
            QVERIFY2(csv.out.contains(option), option);
    }

    void readmeCsvExampleWithQuotedCommas() {
        // The README's import-csv command on the README's file.
        QVERIFY(writeAll(path("contacts.csv"),
                         "Name,Phone,Address\r\n"
                         "\"Berg, Anna\",+4930123456,\"Main Street 1, Berlin\"\r\n"));
        const Run r = cli({"import-csv", "contacts.csv", "-o", "book.pbf", "--separator", ",",
                           "--quotes", "--first-line", "2"});
        QCOMPARE(r.exitCode, 0);
        const Run shown = cli({"show", "book.pbf"});
        QCOMPARE(shown.out, QByteArray("Berg, Anna\n  General: +4930123456\n"
                                       "  Note: Main Street 1, Berlin\n"));
    }

    void convertNormalisesLineEnds() {
        QByteArray bare = crlf({"[QUORIX7-File]", "Anna", "\x03+491230", "", "Bob\x1a", "Lost"});
        bare.replace("\r\n", "\r");
        QVERIFY(writeAll(path("bare.pbf"), bare));
        const Run r = cli({"convert", "bare.pbf", "-o", "fixed.pbf"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("Wrote file fixed.pbf\n"));
        QCOMPARE(readAll(path("fixed.pbf")),
                 crlf({"[QUORIX7-File]", "Anna", "\x03+491230", "<No Name>", "Bob"}));
        // The worked example passes through unchanged.
        QCOMPARE(cli({"convert", "anna.pbf", "-o", "copy.pbf"}).exitCode, 0);
        QCOMPARE(readAll(path("copy.pbf")), AnnaBobFile);
        // The output is the file named, nothing appended; "-" is stdout.
        QCOMPARE(cli({"convert", "anna.pbf", "-o", "copy"}).out, QByteArray("Wrote file copy\n"));
        QCOMPARE(readAll(path("copy")), AnnaBobFile);
        const Run out = cli({"convert", "anna.pbf", "-o", "-"});
        QCOMPARE(out.exitCode, 0);
        QCOMPARE(out.out, AnnaBobFile);
        QVERIFY(!QFile::exists(path("-")) && !QFile::exists(path("-.pbf")));
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

        // The exports written whole or not at all, as the phonebook file.
        for (const char* name : {"out.vcf", "out.csv"}) {
            QVERIFY(writeAll(path(name), "old"));
            const Run e = cli({"convert", "big.pbf", "-o", name}, 4096);
            QCOMPARE(e.exitCode, 1);
            QVERIFY2(e.err.startsWith("quorix-cli: " + QByteArray(name) + ": File too large"),
                     e.err.constData());
            QCOMPARE(readAll(path(name)), QByteArray("old"));
        }
        QCOMPARE(QDir(dir_.path()).entryList({"out*"}),
                 (QStringList{"out.csv", "out.pbf", "out.vcf"}));
    }

    void importCsvWithDefaultsAndOptions() {
        QVERIFY(writeAll(path("people.csv"),
                         crlf({"Alex Example;+491230;+491230;+491230;+491230;+491230;+491230;;;",
                               "Bea; 0301;bea@x"})));
        Run r = cli({"import-csv", "people.csv", "-o", "people.pbf"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("Wrote file people.pbf\n"));
        QCOMPARE(cli({"show", "people.pbf"}).out,
                 QByteArray("Alex Example\n  General: +491230\n  General: +491230\n"
                            "  General: +491230\n  General: +491230\n  General: +491230\n"
                            "Alex Example (2)\n  General: +491230\nBea\n  Note:  0301\n"
                            "  Note: bea@x\n"));

        QVERIFY(writeAll(path("tabs.csv"),
                         crlf({"name\tphone\tmail", "\"Cy\tD\"\t\"+1\"\tcy@x", "Di\t2"})));
        // Column 3 holds data the settings leave out: nothing is written unless allowed.
        QStringList tabs{
            "import-csv", "tabs.csv",     "-o", "tabs.pbf",       "--separator", "tab",
            "--quotes",   "--first-line", "2",  "--first-column", "2",           "--last-column",
            "2"};
        r = cli(tabs);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QByteArray("quorix-cli: tabs.csv: Column 3 holds data that the settings do "
                                   "not import. Nothing was written: give --last-column 3 to "
                                   "import them, or --allow-unread.\n"));
        QVERIFY(!QFile::exists(path("tabs.pbf")));
        r = cli(tabs << "--allow-unread");
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(cli({"show", "tabs.pbf"}).out,
                 QByteArray("Cy?D\n  General: +1\nDi\n  General: 2\n"));
        r = cli({"import-csv", "tabs.csv", "-o", "names.pbf", "--separator", "\t", "--name-column",
                 "3", "--first-column", "2", "--last-column", "1", "--allow-unread"});
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

    void csvAndCommunicatorFilesAsTheWorldWritesThem() {
        // A Thunderbird export with LF line ends: read by its titles, no options.
        QVERIFY(writeAll(path("tb.csv"), "First Name,Last Name,Display Name,Primary Email,"
                                         "Mobile Number\nHans,Berg,Hans Berg,h@x,0170 1\n"));
        Run r = cli({"import-csv", "tb.csv", "-o", "tb.pbf"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QByteArray("quorix-cli: tb.csv: columns read by their titles "
                                   "(Thunderbird): First Name = Given name, Last Name = Family "
                                   "name, Display Name = Name, Primary Email = E-Mail, Mobile "
                                   "Number = Mobile\n"));
        QCOMPARE(cli({"show", "tb.pbf"}).out,
                 QByteArray("Hans Berg\n  Mobile: 01701\n  E-Mail: h@x\n"));
        // Nothing to import is a failure, and nothing is written.
        r = cli({"import-csv", "tb.csv", "--first-line", "5", "-o", "none.pbf"});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QByteArray("quorix-cli: tb.csv: No names to import: the file has 2 lines, "
                                   "and the import starts at line 5.\n"));
        QVERIFY(!QFile::exists(path("none.pbf")));
        // Our own CSV, written for Google and for Excel, and read back.
        QVERIFY(writeAll(path("own.pbf"), AnnaBobFile));
        QCOMPARE(cli({"convert", "own.pbf", "-o", "own.csv", "--bom"}).exitCode, 0);
        QVERIFY(readAll(path("own.csv")).startsWith("\xef\xbb\xbfName,General,"));
        QCOMPARE(cli({"import-csv", "own.csv", "-o", "back.pbf"}).exitCode, 0);
        QCOMPARE(readAll(path("back.pbf")), AnnaBobFile);
        QCOMPARE(cli({"convert", "own.pbf", "-o", "g.csv", "--format", "google"}).exitCode, 0);
        QVERIFY(readAll(path("g.csv")).startsWith("Name,Given Name,Family Name,"));
        QCOMPARE(cli({"convert", "own.pbf", "-o", "x.csv", "--format", "excel"}).exitCode, 2);
        // A 9110 export with LF line ends; a file that is none says why.
        QVERIFY(writeAll(path("n.txt"), "[RECORD]\n[FIELD]\nName\n[FIELD-NAME]\nName\n"
                                        "[FIELD-DATA]\nChris\n[FIELD-END]\n[RECORD-END]\n"));
        QCOMPARE(cli({"import-9110", "n.txt", "-o", "n.pbf"}).exitCode, 0);
        QCOMPARE(cli({"show", "n.pbf"}).out, QByteArray("Chris\n"));
        r = cli({"import-9110", "tb.csv", "-o", "n2.pbf"});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QByteArray("quorix-cli: tb.csv: Invalid format! The first line is not "
                                   "\"[RECORD]\".\n"));
    }

    void convertSpeaksVCardAndCsvAndWarnsAboutPbf() {
        QVERIFY(writeAll(path("uni.vcf"), "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:\xc5\x81\xc3\xb3"
                                          "d\xc5\xba \xf0\x9f\x98\x80\r\nTEL;TYPE=CELL:+48 1"
                                          "\r\nPHOTO:x\r\nEND:VCARD\r\n"));
        Run r = cli({"convert", "uni.vcf", "-o", "uni.pbf"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QByteArray("quorix-cli: uni.vcf: 1 contact, 1 photo skipped\n"
                                   "quorix-cli: warning: uni.pbf: 3 characters in 1 name cannot be "
                                   "stored in a .pbf file and will "
                                   "be saved as \"?\".\n"));
        QCOMPARE(readAll(path("uni.pbf")), crlf({"[QUORIX7-File]",
                                                 "?\xf3"
                                                 "d? ?",
                                                 "\x03+481"}));

        QVERIFY(QFile::remove(path("uni.pbf")));
        r = cli({"convert", "uni.vcf", "-o", "uni.pbf", "--strict"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("Nothing was written (--strict)."));
        QVERIFY(!QFile::exists(path("uni.pbf")));

        // vCard and CSV keep every character.
        QCOMPARE(cli({"convert", "uni.vcf", "-o", "back.vcf", "--strict"}).exitCode, 0);
        QCOMPARE(cli({"show", "back.vcf"}).out,
                 QByteArray("\xc5\x81\xc3\xb3"
                            "d\xc5\xba \xf0\x9f\x98\x80\n  Mobile: +481\n"));
        QCOMPARE(cli({"convert", "back.vcf", "-o", "book.csv"}).exitCode, 0);
        QVERIFY(readAll(path("book.csv")).startsWith("Name,General,General 2,"));
        QVERIFY(readAll(path("book.csv"))
                    .contains("\xc5\x81\xc3\xb3"
                              "d\xc5\xba \xf0\x9f\x98\x80,,,,,,+481,"));
    }

    // --add-to: BOOK's names plus the import, in OUTPUT, which may be BOOK.
    void addToWritesTheBookPlusTheImport_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("shown"); // quorix-cli show OUTPUT
        QTest::addColumn<QByteArray>("err");
        const QByteArray merged = "Anna\n  Mobile: +491230\n  General: 0309\n  Note: Neighbour\n"
                                  "  Caller group: Family\nBob\n  General: 112\nCarl\n"
                                  "  General: 0301\n";
        QTest::newRow("import-csv into another file")
            << QStringList{"import-csv", "new.csv", "--add-to", "base.pbf", "-o", "out.pbf"}
            << "out.pbf" << 0 << merged
            << QByteArray("quorix-cli: base.pbf: 1 added, 1 merged, 0 skipped (already in the "
                          "book)\n");
        QTest::newRow("convert into the book itself")
            << QStringList{"convert", "new.vcf", "--add-to", "base.vcf", "-o", "base.vcf"}
            << "base.vcf" << 0 << merged
            << QByteArray("quorix-cli: new.vcf: 2 contacts\nquorix-cli: base.vcf: 1 added, 1 "
                          "merged, 0 skipped (already in the "
                          "book)\n");
        QTest::newRow("book missing: nothing written")
            << QStringList{"import-csv", "new.csv", "--add-to", "none.pbf", "-o", "out2.pbf"}
            << "out2.pbf" << 1 << QByteArray()
            << QByteArray("quorix-cli: none.pbf: No such file or directory\n");
    }
    void addToWritesTheBookPlusTheImport() {
        QFETCH(QStringList, args);
        QFETCH(QString, output);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, shown);
        QFETCH(QByteArray, err);
        QVERIFY(writeAll(path("base.pbf"), AnnaBobFile));
        QCOMPARE(cli({"convert", "base.pbf", "-o", "base.vcf"}).exitCode, 0);
        QVERIFY(writeAll(path("new.csv"), "anna;0309;+491230\r\nCarl;0301\r\n"));
        QVERIFY(writeAll(path("new.vcf"), "BEGIN:VCARD\r\nFN:anna\r\nTEL:0309\r\n"
                                          "TEL;TYPE=CELL:01230\r\nEND:VCARD\r\nBEGIN:VCARD\r\n"
                                          "FN:Carl\r\nTEL:0301\r\nEND:VCARD\r\n"));
        const Run r = cli(args);
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(r.err, err);
        if (shown.isEmpty()) {
            QVERIFY(!QFile::exists(path(output)));
            return;
        }
        QCOMPARE(cli({"show", output}).out, shown);
    }

    void importsTakeAnEncoding() {
        QVERIFY(writeAll(path("utf8.csv"), "M\xc3\xbcller;+491\r\n"));
        Run r = cli({"import-csv", "utf8.csv", "-o", "auto.pbf"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readAll(path("auto.pbf")), crlf({"[QUORIX7-File]", "M\xfcller", "\x02+491"}));
        r = cli({"import-csv", "utf8.csv", "-o", "raw.pbf", "--encoding", "windows-1252"});
        QCOMPARE(readAll(path("raw.pbf")), crlf({"[QUORIX7-File]", "M\xc3\xbcller", "\x02+491"}));
        r = cli({"import-9110", "utf8.csv", "-o", "x.pbf", "--encoding", "latin-9"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.startsWith("quorix-cli: --encoding takes auto, utf-8 or windows-1252, not "
                                 "'latin-9'\n"));
    }

    void import9110WritesTheExample() {
        QVERIFY(writeAll(
            path("chris.txt"),
            crlf({"[RECORD]",      "[FIELD]",      "Name",         "[FIELD-NAME]", "Name",
                  "[FIELD-DATA]",  "Chris Sample", "[FIELD-END]",  "[FIELD]",      "Tel",
                  "[FIELD-NAME]",  "GSM/PCN",      "[FIELD-DATA]", "+49 123 0",    "[FIELD-END]",
                  "[FIELD]",       "Address",      "[FIELD-NAME]", "Home",         "[FIELD-DATA]",
                  "Main Street 1", "[FIELD-END]",  "[RECORD-END]"})));
        const Run r = cli({"import-9110", "chris.txt", "-o", "chris.pbf"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QByteArray("Wrote file chris.pbf\n"));
        QCOMPARE(readAll(path("chris.pbf")),
                 crlf({"[QUORIX7-File]", "Chris Sample", "\x03+491230", "\x08Main Street 1"}));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
