// quorix-cli read, write and demo against the real quorix-phonesim over its
// pseudo-terminal: the whole engine, transmit thread and serial driver included.
#include <QDir>
#include <QFile>
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

Run cli(const QStringList& args, int timeoutMs = 60000) {
    return run(Cli, args, timeoutMs);
}

} // namespace

class TestCliTransfer : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

private Q_SLOTS:
    void readGivesThePhonesBookAsAFile() {
        Phone phone({"--book", Sample, "--memory", "70", "--sparse"});
        QVERIFY(phone.device.startsWith(QLatin1String("/dev/")));
        const Run r = cli({"read", "--port", phone.device, "-o", path("read.pbf")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readFile(path("read.pbf")), readFile(Sample));
        // Then the backup of the phone's book.
        QVERIFY2(r.out.startsWith("Read 31 names into " + QFile::encodeName(path("read.pbf")) +
                                  ".\nBackup: "),
                 r.out.constData());
        QVERIFY(r.out.endsWith(" read.vcf\n"));
        QVERIFY(r.err.startsWith("Opening serial port...\nRetrieving memory information...\n"));
        QVERIFY(r.err.contains("Read entry 31 / 31 from loc. "));
        QVERIFY(r.err.contains("Empty location 2...\n"));
        QVERIFY(r.err.endsWith("Flipping book...\nOK.\nReady.\n"));
    }

    void writeStoresTheBookAndReportsEachName() {
        const QString saved = path("phone.pbf");
        Phone phone({"--memory", "40", "--save", saved, "--refuse-write", "3"});
        const Run r = cli({"write", Sample, "--port", phone.device, "--stop", "5", "--quiet"});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out,
                 QByteArray("Anna Schmidt: Written to location 1\n"
                            "B\xc3\xa4"
                            "ckerei Kraus: Written to location 2\n"
                            "Ben Taylor: Error while writing to loc. 3\n"
                            "Caf\xc3\xa9 Central: Written to location 4\n"
                            "Dr. med. Braun: Written to location 5\n"
                            "26 of 31 names were not written (the range ended before them).\n"));
        QCOMPARE(r.err, QByteArray("quorix-cli: some locations could not be written\n"));
        phone.stop();
        const Run shown = cli({"show", saved});
        QCOMPARE(shown.exitCode, 0);
        QVERIFY(shown.out.startsWith("Anna Schmidt\n"));
        QVERIFY(!shown.out.contains("Ben Taylor"));
        QVERIFY(shown.out.contains("Dr. med. Braun\n  Office: +492219876543\n"));

        // The whole book, written into an empty phone, is what the phone then holds.
        const QString all = path("all.pbf");
        Phone empty({"--memory", "40", "--save", all});
        QCOMPARE(cli({"write", Sample, "--port", empty.device}).exitCode, 0);
        empty.stop();
        QCOMPARE(readFile(all), readFile(Sample));
    }

    void faultyPhoneStillGivesTheWholeBook_data() {
        QTest::addColumn<QStringList>("faults");
        QTest::newRow("duplicate answers") << QStringList{"--duplicate-answer", "3-8"};
        QTest::newRow("silent for a while")
            << QStringList{"--silent-after", "12", "--silent-for", "1500"};
        QTest::newRow("out of order frames")
            << QStringList{"--frame-size", "40", "--shuffle-fragments", "5"};
    }
    void faultyPhoneStillGivesTheWholeBook() {
        QFETCH(QStringList, faults);
        Phone phone(QStringList{"--book", Sample} + faults);
        const Run r = cli({"read", "--port", phone.device, "-o", path("faulty.pbf")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readFile(path("faulty.pbf")), readFile(Sample));
        // The silent phone and the lost answer are noticed by the watchdog.
        const bool setUpAgain = !faults.contains(QLatin1String("--duplicate-answer"));
        QCOMPARE(r.err.contains("No valid answer was received from phone.\n"
                                "Do you want to re-setup connection and\n"
                                "try to continue at the point of failure? Yes (1 of 2)\n"),
                 setUpAgain);
    }

    void silentPhoneEndsTheReadWithoutTouchingTheFile() {
        QFile keep(path("kept.pbf"));
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("[QUORIX7-File]\r\nOld\r\n");
        keep.close();
        Phone phone({"--book", Sample, "--silent-after", "8"});
        const Run r = cli(
            {"read", "--port", phone.device, "-o", path("kept.pbf"), "--retries", "0", "--quiet"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("try to continue at the point of failure? No\n"));
        QVERIFY(r.err.endsWith("quorix-cli: No valid answer from the phone after 0 retries; "
                               "transfer given up; nothing was saved (--keep-partial saves the "
                               "names read)\n"));
        QVERIFY(!r.err.contains("Transfer aborted by user."));
        QCOMPARE(readFile(path("kept.pbf")), QByteArray("[QUORIX7-File]\r\nOld\r\n"));

        const Run none =
            cli({"read", "--port", path("no-such-device"), "-o", path("x.pbf"), "--quiet"});
        QCOMPARE(none.exitCode, 1);
        QVERIFY(none.err.startsWith("quorix-cli: " + QFile::encodeName(path("no-such-device")) +
                                    ": Could not open serial port! Please check configuration! ("));
        QCOMPARE(none.err.count('\n'), 1);
        QVERIFY(!QFile::exists(path("x.pbf")));
    }

    void demoReadsTheVirtualPhone() {
        const Run r = cli({"demo"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("\nAnna Schmidt\n  Mobile: +491711234567\n"));
        QVERIFY(r.out.contains("Read 31 names (the phone has 500 locations, 31 of them used) in "));
        QVERIFY(r.out.endsWith(" s; the transfer ended with \"Ready.\".\n"));
        const Run viaPort = cli({"read", "--port", "--demo", "--start", "2", "--stop", "3", "-o",
                                 path("two.pbf"), "--quiet"});
        QCOMPARE(viaPort.exitCode, 0);
        QCOMPARE(cli({"show", path("two.pbf")}).out.left(16), QByteArray("B\xc3\xa4"
                                                                         "ckerei Kraus\n"));
    }
};

QTEST_GUILESS_MAIN(TestCliTransfer)
#include "tst_cli_transfer.moc"
