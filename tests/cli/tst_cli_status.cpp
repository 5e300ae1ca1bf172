// quorix-cli status against a phone played by the test on a pseudo-terminal.
#include "link/Frame.h"

#include "PtyPeer.h"

#include <QProcess>
#include <QTest>

using namespace quorix::link;

namespace {

const QByteArray LinkOpening = QByteArray::fromHex("1e002a0400060001000101413543");

struct Run {
    QProcess proc;
    explicit Run(const QStringList& args) {
        proc.setProgram(QStringLiteral(QUORIX_CLI));
        proc.setArguments(QStringList{QStringLiteral("status")} + args);
        proc.start();
    }
    bool finish() { return proc.waitForFinished(15000); }
    QByteArray out() { return proc.readAllStandardOutput(); }
    QByteArray err() { return proc.readAllStandardError(); }
};

} // namespace

class TestCliStatus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void answeringPhone() {
        PtyPeer phone;
        QVERIFY(phone.ok());
        Run run({QStringLiteral("--port"), QString::fromLatin1(phone.device()),
                 QStringLiteral("--cable"), QStringLiteral("dau-9p"), QStringLiteral("--trace")});
        QCOMPARE(phone.read(130, 5000), QByteArray(130, 0x55));
        QCOMPARE(phone.read(LinkOpening.size()), LinkOpening);
        const QByteArray status =
            buildFrame(TypeStatus, QByteArray::fromHex("0000000001000002"), 1, 0x45, FromPhone);
        phone.write(buildAck(LinkOpening, FromPhone) + status);
        // The answer is acknowledged before the link closes.
        QCOMPARE(phone.read(10), buildAck(status));
        QVERIFY(run.finish());
        QCOMPARE(run.proc.exitCode(), 0);
        QCOMPARE(run.out(), QByteArray("Phone status: REGISTERED - BATTERY\n"));
        const QByteArray trace = run.err();
        QVERIFY(trace.startsWith("\r\ntime           : "));
        QVERIFY(
            trace.contains(" / start of header: 1E / target/source  : TE    > PHONE (00 > 2A)\r\n"
                           "message type   : 04 GET PHONE STATUS\r\n"
                           "length of data : 0006 / fragment nr.   : 01 / packet seqnr   : 41 / "
                           "checksum       : 3543\r\n"
                           "data           : 00010001\r\n"));
        QVERIFY(trace.contains("FBUS Data received / "));
        QVERIFY(trace.contains("subtype        : REGISTERED - BATTERY\r\n"));
    }

    void silentPhone() {
        PtyPeer phone;
        QVERIFY(phone.ok());
        Run run({QStringLiteral("--port"), QString::fromLatin1(phone.device()),
                 QStringLiteral("--timeout"), QStringLiteral("1")});
        QCOMPARE(phone.read(130 + LinkOpening.size(), 5000).right(LinkOpening.size()), LinkOpening);
        QVERIFY(run.finish());
        QVERIFY(run.proc.exitCode() != 0);
        QCOMPARE(run.err(), "quorix-cli: No valid answer was received from phone. " +
                                phone.device() +
                                " opened, but the phone did not answer within 1 s: is it on, "
                                "and is the cable a DLR-3?\n");
        QVERIFY(run.out().isEmpty());
        QVERIFY(phone.readFor(100).isEmpty()); // the unanswered frame was not repeated
    }

    void portThatCannotOpen() {
        Run run({QStringLiteral("--port"), QStringLiteral("/nonexistent/ttyQ3")});
        QVERIFY(run.finish());
        QVERIFY(run.proc.exitCode() != 0);
        // One line that names the port and the reason.
        QCOMPARE(run.err(), QByteArray("quorix-cli: Could not open serial port /nonexistent/ttyQ3: "
                                       "No such file or directory\n"));
    }

    void wrongArguments_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("no port") << QStringList{} << QByteArray("--port DEVICE is required");
        QTest::newRow("cable") << QStringList{"--port", "/dev/null", "--cable", "dku-5"}
                               << QByteArray("unknown cable 'dku-5'");
        QTest::newRow("timeout") << QStringList{"--port", "/dev/null", "--timeout", "soon"}
                                 << QByteArray("--timeout wants a number of seconds");
    }
    void wrongArguments() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, message);
        Run run(args);
        QVERIFY(run.finish());
        QCOMPARE(run.proc.exitCode(), 2); // wrong usage
        QVERIFY2(run.err().contains(message), message);
    }
};

QTEST_GUILESS_MAIN(TestCliStatus)
#include "tst_cli_status.moc"
