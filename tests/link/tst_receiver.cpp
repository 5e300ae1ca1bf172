#include "link/Clock.h"
#include "link/FbusLink.h"
#include "link/Frame.h"
#include "link/SerialPort.h"
#include "link/Trace.h"

#include "Answers.h"
#include "LinkTestMain.h"

#include <QRandomGenerator>
#include <QTest>

using namespace quorix::link;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

QByteArray fromPhone(quint8 type, const QByteArray& data, quint8 seq = 0x40,
                     Route route = FromPhone) {
    return buildFrame(type, data, 1, seq, route);
}

// A link whose port stays closed: what it receives is handled, what it would send
// is traced only.
struct Rig {
    ManualClock clock{5000};
    SerialPort serial;
    FbusLink link{serial, clock};
    Answers answers;
    QByteArrayList log;
    QByteArrayList seen;
    Rig() {
        link.setPhonebookAnswer(&answers);
        link.setTracing(true);
        link.setTraceLog([this](const QByteArray& e) { log << e; });
        link.setFrameObserver([this](const QByteArray& f) { seen << f; });
    }
    void receive(const QByteArray& bytes) {
        link.onBytesReceived(&serial, bytes.constData(), quint32(bytes.size()));
    }
    int records() const {
        int n = 0;
        for (const QByteArray& e : log)
            n += e.startsWith("\r\ntime");
        return n;
    }
};

} // namespace

class TestReceiver : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void phonebookFramesReachTheTransferWhole() {
        Rig r;
        const QByteArray a = fromPhone(TypeMemory, hex("011b0004"));
        const QByteArray b = fromPhone(TypeMemory, hex("011b000801"), 0x41);
        // a split over three deliveries, then b with garbage before it.
        r.receive(a.left(3));
        r.receive(a.mid(3, 5));
        QVERIFY(r.answers.frames.isEmpty());
        r.receive(a.mid(8) + hex("55aa00") + b);
        QCOMPARE(r.answers.frames, (QByteArrayList{a, b}));
        QVERIFY(r.link.rxBuffer().isEmpty());
        // One received line for the frame that came in pieces, none for the rest.
        QCOMPARE(r.log.count(receivedLine(5000)), 1);

        // A frame trickling in byte by byte: a line when it starts, then at most
        // one per 50 ms; the next frame has its own.
        r.log.clear();
        QCOMPARE(a.size(), 14);
        for (const char byte : a) {
            r.receive(QByteArray(1, byte));
            r.clock.advance(10);
        }
        r.receive(b);
        QByteArrayList lines;
        for (const quint32 tick : {5000u, 5050u, 5100u, 5140u})
            lines << receivedLine(tick);
        QByteArrayList logged;
        for (const QByteArray& entry : r.log)
            if (entry.startsWith("FBUS Data received"))
                logged << entry;
        QCOMPARE(logged, lines);
    }

    void lastReceiveTime() {
        Rig r;
        QCOMPARE(r.link.lastRxTime(), 0u);
        r.clock.advance(250);
        r.receive(hex("00"));
        QCOMPARE(r.link.lastRxTime(), 5250u);
    }

    // Only a frame of the phone to us with a right checksum is a sign of life:
    // noise, a damaged frame and frames of others leave the time where it was.
    void onlyValidFramesToUsShowThePhoneAlive() {
        Rig r;
        r.receive(fromPhone(TypeMemory, hex("011b0004")));
        QCOMPARE(r.link.lastValidFrameTime(), 5000u);
        QByteArray damaged = fromPhone(TypeMemory, hex("0102"));
        damaged[7] = 0x09;
        const QByteArrayList notAlive = {hex("55aa0013ff"), damaged,
                                         fromPhone(TypeMemory, hex("01"), 0x40, Route{0x10, 0x00}),
                                         fromPhone(TypeMemory, hex("01"), 0x40, Route{0x2A, 0x01})};
        for (const QByteArray& bytes : notAlive) {
            r.clock.advance(2000);
            r.receive(bytes);
            QCOMPARE(r.link.lastRxTime(), r.clock.now());
            QCOMPARE(r.link.lastValidFrameTime(), 5000u);
        }
        r.clock.advance(100);
        r.receive(buildAck(buildFrame(TypeStatus, {}, 1, 0x41), FromPhone));
        QCOMPARE(r.link.lastValidFrameTime(), 13100u);
    }

    void otherFramesAreFilteredOrOnlyTraced() {
        Rig r;
        QByteArray bad = fromPhone(TypeMemory, hex("0102"));
        bad[7] = 0x09;
        r.receive(bad);
        QCOMPARE(r.log, QByteArrayList{receivedLine(5000)}); // bad checksum: only the line
        QVERIFY(r.seen.isEmpty());

        // Wrong addresses: traced, not handled.
        r.receive(fromPhone(TypeMemory, hex("01"), 0x40, Route{0x10, 0x00}));
        r.receive(fromPhone(TypeMemory, hex("01"), 0x40, Route{0x2A, 0x01}));
        QCOMPARE(r.records(), 2);
        QVERIFY(r.answers.frames.isEmpty());
        QVERIFY(r.seen.isEmpty());

        // The phone's acknowledgement: handled, never traced.
        r.receive(buildAck(buildFrame(TypeStatus, {}, 1, 0x41), FromPhone));
        QCOMPARE(r.records(), 2);
        QCOMPARE(r.seen.size(), 1);

        // Another type: traced and seen, but not for the phonebook.
        r.receive(fromPhone(TypeStatus, hex("0000000001000001")));
        QCOMPARE(r.records(), 3);
        QVERIFY(r.log.last().contains("REGISTERED - CHARGER CONN."));
        QCOMPARE(r.seen.size(), 2);
        QVERIFY(r.answers.frames.isEmpty());
    }

    void sentFramesCountSequenceNumbers() {
        Rig r;
        // A three-frame message as the writer of entries sends it.
        QVERIFY(r.link.sendFrame(TypeMemory, QByteArray(120, 'a'), 3, false));
        QVERIFY(r.link.sendFrame(TypeMemory, QByteArray(120, 'b'), 2, true));
        QVERIFY(r.link.sendFrame(TypeMemory, QByteArray(7, 'c'), 1, true));
        QCOMPARE(r.records(), 3);
        QVERIFY(r.log[0].contains("fragment nr.   : 03 / packet seqnr   : 41 /"));
        QVERIFY(r.log[1].contains("fragment nr.   : 02 / packet seqnr   : 02 /"));
        QVERIFY(r.log[2].contains("fragment nr.   : 01 / packet seqnr   : 03 /"));
        QVERIFY(r.log[2].contains("length of data : 0009 /"));
        // Acknowledgements take no number; the counter runs 1..7, 0, 1.
        r.link.sendAck(fromPhone(TypeMemory, {}));
        QCOMPARE(r.link.txSeq(), quint8(4));
        for (int i = 0; i < 5; ++i)
            r.link.sendFrame(TypeMemory, {}, 1, false);
        QCOMPARE(r.link.txSeq(), quint8(1));
        // Too long for one frame: refused, nothing consumed.
        QVERIFY(!r.link.sendFrame(TypeMemory, QByteArray(MaxFrameData + 1, 'x'), 1, false));
        QCOMPARE(r.link.txSeq(), quint8(1));
        QCOMPARE(r.records(), 8);
    }

    void tracingOffFormatsNothing() {
        Rig r;
        r.link.setTracing(false);
        r.receive(fromPhone(TypeMemory, hex("01")));
        r.link.sendFrame(TypeMemory, {}, 1, false);
        QVERIFY(r.log.isEmpty());
        QCOMPARE(r.answers.frames.size(), 1);
    }

    // The transfer may end (and close the link) while it handles a frame; frames
    // still in the same delivery then find a closed link and nothing breaks.
    void handlerClosingTheLink() {
        Rig r;
        r.answers.then = [&] { r.link.stopLink(); };
        const QByteArray a = fromPhone(TypeMemory, hex("01"));
        r.receive(a + a);
        QCOMPARE(r.answers.frames.size(), 2);
    }

    void settingsChooseTheDevice() {
        LinkSettings s;
        QCOMPARE(s.cable, int(CableDLR3));
        QCOMPARE(s.portDevice(), QByteArray("/dev/ttyS0"));
        s.port = 2; // "COM 3"
        QCOMPARE(s.portDevice(), QByteArray("/dev/ttyS2"));
        s.device = "/dev/serial/by-id/usb-FTDI";
        QCOMPARE(s.portDevice(), s.device);
    }

    // Random bytes, with good frames mixed in, never crash the receiver, never
    // reach the transfer unless they are a good frame from the phone, and never
    // pile up in the buffer.
    void randomInput() {
        Rig r;
        r.link.setTracing(false);
        QRandomGenerator rng(0x7110);
        qsizetype largest = 0;
        int good = 0;
        for (int round = 0; round < 20000; ++round) {
            QByteArray chunk;
            switch (rng.bounded(4)) {
            case 0: { // noise, with start bytes now and then
                chunk.resize(rng.bounded(1, 64));
                for (char& c : chunk)
                    c = rng.bounded(8) == 0 ? FrameStart : char(rng.bounded(256));
                break;
            }
            case 1: { // a good phonebook frame from the phone
                QByteArray data(rng.bounded(0, 40), 'd');
                chunk = fromPhone(TypeMemory, data, quint8(rng.bounded(256)));
                ++good;
                break;
            }
            case 2: { // a good frame of any type, any addresses
                QByteArray data(rng.bounded(0, 300), 'e');
                data.truncate(MaxFrameData);
                chunk = buildFrame(quint8(rng.bounded(256)), data, quint8(rng.bounded(256)),
                                   quint8(rng.bounded(256)),
                                   Route{quint8(rng.bounded(2) ? 0x2A : rng.bounded(256)),
                                         quint8(rng.bounded(2) ? 0x00 : rng.bounded(256))});
                break;
            }
            default: { // a good frame, damaged
                chunk = fromPhone(TypeMemory, QByteArray(rng.bounded(0, 20), 'f'));
                chunk[rng.bounded(int(chunk.size()))] = char(rng.bounded(256));
                break;
            }
            }
            // Delivered in pieces of any size.
            for (qsizetype at = 0; at < chunk.size();) {
                const qsizetype n = rng.bounded(1, 80);
                r.receive(chunk.mid(at, n));
                at += n;
                largest = std::max(largest, r.link.rxBuffer().size());
            }
        }
        for (const QByteArray& f : r.answers.frames) {
            QVERIFY(checkFrame(f));
            QCOMPARE(frameType(f), TypeMemory);
            QCOMPARE(frameSource(f), AddrPhone);
            QCOMPARE(frameDestination(f), AddrTE);
        }
        QVERIFY(r.answers.frames.size() > good / 4); // noise costs some, not most
        QVERIFY2(largest <= frameSize(255), QByteArray::number(largest));
    }
};
LINKTEST(TestReceiver)

#include "tst_receiver.moc"
