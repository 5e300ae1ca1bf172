// The serial driver and the whole link over real pseudo-terminals, with the test
// playing the phone at the far end.
#include "link/FbusLink.h"
#include "link/FbusTransmitter.h"
#include "link/Frame.h"
#include "link/SerialPort.h"
#include "link/StatusProbe.h"

#include "Answers.h"
#include "LinkTestMain.h"
#include "PtyPeer.h"

#include <QElapsedTimer>
#include <QTest>

#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <optional>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace quorix::link;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

const QByteArray LinkOpening = hex("1e002a0400060001000101413543");

QByteArray phoneFrame(quint8 type, const QByteArray& data, quint8 seqByte) {
    return buildFrame(type, data, 1, seqByte, FromPhone);
}

QByteArray phoneAckOf(const QByteArray& ours) {
    return buildAck(ours, FromPhone);
}

struct Listener : LinkListener {
    QByteArrayList statuses;
    QByteArrayList errors;
    int started = -1; // -1 not yet, 0 failed, 1 running
    void showStatus(const QByteArray& text) override { statuses << text; }
    void showError(const QByteArray& caption, const QByteArray& text) override {
        errors << caption + "|" + text;
    }
    void linkStarted(bool ok) override { started = ok; }
};

// A running link on one end of a pty, the test at the other.
struct LinkRig {
    PtyPeer phone;
    SerialPort serial;
    FbusLink link{serial};
    Listener listener;
    Answers answers;
    QByteArrayList log;

    LinkRig() {
        link.setPhonebookAnswer(&answers);
        link.setTracing(true);
        link.setTraceLog([this](const QByteArray& e) { log << e; });
    }
    // Starts the link and takes the wake-up bytes and the opening frame off the line.
    bool start(int cable = CableDLR3) {
        LinkSettings s;
        s.cable = cable;
        s.device = phone.device();
        link.startLink(s, &listener);
        if (phone.read(FbusLink::WakeBytes) != QByteArray(FbusLink::WakeBytes, 0x55))
            return false;
        return phone.read(LinkOpening.size()) == LinkOpening && listener.started == 1;
    }
};

} // namespace

class TestPty : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QVERIFY(PtyPeer().ok()); }

    void lineSettings() {
        PtyPeer far;
        SerialPort d;
        d.setPortName(far.device());
        d.setBaudRateValue(115200);
        d.setHwFlow(SerialPort::HwFlowNone);
        QVERIFY2(d.open(), d.errorString());
        // A pty master reports its slave's settings: 115200 8N1, raw, no flow control.
        termios t{};
        QCOMPARE(tcgetattr(far.fd(), &t), 0);
        QCOMPARE(cfgetospeed(&t), speed_t(B115200));
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(t.c_iflag & (IXON | IXOFF | ICRNL), tcflag_t(0));
        QCOMPARE(t.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
        // A change while open takes effect at once.
        d.setStopBits(SerialPort::StopBits2);
        QCOMPARE(tcgetattr(far.fd(), &t), 0);
        QCOMPARE(t.c_cflag & CSTOPB, tcflag_t(CSTOPB));
        // No modem lines on a pty: the calls are ignored and the port stays usable.
        d.setDtr(true);
        d.setRts(false);
        QCOMPARE(d.lineStatus(), 0u);
        QVERIFY(d.isOpen());
    }

    void everyByteValuePassesBothWays() {
        PtyPeer far;
        SerialPort d;
        d.setPortName(far.device());
        QByteArray received;
        d.receiveHandler = [&](SerialPort* sender, const char* data, quint32 size) {
            QCOMPARE(sender, &d);
            received.append(data, size);
        };
        QVERIFY(d.open());
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        QVERIFY(d.sendBytes(all));
        QCOMPARE(far.read(256), all);
        far.write(all);
        QTRY_COMPARE(received, all);
    }

    void connectWhenOpenKeepsThePort() {
        PtyPeer far;
        SerialPort d;
        d.setPortName(far.device());
        QByteArray received;
        d.receiveHandler = [&](SerialPort*, const char* data, quint32 size) {
            received.append(data, size);
        };
        d.setReceiveMode(SerialPort::ReceivePolled);
        d.setPollingDelay(60000);
        QVERIFY(d.open());
        far.write("waiting");
        QTest::qWait(50);
        // Reopening would have purged the waiting bytes.
        QVERIFY(d.open());
        d.setPort(SerialPort::PortCom1); // ignored while open
        d.setPortName("/dev/null");
        QCOMPARE(d.portName(), far.device());
        d.setPollingDelay(5);
        QTRY_COMPARE(received, QByteArray("waiting"));
    }

    void onePollDeliversAtMostTheBufferSize() {
        PtyPeer far;
        SerialPort d;
        d.setPortName(far.device());
        d.setInBufSize(100); // becomes 128
        QList<quint32> sizes;
        d.receiveHandler = [&](SerialPort*, const char*, quint32 size) { sizes << size; };
        d.setReceiveMode(SerialPort::ReceivePolled);
        d.setPollingDelay(60000);
        QVERIFY(d.open());
        far.write(QByteArray(300, 'z'));
        QTest::qWait(50);
        d.setPollingDelay(5);
        QTRY_COMPARE(sizes, (QList<quint32>{128, 128, 44}));
    }

    // The other end going away (an adapter pulled, the phone's pseudo-terminal
    // closed) is told once, with the system's reason; the link then closes the
    // port and tells whoever waits for the phone's answers.
    void aPortThatDisappearsIsReported() {
        auto far = std::make_unique<PtyPeer>();
        SerialPort port;
        port.setPortName(far->device());
        port.setPollingDelay(5);
        QByteArrayList reasons;
        port.lostHandler = [&](const QByteArray& reason) { reasons << reason; };
        QVERIFY(port.open());
        QTest::qWait(30);
        QVERIFY(reasons.isEmpty()); // quiet is not gone
        far.reset();
        QTRY_COMPARE(reasons, QByteArrayList{"hung up"});
        QTest::qWait(30);
        QCOMPARE(reasons.size(), 1);

        struct Lost : PhonebookAnswer {
            QByteArrayList calls;
            void handlePhonebookAnswer(const QByteArray&) override {}
            void portLost(const QByteArray& device, const QByteArray& reason) override {
                calls << device + ": " + reason;
            }
        } lost;
        far = std::make_unique<PtyPeer>();
        SerialPort serial;
        FbusLink link(serial);
        link.setPhonebookAnswer(&lost);
        serial.setPortName(far->device());
        QVERIFY(serial.open());
        const QByteArray device = far->device();
        far.reset();
        QTRY_COMPARE(lost.calls, QByteArrayList{device + ": hung up"});
        QVERIFY(!serial.isOpen());
    }

    void bytesAreTakenAsTheyArriveNotAtTheNextPoll() {
        PtyPeer far;
        SerialPort d;
        d.setPortName(far.device());
        QByteArray received;
        d.receiveHandler = [&](SerialPort*, const char* data, quint32 size) {
            received.append(data, size);
        };
        d.setPollingDelay(60000); // no poll within the test
        QVERIFY(d.open());
        QCOMPARE(d.receiveMode(), SerialPort::ReceiveNotified);
        far.write("answer");
        QTRY_COMPARE(received, QByteArray("answer"));

        // The old polled receiver stays behind the setting, also while open.
        d.setReceiveMode(SerialPort::ReceivePolled);
        far.write("held");
        QTest::qWait(300);
        QCOMPARE(received, QByteArray("answer"));
        d.setReceiveMode(SerialPort::ReceiveNotified);
        QTRY_COMPARE(received, QByteArray("answerheld"));
    }

    void aHungUpLineDoesNotKeepWakingTheReceiver() {
        auto far = std::make_unique<PtyPeer>();
        SerialPort d;
        d.setPortName(far->device());
        int calls = 0;
        d.receiveHandler = [&](SerialPort*, const char*, quint32) { ++calls; };
        QVERIFY(d.open());
        far.reset(); // the far end goes: the port reads as ready from now on
        // A receiver that kept answering that would spin through the whole wait.
        const auto cpu = [] {
            rusage u{};
            ::getrusage(RUSAGE_THREAD, &u);
            return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000 +
                   (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
        };
        const auto before = cpu();
        QTest::qWait(1000);
        QVERIFY2(cpu() - before < 300, qPrintable(QString::number(cpu() - before)));
        QCOMPARE(calls, 0);
        QVERIFY(d.isOpen());
        d.close();
    }

    void aPortIsOpenedByOneOnly() {
        PtyPeer far;
        SerialPort first;
        SerialPort second;
        first.setPortName(far.device());
        second.setPortName(far.device());
        QVERIFY(first.open());
        QVERIFY(!second.open());
        QVERIFY(!second.isOpen());
        QVERIFY(!second.errorString().isEmpty());
        first.close();
        QVERIFY(!first.isOpen());
        QVERIFY(second.open());
    }

    void linkStartUpAndStatusExchange() {
        LinkRig r;
        QVERIFY(r.start(CableDAU9P));
        QCOMPARE(r.listener.statuses, QByteArrayList{"Opening serial port..."});
        QVERIFY(r.listener.errors.isEmpty());
        QVERIFY(r.log.first().contains("GET PHONE STATUS"));

        // The phone acknowledges our frame and answers with its status.
        const QByteArray status = phoneFrame(TypeStatus, hex("0000000001000001"), 0x43);
        r.phone.write(phoneAckOf(LinkOpening) + status);
        QCOMPARE(r.phone.read(10), buildAck(status));
        QTRY_COMPARE(r.link.transmitter()->awaitingAck(), 0);
        QVERIFY(r.log.last().contains("subtype        : REGISTERED - CHARGER CONN."));
        QVERIFY(r.answers.frames.isEmpty());

        // A phonebook request goes out and its answer reaches the transfer.
        QVERIFY(r.link.sendFrame(TypeMemory, hex("0001000302050147114b"), 1, false));
        const QByteArray request = r.phone.read(20);
        QCOMPARE(request.size(), 20);
        QCOMPARE(sequenceByte(request), quint8(0x42));
        const QByteArray answer = phoneFrame(TypeMemory, hex("011b0004"), 0x44);
        r.phone.write(phoneAckOf(request) + answer);
        QCOMPARE(r.phone.read(10), buildAck(answer));
        QTRY_COMPARE(r.answers.frames, QByteArrayList{answer});
        r.link.stopLink();
        QVERIFY(!r.serial.isOpen());
        QVERIFY(!r.link.transmitter());
    }

    // The cable check of the CLI's status and the window's Test connection.
    void statusProbeTakesOnlyTheAnswerToItsRequest_data() {
        QTest::addColumn<bool>("lateAnswerFirst"); // an earlier exchange's answer in the start wait
        QTest::addColumn<bool>("answers");         // the phone answers our request
        QTest::addColumn<bool>("missing");         // the device does not exist
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("text");
        using O = StatusReport::Outcome;
        const QString answered = QStringLiteral("Phone status: REGISTERED - CHARGER CONN.");
        const QString silent = QStringLiteral("No valid answer was received from phone. DEVICE "
                                              "opened, but the phone did not answer within 0.4 s: "
                                              "is it on, and is the cable a DLR-3?");
        QTest::newRow("answered") << false << true << false << int(O::Answered) << answered;
        QTest::newRow("late answer only") << true << false << false << int(O::NoAnswer) << silent;
        QTest::newRow("late answer, then ours")
            << true << true << false << int(O::Answered) << answered;
        QTest::newRow("silent") << false << false << false << int(O::NoAnswer) << silent;
        QTest::newRow("missing device")
            << false << false << true << int(O::NotOpened)
            << QStringLiteral("Could not open serial port DEVICE: No such file or directory");
    }

    void statusProbeTakesOnlyTheAnswerToItsRequest() {
        QFETCH(bool, lateAnswerFirst);
        QFETCH(bool, answers);
        QFETCH(bool, missing);
        QFETCH(int, outcome);
        QFETCH(QString, text);
        PtyPeer phone;
        SerialPort serial;
        FbusLink link(serial);
        StatusProbe probe(link);
        std::optional<StatusReport> report;
        QObject::connect(&probe, &StatusProbe::finished,
                         [&](const StatusReport& r) { report = r; });
        LinkSettings settings;
        settings.device = missing ? QByteArray("/nonexistent/ttyQuorix") : phone.device();
        probe.start(settings, 400);
        QVERIFY(probe.running());
        const QByteArray status = phoneFrame(TypeStatus, hex("0000000001000001"), 0x43);
        if (!missing) {
            if (lateAnswerFirst)
                phone.write(status);
            QCOMPARE(phone.read(FbusLink::WakeBytes + LinkOpening.size()).right(LinkOpening.size()),
                     LinkOpening);
            if (answers)
                phone.write(phoneAckOf(LinkOpening) + status);
        }
        QTRY_VERIFY_WITH_TIMEOUT(report.has_value(), 3000);
        QCOMPARE(int(report->outcome), outcome);
        QCOMPARE(report->text(),
                 text.replace(QLatin1String("DEVICE"), QString::fromLocal8Bit(settings.device)));
        QVERIFY(!probe.running());
        QVERIFY(!serial.isOpen());
    }

    void everyLinkOpensWithSequenceOne() {
        LinkRig r;
        QVERIFY(r.start());
        for (int i = 0; i < 3; ++i)
            r.link.sendFrame(TypeMemory, hex("00"), 1, false);
        // One goes out; the window holds the others until the link closes.
        QCOMPARE(sequenceByte(r.phone.read(12)), quint8(0x42));
        r.link.stopLink();
        QVERIFY(r.start()); // the opening frame is byte for byte the same again
    }

    void receivedFramesAreAcknowledged() {
        LinkRig r;
        QVERIFY(r.start());
        const QByteArray a = phoneFrame(TypeMemory, hex("01"), 0x45);
        QByteArray bad = phoneFrame(TypeMemory, hex("02"), 0x46);
        bad[6] = 0x03;
        const QByteArray elsewhere = buildFrame(TypeMemory, hex("03"), 1, 0x47, Route{0x10, 0});
        const QByteArray other = phoneFrame(0x0a, hex("00"), 0x40);
        // Each frame once, a repeated frame again, bad and foreign frames not, and
        // the phone's acknowledgement never.
        r.phone.write(a + bad + elsewhere + a + phoneAckOf(LinkOpening) + other);
        const QByteArray acks = buildAck(a) + buildAck(a) + buildAck(other);
        QCOMPARE(r.phone.read(int(acks.size())), acks);
        QVERIFY(r.phone.readFor(200).isEmpty());
        QCOMPARE(r.answers.frames, (QByteArrayList{a, a}));
    }

    void closingRightAfterAFrameStillAnswersIt() {
        LinkRig r;
        QVERIFY(r.start());
        r.answers.then = [&] { r.link.stopLink(); };
        const QByteArray last = phoneFrame(TypeMemory, hex("011b0008"), 0x41);
        r.phone.write(last);
        QTRY_VERIFY(!r.serial.isOpen());
        QCOMPARE(r.phone.read(10), buildAck(last));
        QVERIFY(r.phone.readFor(100).isEmpty());
    }

    // Bytes from the phone during the start-up wait find no transmitter yet: they
    // are taken in, but nothing is written before the wake-up bytes.
    void framesDuringTheStartUpWait() {
        LinkRig r;
        LinkSettings s;
        s.device = r.phone.device();
        r.link.startLink(s, &r.listener);
        const QByteArray early = phoneFrame(TypeMemory, hex("011b0004"), 0x41);
        QTest::qWait(100);
        r.phone.write(early);
        QTRY_COMPARE(r.answers.frames, QByteArrayList{early});
        QVERIFY(r.link.starting());
        QCOMPARE(r.phone.read(FbusLink::WakeBytes), QByteArray(FbusLink::WakeBytes, 0x55));
        QCOMPARE(r.phone.read(LinkOpening.size()), LinkOpening);
        QCOMPARE(r.listener.started, 1);
    }

    void aPortThatCannotOpen() {
        PtyPeer unused;
        SerialPort serial;
        FbusLink link(serial);
        Listener listener;
        LinkSettings s;
        s.device = "/nonexistent/ttyQ7";
        QElapsedTimer t;
        t.start();
        link.startLink(s, &listener);
        QVERIFY(link.starting());
        QTRY_COMPARE(listener.started, 0);
        QVERIFY(t.elapsed() >= FbusLink::StartDelayMs);
        // The device and the system's reason, between the two lines of old.
        QCOMPARE(listener.errors,
                 QByteArrayList{"Error|Could not open serial port!\r/nonexistent/ttyQ7: No such "
                                "file or directory\rPlease check configuration!"});
        QVERIFY(!serial.accessDenied());
        QCOMPARE(listener.statuses,
                 (QByteArrayList{"Opening serial port...", "Error opening serial port!"}));
        QVERIFY(!link.transmitter());
    }

    void aPortTheUserMayNotUse() {
        // A device the user has no rights to, as /dev/ttyS0 is to someone outside
        // the group "dialout". Root may open anything, so as root the port is
        // opened by a child that has become "nobody".
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ExeOwner | QFile::ReadOther |
                                                      QFile::ExeOther));
        const QByteArray device = QFile::encodeName(dir.filePath(QStringLiteral("ttyDenied")));
        QFile f(QFile::decodeName(device));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(QFile::setPermissions(f.fileName(), QFileDevice::Permissions()));

        const auto attempt = [&device] {
            SerialPort serial;
            serial.setPortName(device);
            const bool opened = serial.open();
            return QByteArray(opened                  ? "opened"
                              : serial.accessDenied() ? "denied"
                                                      : "failed") +
                   '|' + FbusLink::openFailureText(serial);
        };
        QByteArray result;
        if (::geteuid() != 0) {
            result = attempt();
        } else {
            int pipeEnds[2];
            QVERIFY(::pipe(pipeEnds) == 0);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                ::close(pipeEnds[0]);
                if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(2);
                const QByteArray r = attempt();
                const bool written =
                    ::write(pipeEnds[1], r.constData(), size_t(r.size())) == r.size();
                ::_exit(written ? 0 : 3);
            }
            ::close(pipeEnds[1]);
            char buffer[512];
            ssize_t n;
            while ((n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0)
                result.append(buffer, n);
            ::close(pipeEnds[0]);
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the child failed");
        }
        QCOMPARE(result, "denied|Could not open serial port!\r" + device +
                             ": Permission denied\rYour user must be in the group \"dialout\".\r"
                             "Please check configuration!");
    }

    void closingDuringTheStartAbandonsIt() {
        LinkRig r;
        LinkSettings s;
        s.device = r.phone.device();
        r.link.startLink(s, &r.listener);
        r.link.stopLink();
        QTest::qWait(FbusLink::StartDelayMs + 200);
        QCOMPARE(r.listener.started, -1);
        QVERIFY(r.phone.readFor(50).isEmpty());
        QVERIFY(!r.serial.isOpen());
    }
};
LINKTEST(TestPty)

#include "tst_pty.moc"
