#include "link/Frame.h"

#include "LinkTestMain.h"

#include <QTest>

using namespace quorix::link;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

} // namespace

class TestFrame : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linkOpeningFrameBytes() {
        const QByteArray f = buildFrame(TypeStatus, hex("00010001"), 1, makeSequenceByte(1, false));
        QCOMPARE(f.toHex(' '), QByteArray("1e 00 2a 04 00 06 00 01 00 01 01 41 35 43"));
        QVERIFY(checkFrame(f));
        QCOMPARE(fbusChecksum(f), hex("3543"));
    }

    void frameSizes() {
        // No data: L = 2, ten bytes.
        const QByteArray empty = buildFrame(TypeMemory, {}, 1, 0x40);
        QCOMPARE(empty.size(), 10);
        QCOMPARE(frameLength(empty), quint8(2));
        QVERIFY(checkFrame(empty));

        // Odd data length: a 0x00 pad byte before the checksum, size stays even.
        const QByteArray odd = buildFrame(TypeMemory, hex("aabbcc"), 1, 0x42);
        QCOMPARE(odd.size(), 14);
        QCOMPARE(odd.mid(9, 3), hex("014200")); // fragment, sequence, pad
        QCOMPARE(fragmentByte(odd), quint8(1));
        QCOMPARE(sequenceByte(odd), quint8(0x42));
        QVERIFY(checkFrame(odd));
        QCOMPARE(frameData(odd), hex("aabbcc"));

        // Even data length: no pad byte.
        QCOMPARE(buildFrame(TypeMemory, hex("aabb"), 1, 0x40).size(), 12);

        // The largest frame the length byte can describe, and one byte more.
        const QByteArray big(MaxFrameData, 'x');
        QCOMPARE(buildFrame(TypeMemory, big, 1, 0x40).size(), frameSize(255));
        QVERIFY(buildFrame(TypeMemory, big + 'x', 1, 0x40).isEmpty());
    }

    void sequenceBytes() {
        QCOMPARE(makeSequenceByte(1, false), quint8(0x41));
        QCOMPARE(makeSequenceByte(7, true), quint8(0x07));
        QCOMPARE(makeSequenceByte(8, false), quint8(0x40));
    }

    void acknowledgement() {
        // A type 0x03 frame with sequence number 2 (first frame of its message).
        const QByteArray received = buildFrame(TypeMemory, hex("011b00"), 1, 0x42, FromPhone);
        QCOMPARE(buildAck(received).toHex(' '), QByteArray("1e 00 2a 7f 00 02 03 02 37 7f"));
        // The 0x40 bit never reaches the acknowledgement.
        const QByteArray odd = buildFrame(TypeStatus, hex("01"), 1, 0x47, FromPhone);
        const QByteArray ack = buildAck(odd);
        QCOMPARE(ack.size(), 10);
        QCOMPARE(ack.mid(6, 2), hex("0407"));
        QVERIFY(checkFrame(ack));
        // The phone's acknowledgement of ours, as a virtual phone sends it.
        const QByteArray phoneAck = buildAck(buildFrame(TypeStatus, {}, 1, 0x41), FromPhone);
        QCOMPARE(phoneAck.left(3), hex("1e2a00"));
        QVERIFY(checkFrame(phoneAck));
    }

    void checkframeRejects() {
        QByteArray f = buildFrame(TypeMemory, hex("0102"), 1, 0x40);
        f[6] = 0x09;
        QVERIFY(!checkFrame(f));
        QVERIFY(!checkFrame(QByteArray()));
        QVERIFY(!checkFrame(hex("1e")));
    }

    void cutting() {
        const QByteArray a = buildFrame(TypeMemory, hex("010203"), 1, 0x40, FromPhone);
        const QByteArray b = buildFrame(TypeAck, hex(""), 3, 1, FromPhone);

        // Split over several deliveries: nothing until the last byte is there.
        QByteArray buffer;
        for (int i = 0; i + 1 < a.size(); ++i) {
            buffer.append(a[i]);
            QVERIFY(!cutFrame(buffer));
        }
        buffer.append(a.back());
        QCOMPARE(cutFrame(buffer), a);
        QVERIFY(buffer.isEmpty());

        // Garbage in front goes with the frame; two frames come out in order.
        buffer = hex("0055ff") + a + b + hex("1e00");
        QCOMPARE(cutFrame(buffer), a);
        QCOMPARE(cutFrame(buffer), b);
        QVERIFY(!cutFrame(buffer));
        QCOMPARE(buffer, hex("1e00")); // the start of a frame stays for later

        // Bytes without any start byte can never become a frame.
        buffer = hex("0102030405");
        QVERIFY(!cutFrame(buffer));
        QVERIFY(buffer.isEmpty());

        // A false start byte claims as many bytes as its length says; the checksum
        // then fails and those bytes are gone, as on the real line.
        buffer = hex("1e0000000004") + a;
        const auto bogus = cutFrame(buffer);
        QVERIFY(bogus);
        QCOMPARE(bogus->size(), 12);
        QVERIFY(!checkFrame(*bogus));
    }

    void fieldReadersStayInside() {
        const QByteArray shortFrame = hex("1e002a03");
        QCOMPARE(frameLength(shortFrame), quint8(0));
        QCOMPARE(sequenceByte(shortFrame), quint8(0));
        QVERIFY(frameData(shortFrame).isEmpty());
        // A length byte claiming more than there is reads only what exists.
        QCOMPARE(frameData(hex("1e002a0300ff0102")), hex("0102"));
    }
};
LINKTEST(TestFrame)

#include "tst_frame.moc"
