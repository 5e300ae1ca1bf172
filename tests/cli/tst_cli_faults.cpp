// Every fault of the line and the phone, for a read and for a write, end to end:
// quorix-cli against quorix-phonesim over a real pseudo-terminal. Each case
// checks the user's view (exit status, last line) against the phone's memory
// afterwards: a read's file is the phone's memory (or the part of it read when
// the read was broken off), and after a write the phone holds exactly the names
// reported "Written to location N" at those locations, and nothing else changed.
// Small books and a fast line, so timing does not matter.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "PhoneProcess.h"

using quorix::test::Cli;
using quorix::test::Phone;
using quorix::test::readFile;

namespace {

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// A book of count names "<prefix> N", each with a number.
QByteArray book(const QByteArray& prefix, int count) {
    QByteArray out = "[QUORIX7-File]\r\n";
    for (int i = 1; i <= count; ++i)
        out +=
            prefix + ' ' + QByteArray::number(i) + "\r\n\x03+49" + QByteArray::number(i) + "\r\n";
    return out;
}

// The names of a .pbf, in order.
QByteArrayList names(const QByteArray& pbf) {
    QByteArrayList out;
    for (const QByteArray& line : pbf.split('\n').mid(1)) {
        const QByteArray l = line.chopped(line.endsWith('\r') ? 1 : 0);
        if (!l.isEmpty() && uchar(l.at(0)) >= 16)
            out << l;
    }
    return out;
}

struct Run {
    int exitCode = -1;
    QByteArray out, err;
    QByteArray lastLine() const {
        const QByteArrayList lines = err.trimmed().split('\n');
        return lines.last();
    }
};

// Runs quorix-cli; when pullAfter is given, the phone is stopped (its device
// disappears) as soon as that text shows in the progress.
Run cli(const QStringList& args, Phone* pull = nullptr, const QByteArray& pullAfter = {}) {
    QProcess p;
    p.start(Cli, args);
    Run r;
    if (pull) {
        p.setReadChannel(QProcess::StandardError);
        while (!r.err.contains(pullAfter) && p.waitForReadyRead(20000))
            r.err += p.readAllStandardError();
        pull->stop();
    }
    if (!p.waitForFinished(90000))
        return r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err += p.readAllStandardError();
    return r;
}

const QString Quiet = QStringLiteral("--baud=0");

} // namespace

class TestCliFaults : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    // The faults both directions meet. (An answer to a write is one frame, so
    // shuffled fragments are a read's fault only.)
    void faults_data(bool write) {
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("lastLine");    // a regular expression
        QTest::addColumn<QStringList>("cliArgs"); // more options for quorix-cli
        const QString broken =
            QStringLiteral("No valid answer from the phone after 1 retry; transfer given up");
        QTest::newRow("corrupt frames")
            << QStringList{"--corrupt-frame", "3,6,9"} << 0 << "" << QStringList{};
        QTest::newRow("garbage") << QStringList{"--garbage"} << 0 << "" << QStringList{};
        QTest::newRow("dropped acknowledgements")
            << QStringList{"--drop-ack", "3,5"} << 0 << "" << QStringList{};
        QTest::newRow("duplicate answers")
            << QStringList{"--duplicate-answer", "3-5"} << 0 << "" << QStringList{};
        QTest::newRow("wrong location")
            << QStringList{"--wrong-location", "4"} << 0 << "" << QStringList{};
        if (!write)
            QTest::newRow("shuffled fragments")
                << QStringList{"--frame-size", "40", "--shuffle-fragments", "4"} << 0 << ""
                << QStringList{};
        QTest::newRow("silence for a while")
            << QStringList{"--silent-after", "4", "--silent-for", "1500"} << 0 << ""
            << QStringList{};
        QTest::newRow("silence for ever")
            << QStringList{"--silent-after", "4"} << 1 << broken << QStringList{};
        QTest::newRow("continuous noise")
            << QStringList{"--noise-every", "300"} << 0 << "" << QStringList{};
        QTest::newRow("noise, then silence for ever")
            << QStringList{"--silent-after", "4", "--noise-every", "300"} << 1 << broken
            << QStringList{};
    }

private Q_SLOTS:
    // The book read is the phone's memory, or the read does not end with 0.
    void read_data() {
        faults_data(false);
        // The answer for an empty location names none: a repeated or late one
        // must not be taken for the location asked next.
        const QStringList spread{"--memory", "20", "--sparse"};
        QTest::newRow("repeated empty answers, names spread out")
            << spread + QStringList{"--duplicate-answer", "3-22"} << 0 << "" << QStringList{};
        QTest::newRow("late empty answer over a new link")
            << spread + QStringList{"--late-answer", "4", "--late-ms", "6000"} << 0 << ""
            << QStringList{};
        QTest::newRow("late entry over a new link")
            << spread + QStringList{"--late-answer", "3", "--late-ms", "6000"} << 0 << ""
            << QStringList{};
        QTest::newRow("silence over two new links")
            << spread + QStringList{"--silent-after", "4", "--silent-for", "9000"} << 0 << ""
            << QStringList{"--retries", "2"};
    }
    void read() {
        QFETCH(QStringList, faults);
        QFETCH(int, exitCode);
        QFETCH(QString, lastLine);
        QFETCH(QStringList, cliArgs);
        writeFile(path("phone.pbf"), book("Name", 6));
        Phone phone(QStringList{"--book", path("phone.pbf"), "--memory", "8", Quiet} + faults);
        QFile::remove(path("read.pbf"));
        const Run r = cli(QStringList{"read", "--port", phone.device, "-o", path("read.pbf"),
                                      "--retries", "1", "--keep-partial", "--quiet"} +
                          cliArgs);
        QCOMPARE(r.exitCode, exitCode);
        const QByteArrayList memory = names(readFile(path("phone.pbf")));
        const QByteArrayList got = names(readFile(path("read.pbf")));
        if (exitCode == 0) {
            QVERIFY2(!r.err.contains("quorix-cli:"), r.err.constData());
            QCOMPARE(readFile(path("read.pbf")), readFile(path("phone.pbf")));
        } else {
            QVERIFY(QRegularExpression(lastLine).match(QString::fromUtf8(r.lastLine())).hasMatch());
            QCOMPARE(got, memory.mid(0, got.size())); // the names read, in order
        }
    }

    void write_data() {
        faults_data(true);
        QTest::newRow("refused locations")
            << QStringList{"--refuse-write", "2,4"} << 1
            << "quorix-cli: some locations could not be written" << QStringList{};
        QTest::newRow("memory smaller than the book")
            << QStringList{"--memory", "4"} << 1
            << "quorix-cli: 2 of 6 names did not fit into the phone's memory" << QStringList{};
        // Answers without a location (a refusal) or for an earlier one (a
        // confirmation) that come again later credit no other name.
        QTest::newRow("repeated refusal")
            << QStringList{"--refuse-write", "2", "--duplicate-answer", "4"} << 1
            << "quorix-cli: some locations could not be written" << QStringList{};
        const QString broken0 =
            QStringLiteral("No valid answer from the phone after 0 retries; transfer given up");
        QTest::newRow("repeated confirmation, then silence")
            << QStringList{"--duplicate-answer", "3", "--silent-after", "4"} << 1 << broken0
            << QStringList{"--retries", "0"};
        QTest::newRow("late confirmation over a new link")
            << QStringList{"--late-answer", "4", "--late-ms", "6000"} << 0 << "" << QStringList{};
        // Yes resumes with the name that had no answer, never before the range.
        QTest::newRow("silence over two new links in a one-location range")
            << QStringList{"--silent-after", "2", "--silent-for", "9000"} << 0 << ""
            << QStringList{"--start", "7", "--stop", "7", "--retries", "2"};
        QTest::newRow("repeated answers in a range")
            << QStringList{"--duplicate-answer", "3-5"} << 0 << ""
            << QStringList{"--start", "3", "--stop", "5"};
    }
    void write() {
        QFETCH(QStringList, faults);
        QFETCH(int, exitCode);
        QFETCH(QString, lastLine);
        QFETCH(QStringList, cliArgs);
        // The phone full of old names, so that every location shows what happened.
        const int size = faults.contains(QLatin1String("--memory")) ? 4 : 8;
        writeFile(path("old.pbf"), book("Old", size));
        writeFile(path("new.pbf"), book("New", 6));
        Phone phone(QStringList{"--book", path("old.pbf"), "--memory", QString::number(size),
                                "--save", path("after.pbf"), Quiet} +
                    faults);
        const Run r = cli(QStringList{"write", path("new.pbf"), "--port", phone.device, "--retries",
                                      "1", "--quiet"} +
                          cliArgs);
        phone.stop();
        QCOMPARE(r.exitCode, exitCode);
        if (exitCode == 0)
            QVERIFY2(!r.err.contains("quorix-cli:"), r.err.constData());
        else
            QVERIFY2(QRegularExpression(lastLine).match(QString::fromUtf8(r.lastLine())).hasMatch(),
                     r.err.constData());
        const auto given = [&](const char* option, int otherwise) {
            const qsizetype at = cliArgs.indexOf(QLatin1String(option));
            return at < 0 ? otherwise : cliArgs.at(at + 1).toInt();
        };
        const int start = given("--start", 1);
        checkWritten(r.out, size, start);
        // A name is reported refused only where the phone refused.
        const qsizetype refused = faults.indexOf(QStringLiteral("--refuse-write"));
        for (const QByteArray& l : r.out.split('\n'))
            if (const qsizetype at = l.indexOf("Error while writing to loc. "); at >= 0)
                QVERIFY2(refused >= 0 && faults.at(refused + 1)
                                             .split(u',')
                                             .contains(QString::fromUtf8(l.mid(at + 28))),
                         l.constData());
        // 0 only when the phone confirmed every name the range holds.
        if (r.exitCode == 0)
            QCOMPARE(r.out.count("Written to location"),
                     std::min(6, given("--stop", size) - start + 1));
    }

    // The port disappears in the middle (a USB adapter pulled): a read ends at once
    // and --keep-partial keeps what was read; a write reports each name so far.
    void portVanishes() {
        writeFile(path("phone.pbf"), book("Name", 6));
        {
            Phone phone({"--book", path("phone.pbf"), "--latency", "150"});
            const QString device = phone.device;
            const Run r = cli({"read", "--port", device, "-o", path("part.pbf"), "--keep-partial"},
                              &phone, "Read entry 2 / 6");
            QCOMPARE(r.exitCode, 1);
            const QByteArrayList got = names(readFile(path("part.pbf")));
            QVERIFY(got.size() >= 2 && got.size() < 6);
            QCOMPARE(got, names(readFile(path("phone.pbf"))).mid(0, got.size()));
            QCOMPARE(r.lastLine(),
                     QStringLiteral("quorix-cli: Read interrupted after %1 names: %2 disappeared "
                                    "(hung up); the file holds the %1 names read")
                         .arg(got.size())
                         .arg(device)
                         .toUtf8());
        }
        writeFile(path("old.pbf"), book("Old", 8));
        writeFile(path("new.pbf"), book("New", 6));
        Phone phone({"--book", path("old.pbf"), "--memory", "8", "--save", path("after.pbf"),
                     "--latency", "150"});
        const Run r =
            cli({"write", path("new.pbf"), "--port", phone.device}, &phone, "Writing entry 3 / 6");
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.lastLine().startsWith("quorix-cli: Write interrupted after "),
                 r.err.constData());
        QVERIFY(r.out.contains("New 1: Written to location 1\n"));
        QVERIFY(
            r.out.contains(" names were not written (the write was broken off before them).\n"));
        checkWritten(r.out, 8);
    }

    // A deadline ends a transfer that would retry for long, as No would: what was
    // read is kept with --keep-partial, the last line says why.
    void deadlineEndsTheTransfer() {
        writeFile(path("phone.pbf"), book("Name", 6));
        Phone phone({"--book", path("phone.pbf"), "--silent-after", "4", Quiet});
        QElapsedTimer clock;
        clock.start();
        const Run r = cli({"read", "--port", phone.device, "-o", path("dl.pbf"), "--retries",
                           "1000", "--deadline", "2.5", "--keep-partial", "--quiet"});
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.lastLine(), QByteArray("quorix-cli: The deadline of 2.5 s has passed; transfer "
                                          "given up; the file holds the 2 names read"));
        QCOMPARE(names(readFile(path("dl.pbf"))), (QByteArrayList{"Name 1", "Name 2"}));
    }

private:
    // The phone's memory after a write holds each name reported written at its
    // location (the write's first location + its position, and nowhere else),
    // the old name where nothing was written, and either where the write went
    // out but no answer came.
    void checkWritten(const QByteArray& report, int size, int start = 1) {
        const QByteArrayList after = names(readFile(path("after.pbf")));
        QCOMPARE(after.size(), size);
        static const QRegularExpression line(
            QStringLiteral("^New (\\d+): (Written to location|Error while writing to loc\\.|"
                           "Not written \\(no answer for location) (\\d+)\\)?$"));
        QHash<int, QString> reported;
        for (const QByteArray& l : report.split('\n')) {
            const QRegularExpressionMatch m = line.match(QString::fromUtf8(l));
            if (!m.hasMatch())
                continue;
            QCOMPARE(m.captured(3).toInt(), start + m.captured(1).toInt() - 1);
            reported[m.captured(3).toInt()] = m.captured(2);
        }
        for (int location = 1; location <= size; ++location) {
            const QByteArray held = after.at(location - 1);
            const QByteArray written = "New " + QByteArray::number(location - start + 1);
            const QByteArray old = "Old " + QByteArray::number(location);
            const QString what = reported.value(location);
            if (what == QLatin1String("Written to location"))
                QCOMPARE(held, written);
            else if (what.startsWith(QLatin1String("Not written")))
                QVERIFY(held == written || held == old);
            else
                QCOMPARE(held, old);
        }
    }
};

QTEST_GUILESS_MAIN(TestCliFaults)
#include "tst_cli_faults.moc"
