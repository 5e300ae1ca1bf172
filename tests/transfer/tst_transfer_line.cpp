// Whole transfers through the real port, transmit thread and receiver against
// quorix-phonesim, which logs every frame it receives with the time it arrived:
// what the phone sees must not depend on how the program takes in its answers,
// and the frames of one write request must reach it at least 100 ms apart.
#include "link/FbusLink.h"
#include "link/Frame.h"
#include "link/SerialPort.h"
#include "model/BookModel.h"
#include "transfer/Transfer.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using namespace quorix;
using namespace quorix::transfer;

namespace {

const QString Program = QStringLiteral(QUORIX_PHONESIM);

struct SilentUi : TransferUi {
    QByteArrayList errors;
    void showStatus(const QByteArray&) override {}
    void showError(const QByteArray&, const QByteArray& text) override { errors << text; }
    void askTimeout(const QByteArray&, const QByteArray& text) override { errors << text; }
};

// One frame as the phone logged it on arrival.
struct Arrival {
    double seconds = 0;
    QByteArray frame;
};

// Reads the phone's book into a fresh book and writes it back, with the given
// receiver; gives every frame the phone received, in order.
QList<Arrival> readAndWrite(link::SerialPort::ReceiveMode mode, int names, QString& failure) {
    QProcess phone;
    phone.start(Program, {"--generate", QString::number(names), "--memory", QString::number(names),
                          "--verbose"});
    QByteArray line;
    while (!line.contains('\n') && phone.waitForReadyRead(5000))
        line += phone.readAllStandardOutput();
    const QByteArray device = line.left(line.indexOf('\n'));
    if (!device.startsWith("/dev/")) {
        failure = QStringLiteral("no device from quorix-phonesim");
        return {};
    }

    link::SerialPort serial;
    serial.setReceiveMode(mode);
    link::FbusLink fbus(serial);
    link::LinkSettings settings;
    settings.device = device;
    FbusTransferLink transferLink(fbus, [&] { return settings; });
    BookModel model;
    SilentUi ui;
    Transfer transfer(transferLink, model, ui);
    QSignalSpy finished(&transfer, &Transfer::finished);
    for (const bool write : {false, true}) {
        // Opening the port again purges it; the acknowledgements of the read's
        // last answer must have reached the phone by then.
        if (write)
            QTest::qWait(300);
        finished.clear();
        write ? transfer.startWrite() : transfer.startRead();
        if (!finished.wait(60000) || !transfer.report().completed() ||
            model.book().entryCount() != names) {
            failure = QStringLiteral("the %1 failed: %2")
                          .arg(write ? "write" : "read", QString::fromLatin1(ui.errors.join('|')));
            return {};
        }
    }
    phone.terminate();
    phone.waitForFinished(5000);

    // "   12.3456 recv 1E 00 ... | what it was"
    QList<Arrival> arrivals;
    for (const QByteArray& l : phone.readAllStandardError().split('\n')) {
        const QList<QByteArray> words = l.simplified().split(' ');
        if (words.size() < 3 || words[1] != "recv")
            continue;
        const qsizetype bar = l.indexOf('|');
        const qsizetype start = l.indexOf("recv ") + 5;
        arrivals.push_back(
            {words[0].toDouble(), QByteArray::fromHex(l.mid(start, bar < 0 ? -1 : bar - start))});
    }
    return arrivals;
}

QList<QByteArray> framesOf(const QList<Arrival>& arrivals) {
    QList<QByteArray> out;
    for (const Arrival& a : arrivals)
        out << a.frame;
    return out;
}

// The time between each frame of a request spread over several frames and the
// frame before it.
QList<double> gapsWithinRequests(const QList<Arrival>& arrivals) {
    QList<double> gaps;
    const Arrival* previous = nullptr; // the last frame of ours that was not an acknowledgement
    for (const Arrival& a : arrivals) {
        if (link::isAck(a.frame))
            continue;
        const bool first = link::sequenceByte(a.frame) & 0x40;
        if (previous && !first && link::frameType(a.frame) == link::TypeMemory &&
            link::fragmentByte(previous->frame) == link::fragmentByte(a.frame) + 1)
            gaps << a.seconds - previous->seconds;
        previous = &a;
    }
    return gaps;
}

} // namespace

class TestTransferLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void thePhoneSeesTheSameBytesWithEitherReceiver() {
        QString failure;
        const QList<Arrival> polled = readAndWrite(link::SerialPort::ReceivePolled, 15, failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const QList<Arrival> notified =
            readAndWrite(link::SerialPort::ReceiveNotified, 15, failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        // Link opening, memory information and 15 reads, each acknowledged, and
        // the same again for the write, whose requests may take several frames.
        QVERIFY(polled.size() > 4 * 17);
        const QList<QByteArray> a = framesOf(polled), b = framesOf(notified);
        qsizetype differ = 0;
        while (differ < a.size() && differ < b.size() && a[differ] == b[differ])
            ++differ;
        QVERIFY2(a == b, qPrintable(QStringLiteral("frame %1 of %2/%3: polled %4, notified %5")
                                        .arg(differ)
                                        .arg(a.size())
                                        .arg(b.size())
                                        .arg(QString::fromLatin1(a.value(differ).toHex(' ')),
                                             QString::fromLatin1(b.value(differ).toHex(' ')))));
        QVERIFY(!gapsWithinRequests(notified).isEmpty());
    }

    void framesOfOneWriteRequestReachThePhoneAtLeast100MsApart() {
        QString failure;
        const QList<Arrival> arrivals =
            readAndWrite(link::SerialPort::ReceiveNotified, 40, failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QList<double> gaps = gapsWithinRequests(arrivals);
        QVERIFY(gaps.size() >= 10);
        std::sort(gaps.begin(), gaps.end());
        qInfo("%lld pauses at the phone: min %.1f ms, median %.1f ms, max %.1f ms", gaps.size(),
              gaps.first() * 1000, gaps[gaps.size() / 2] * 1000, gaps.last() * 1000);
        // The phone stamps a frame when its process gets to read it, rounded to a
        // tenth of a millisecond. On a loaded machine that stamp can come a few
        // milliseconds late, and a late first frame shortens the gap seen after
        // it, so single gaps get a little room; pauses that are really short
        // (timed from queueing, or by a coarse timer firing early) pull the
        // median under 100 ms as well.
        QVERIFY2(gaps.first() >= 0.095, qPrintable(QString::number(gaps.first() * 1000)));
        QVERIFY2(gaps[gaps.size() / 2] >= 0.100,
                 qPrintable(QString::number(gaps[gaps.size() / 2] * 1000)));
    }
};

QTEST_GUILESS_MAIN(TestTransferLine)
#include "tst_transfer_line.moc"
