// quorix-cli --record and quorix-phonesim --replay: a session recorded on the
// line plays back as the same session, so a problem met with a real phone
// becomes a test like the one of the recording kept in data/.
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "PhoneProcess.h"

using quorix::test::Cli;
using quorix::test::Phone;
using quorix::test::Phonesim;
using quorix::test::readFile;
using quorix::test::Run;
using quorix::test::run;
using quorix::test::Sample;

namespace {

const QString Data = QStringLiteral(QUORIX_TEST_DATA);

} // namespace

class TestCliRecord : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private Q_SLOTS:
    // Read, write and status against the virtual phone, recorded; the same
    // command against the replay of that recording prints the same, ends the same.
    void replayedSessionEndsAsTheRecordedOne_data() {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QStringList>("phone");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("read") << QStringList{"read", "-o", "-", "--quiet"}
                              << QStringList{"--book", Sample, "--memory", "70", "--sparse"} << 0;
        QTest::newRow("write with a refusal")
            << QStringList{"write", Sample, "--stop", "5", "--quiet"}
            << QStringList{"--memory", "40", "--refuse-write", "3"} << 1;
        QTest::newRow("status") << QStringList{"status"} << QStringList{} << 0;
    }
    void replayedSessionEndsAsTheRecordedOne() {
        QFETCH(QStringList, command);
        QFETCH(QStringList, phone);
        QFETCH(int, exitCode);
        const QString recording = dir_.filePath(QString::fromLatin1(QTest::currentDataTag()));
        Phone live(phone);
        const Run recorded =
            run(Cli, command + QStringList{"--port", live.device, "--record", recording});
        QCOMPARE(recorded.exitCode, exitCode);
        QVERIFY(readFile(recording).startsWith("quorix-line-recording 1\n"));

        Phone replay({"--replay", recording});
        QVERIFY(replay.device.startsWith(QLatin1String("/dev/")));
        const Run replayed = run(Cli, command + QStringList{"--port", replay.device});
        QCOMPARE(replayed.exitCode, exitCode);
        QCOMPARE(replayed.out, recorded.out);
        QVERIFY(replayed.out.size() > 20); // the book, the names written, the status
        const QByteArray said = replay.errors();
        QVERIFY2(!said.contains("not in the recording"), said.constData());
    }

    // The recording kept with the tests: a read of the first six locations of the
    // virtual phone holding the sample book. Its replay reads the book kept
    // beside it; a read beyond it meets a silent phone, which says why.
    void keptRecordingReadsItsBook() {
        Phone replay({"--replay", Data + QStringLiteral("/read-sample.qlr")});
        const Run r = run(Cli, {"read", "--port", replay.device, "--stop", "6", "-o", "-"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, readFile(Data + QStringLiteral("/read-sample.pbf")));

        const Run beyond = run(Cli, {"read", "--port", replay.device, "--stop", "7", "--retries",
                                     "0", "--quiet", "-o", dir_.filePath("beyond.pbf")});
        QCOMPARE(beyond.exitCode, 1);
        QVERIFY2(beyond.err.contains("No valid answer was received from phone."),
                 beyond.err.constData());
        const QByteArray said = replay.errors();
        QVERIFY2(said.contains("(read location 7) is not in the recording; not answered\n"),
                 said.constData());
    }

    void recordingsThatCannotBeReplayed_data() {
        QTest::addColumn<QByteArray>("text"); // empty: no file
        QTest::addColumn<QStringList>("more");
        QTest::addColumn<QString>("error");
        QTest::newRow("no such file") << QByteArray() << QStringList{} << "No such file";
        QTest::newRow("damaged") << QByteArray("quorix-line-recording 1\n+5 > 1E 00 2A 03 00 0Z\n")
                                 << QStringList{} << "line 2: \"0Z\" is not a byte";
        QTest::newRow("nothing asked") << QByteArray("quorix-line-recording 1\n+0 open x\n")
                                       << QStringList{} << "holds no message of the program";
        QTest::newRow("with a memory")
            << QByteArray("quorix-line-recording 1\n") << QStringList{"--book", Sample}
            << "--book cannot be used with it";
    }
    void recordingsThatCannotBeReplayed() {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, more);
        QFETCH(QString, error);
        const QString path = dir_.filePath(QStringLiteral("bad-") + QTest::currentDataTag());
        if (!text.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(text);
        }
        const Run r = run(Phonesim, QStringList{"--replay", path} + more);
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.contains(error.toUtf8()), r.err.constData());
    }

    void recordingFileThatCannotBeMade() {
        const QString path = dir_.filePath(QStringLiteral("no/such/dir/line.qlr"));
        const Run r = run(Cli, {"status", "--port", "/dev/null", "--record", path});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err,
                 ("quorix-cli: cannot record the line: " + path + ": No such file or directory\n")
                     .toUtf8());
    }
};

QTEST_GUILESS_MAIN(TestCliRecord)

#include "tst_cli_record.moc"
