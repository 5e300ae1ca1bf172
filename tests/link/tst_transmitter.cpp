#include "link/ByteWriter.h"
#include "link/Clock.h"
#include "link/FbusTransmitter.h"
#include "link/Frame.h"

#include "LinkTestMain.h"

#include <QElapsedTimer>
#include <QTest>

#include <mutex>
#include <vector>

using namespace quorix::link;

namespace {

// Records what the transmitter writes, with the clock's time of each write.
class Recorder : public ByteWriter {
public:
    explicit Recorder(Clock& clock) : clock_(clock) {}
    bool sendBytes(const QByteArray& bytes) override {
        std::lock_guard g(m_);
        writes_.push_back({bytes, clock_.now()});
        return true;
    }
    struct Write {
        QByteArray frame;
        quint32 time;
    };
    std::vector<Write> writes() const {
        std::lock_guard g(m_);
        return writes_;
    }
    // The frames written, by their sequence number, as "1,2,1" ("a3" for the
    // acknowledgement of sequence number 3).
    QByteArray order() const {
        QByteArrayList out;
        for (const Write& w : writes()) {
            out << (isAck(w.frame) ? "a" + QByteArray::number(frameByte(w.frame, 7))
                                   : QByteArray::number(sequenceNumber(w.frame)));
        }
        return out.join(',');
    }

private:
    Clock& clock_;
    mutable std::mutex m_;
    std::vector<Write> writes_;
};

QByteArray frame(int seq) {
    return buildFrame(TypeMemory, "req", 1, makeSequenceByte(seq, false));
}
QByteArray ackOf(int seq) {
    return buildAck(buildFrame(TypeMemory, "x", 1, makeSequenceByte(seq, false), FromPhone));
}

// One transmitter on a clock the test moves; every step waits until the thread
// has done all it can before the clock moves again.
struct Rig {
    ManualClock clock;
    Recorder port{clock};
    // What the transmitter reports as written, and when.
    std::mutex reportMutex;
    std::vector<Recorder::Write> reported;
    FbusTransmitter trx{port, clock, [this](const QByteArray& f, quint32 at) {
                            std::lock_guard g(reportMutex);
                            reported.push_back({f, at});
                        }};
    std::vector<Recorder::Write> reports() {
        std::lock_guard g(reportMutex);
        return reported;
    }

    void put(const QByteArray& f) {
        QVERIFY(trx.putFrame(f));
        trx.setEvent();
        settle();
    }
    void advance(quint32 ms) {
        clock.advance(ms);
        settle();
    }
    void advanceTo(quint32 t) { advance(t - clock.now()); }
    void ack(int seq) {
        trx.acknowledge(seq);
        settle();
    }
    void settle() { QVERIFY(clock.settle()); }
};

} // namespace

class TestTransmitter : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void framesGoOutInOrderWithTenMsPerAwaitedFrame() {
        Rig r;
        const quint32 t0 = r.clock.now();
        r.put(frame(1));
        QCOMPARE(r.port.order(), QByteArray("1"));
        QCOMPARE(r.port.writes()[0].time, t0); // nothing awaited: at once
        r.put(frame(2));
        QCOMPARE(r.port.order(), QByteArray("1")); // one frame awaited: 10 ms first
        r.advance(9);
        QCOMPARE(r.port.order(), QByteArray("1"));
        r.advance(1);
        QCOMPARE(r.port.order(), QByteArray("1,2"));
        QCOMPARE(r.port.writes()[1].time, t0 + 10);
        QCOMPARE(r.trx.awaitingAck(), 2);
    }

    void everyWriteIsReportedWithTheTimeItWentOut() {
        Rig r;
        const quint32 t0 = r.clock.now();
        r.put(frame(1));
        r.put(frame(2));
        r.advance(10);
        r.put(frame(3)); // held back by the window until the first is acknowledged
        r.advance(300);
        r.ack(1);
        r.advance(10);
        r.put(ackOf(5));
        const auto writes = r.port.writes();
        const auto reports = r.reports();
        QCOMPARE(r.port.order(), QByteArray("1,2,3,a5"));
        QCOMPARE(reports.size(), writes.size());
        for (size_t i = 0; i < writes.size(); ++i) {
            QCOMPARE(reports[i].frame, writes[i].frame);
            QCOMPARE(reports[i].time, writes[i].time);
        }
        // Queued at t0 + 10, written only when the window let it go.
        QCOMPARE(reports[2].time, t0 + 320);
    }

    void windowOfOneHoldsTheThirdFrame() {
        Rig r;
        r.put(frame(1));
        r.put(frame(2));
        r.advance(10);
        r.put(frame(3));
        r.advance(500);
        QCOMPARE(r.port.order(), QByteArray("1,2"));
        QCOMPARE(r.trx.queued(), 1);
        // The acknowledgement of the first lets the third go, 10 ms later.
        r.ack(1);
        QCOMPARE(r.port.order(), QByteArray("1,2"));
        r.advance(10);
        QCOMPARE(r.port.order(), QByteArray("1,2,3"));
        QCOMPARE(r.trx.queued(), 0);
    }

    void overdueFramesRepeatWhileAFurtherFrameWaits() {
        Rig r;
        const quint32 t0 = r.clock.now();
        r.put(frame(1));
        r.put(frame(2));
        r.advance(10);
        r.put(frame(3));
        // Written again once more than 1000 ms old, each ahead of the waiting third.
        r.advanceTo(t0 + 1000);
        QCOMPARE(r.port.order(), QByteArray("1,2"));
        r.advanceTo(t0 + 1001);
        QCOMPARE(r.port.order(), QByteArray("1,2,1"));
        r.advanceTo(t0 + 1011);
        QCOMPARE(r.port.order(), QByteArray("1,2,1,2"));
        // And about every second after that, as long as nothing is acknowledged.
        for (int step = 0; step < 600; ++step)
            r.advance(5);
        const auto writes = r.port.writes();
        QCOMPARE(r.port.order(), QByteArray("1,2,1,2,1,2,1,2"));
        for (size_t i = 0; i + 2 < writes.size(); ++i) {
            const quint32 gap = writes[i + 2].time - writes[i].time;
            QVERIFY2(gap > 1000 && gap <= 1100, QByteArray::number(gap));
        }
        QCOMPARE(r.trx.queued(), 1);
        // Once both are acknowledged the third goes out and nothing repeats.
        r.ack(1);
        r.ack(2);
        r.advance(10);
        QCOMPARE(r.port.order().right(2), QByteArray(",3"));
        const size_t count = r.port.writes().size();
        r.advance(5000);
        QCOMPARE(r.port.writes().size(), count);
    }

    void anUnansweredFrameAloneIsWrittenOnce() {
        Rig r;
        r.put(frame(1));
        for (int i = 0; i < 10; ++i)
            r.advance(1000);
        QCOMPARE(r.port.order(), QByteArray("1"));
        QCOMPARE(r.trx.awaitingAck(), 1);
    }

    void anOverdueFrameGoesAheadOfALaterOne() {
        Rig r;
        r.put(frame(1));
        r.advance(1500);
        r.put(frame(2));
        QCOMPARE(r.port.order(), QByteArray("1,1"));
        r.advance(10);
        QCOMPARE(r.port.order(), QByteArray("1,1,2"));
    }

    void acknowledgementsGoFirst() {
        Rig r;
        r.put(frame(1));
        r.put(frame(2));
        r.advance(10);
        r.put(frame(3)); // held back by the window
        r.put(ackOf(5));
        // Behind the held frame it waits; but once at the head it goes at once.
        QCOMPARE(r.port.order(), QByteArray("1,2"));
        Rig q;
        q.put(frame(1));
        q.put(frame(2));
        q.advance(10);
        q.put(ackOf(5)); // nothing queued before it: out at once, two frames awaited
        QCOMPARE(q.port.order(), QByteArray("1,2,a5"));
        QCOMPARE(q.trx.awaitingAck(), 2);
    }

    void acknowledgementsOfOtherNumbersChangeNothing() {
        Rig r;
        r.put(frame(1));
        r.put(frame(2));
        r.advance(10);
        r.put(frame(3));
        r.ack(6);
        r.ack(-1);
        r.ack(8);
        r.advance(100);
        QCOMPARE(r.port.order(), QByteArray("1,2"));
        QCOMPARE(r.trx.awaitingAck(), 2);
    }

    void aFullQueueLosesFurtherFrames() {
        Rig r;
        r.put(frame(1));
        r.put(frame(2));
        r.advance(10);
        for (int i = 0; i < FbusTransmitter::MaxQueued; ++i)
            QVERIFY(r.trx.putFrame(frame(3 + i)));
        QVERIFY(!r.trx.putFrame(frame(0)));
        QCOMPARE(r.trx.queued(), FbusTransmitter::MaxQueued);
        // Repeating an overdue frame in front of a full queue keeps the queue whole.
        r.trx.setEvent();
        r.advance(1001);
        r.advance(10);
        QCOMPARE(r.port.order(), QByteArray("1,2,1,2"));
        QCOMPARE(r.trx.queued(), FbusTransmitter::MaxQueued);
        r.advance(1001); // the slot of 1 is freed now; 1 goes out on the next pass
        r.advance(10);
        r.advance(10);
        QCOMPARE(r.trx.queued(), FbusTransmitter::MaxQueued);
    }

    void endingAnswersThePhoneAndDropsTheRest() {
        ManualClock clock;
        Recorder port(clock);
        auto trx = std::make_unique<FbusTransmitter>(port, clock);
        QVERIFY(clock.settle());
        // Queued without waking the thread: still there when it is told to end.
        QVERIFY(trx->putFrame(frame(1)));
        QVERIFY(trx->putFrame(ackOf(4)));
        trx->terminate();
        QCOMPARE(trx->waitFor(), FbusTransmitter::ExitCode);
        QCOMPARE(port.order(), QByteArray("a4"));
        trx.reset();
    }

    void endsPromptlyWhenIdle() {
        Recorder port(systemClock());
        FbusTransmitter trx(port);
        QElapsedTimer t;
        t.start();
        trx.terminate();
        QCOMPARE(trx.waitFor(), FbusTransmitter::ExitCode);
        QVERIFY(t.elapsed() < FbusTransmitter::IdleSliceMs);
    }
};
LINKTEST(TestTransmitter)

#include "tst_transmitter.moc"
