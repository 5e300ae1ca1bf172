#include "link/Frame.h"
#include "link/Trace.h"

#include "LinkTestMain.h"

#include <QRandomGenerator>
#include <QTest>

using namespace quorix::link;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

QByteArray fromPhone(quint8 type, const QByteArray& data) {
    return buildFrame(type, data, 1, 0x40, FromPhone);
}

// The line of a record that starts with the given label.
QByteArray line(const QByteArray& record, const QByteArray& label) {
    for (const QByteArray& l : record.split('\n')) {
        if (l.startsWith(label))
            return l.chopped(l.endsWith('\r') ? 1 : 0);
    }
    return "<no line " + label + ">";
}

} // namespace

class TestTrace : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linkOpeningRecord() {
        const QByteArray f = hex("1e002a0400060001000101413543");
        const QByteArray expected = "\r\n"
                                    "time           : 1000 / start of header: 1E / "
                                    "target/source  : TE    > PHONE (00 > 2A)\r\n"
                                    "message type   : 04 GET PHONE STATUS\r\n"
                                    "length of data : 0006 / fragment nr.   : 01 / "
                                    "packet seqnr   : 41 / checksum       : 3543\r\n"
                                    "data           : 00010001\r\n"
                                    "data           : _\x01_\x01\r\n";
        QCOMPARE(traceFrame(f, 1000), expected);
    }

    void byteHelpers() {
        QCOMPARE(hexBytes(hex("00ff1e0a")), QByteArray("00FF1E0A"));
        QCOMPARE(hexBytes({}), QByteArray());
        QCOMPARE(showBytes(QByteArray("A\0B", 3)), QByteArray("A_B"));
        QCOMPARE(showBytes(hex("e9")), hex("e9")); // Latin-1 passes unchanged
    }

    void acknowledgementsAreNotTraced() {
        QVERIFY(traceFrame(hex("1e002a7f00020302377f"), 5).isEmpty());
        QVERIFY(traceFrame(buildAck(fromPhone(3, {}), FromPhone), 5).isEmpty());
    }

    void fieldsOfUnusualFrames() {
        // Odd L: the checksum field shows the checksum, not the pad byte.
        const QByteArray odd = buildFrame(TypeMemory, hex("aabbcc"), 1, 0x41);
        QCOMPARE(line(traceFrame(odd, 1), "length"),
                 "length of data : 0005 / fragment nr.   : 01 / packet seqnr   : 41 / "
                 "checksum       : " +
                     hexBytes(odd.right(2)));
        // No data: length 0002 and two empty data lines.
        const QByteArray empty = traceFrame(buildFrame(TypeMemory, {}, 1, 0x41), 1);
        QVERIFY(empty.contains("length of data : 0002 /"));
        QVERIFY(empty.endsWith("data           : \r\ndata           : \r\n"));
        // Direction follows the destination byte.
        QVERIFY(traceFrame(fromPhone(3, hex("01")), 1)
                    .contains("target/source  : PHONE > TE    (2A > 00)\r\n"));
    }

    void descriptions_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("text");
        auto row = [](const char* name, const QByteArray& frame, const QByteArray& text) {
            QTest::newRow(name) << frame << text;
        };
        // Frame offset k is data byte k - 6.
        row("status answer", fromPhone(4, hex("0000000001000001")),
            "04 PHONE STATUS\r\nsubtype        : REGISTERED - CHARGER CONN.");
        row("status answer, battery, code", fromPhone(4, hex("0000000003000002")),
            "04 PHONE STATUS\r\nsubtype        : WAITING FOR SEC.CODE - BATTERY");
        row("status answer cut short", fromPhone(4, hex("00")),
            "04 PHONE STATUS\r\nsubtype        : UNKNOWN - UNKNOWN");
        row("call active", fromPhone(1, hex("000000030c")),
            "01 DIALLING/CALL HANDLING\r\nsubtype        : CALL ACTIVE - SEQ# 12");
        row("incoming call", fromPhone(1, hex("00000005000003") + "123"),
            "01 DIALLING/CALL HANDLING\r\nsubtype        : INCOMING CALL FROM <123>");
        // The caller's number claims more bytes than the frame has: it stops at the
        // frame's end (fragment, sequence and pad byte, then the checksum).
        const QByteArray shortCall = fromPhone(1, hex("00000005000040") + "12");
        row("incoming call cut short", shortCall,
            "01 DIALLING/CALL HANDLING\r\nsubtype        : INCOMING CALL FROM <12" + hex("014000") +
                shortCall.right(2) + ">");
        row("unknown call subtype", fromPhone(1, hex("0000002a")),
            "01 DIALLING/CALL HANDLING\r\nsubtype        : UNKNOWN SUBTYPE 42");
        row("network", fromPhone(0x0a, hex("0000000000000000020100")),
            "0A NETWORK INFORMATION\r\nsubtype        : ROAMING - NW SELECTION AUTOMATIC");
        row("network manual", fromPhone(0x0a, hex("00000000000000000400")),
            "0A NETWORK INFORMATION\r\nsubtype        : NOT REGISTERED - NW SELECTION MANUAL");
        row("netmonitor from phone", fromPhone(0x40, hex("000000ff")), "40 NETMONITOR DISPLAY 255");
        row("netmonitor to phone", buildFrame(0x40, hex("00000007"), 1, 0x41),
            "40 GET NETMONITOR DISPLAY 7");
        row("memory", fromPhone(3, {}), "03 MEMORY HANDLING");
        row("calendar", fromPhone(0x13, {}), "13 CALENDER HANDLING");
        row("accessory", fromPhone(0x64, {}), "64 ACCESSORY/AUTH");
        row("unknown", fromPhone(0x99, {}), "99 UNKNOWN");
    }
    void descriptions() {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, text);
        const QByteArray record = traceFrame(frame, 7);
        const qsizetype from = record.indexOf("message type   : ") + 17;
        QCOMPARE(record.mid(from, record.indexOf("length of data") - from), text + "\r\n");
    }

    void phoneStatusInWords() {
        QCOMPARE(phoneStatus(fromPhone(4, hex("0000000002000001"))),
                 QByteArray("CALL IN PROGRESS - CHARGER CONN."));
        QCOMPARE(phoneStatus(fromPhone(4, hex("0000000004000009"))),
                 QByteArray("POWER OFF - UNKNOWN"));
    }

    void receivedLineNamesTheTick() {
        QCOMPARE(receivedLine(4294967295u), QByteArray("FBUS Data received / 4294967295\r\n"));
    }

    // Any byte string, however short or inconsistent, gives a record and nothing worse.
    void anyBytesAreSafe() {
        QRandomGenerator rng(7110);
        for (int i = 0; i < 20000; ++i) {
            QByteArray f(rng.bounded(0, 40), '\0');
            for (char& c : f)
                c = char(rng.bounded(256));
            if (f.size() > 3 && rng.bounded(2))
                f[3] = char(QList<int>{1, 4, 0x0a, 0x40}[rng.bounded(4)]);
            const QByteArray r = traceFrame(f, quint32(i));
            QVERIFY(r.isEmpty() == isAck(f));
        }
    }
};
LINKTEST(TestTrace)

#include "tst_trace.moc"
