#include "link/FbusLink.h"

#include "link/FbusTransmitter.h"
#include "link/Frame.h"
#include "link/SerialPort.h"
#include "link/Trace.h"

#include <QPointer>

namespace quorix::link {

QByteArray LinkSettings::portDevice() const {
    if (!device.isEmpty())
        return device;
    return QByteArray::fromStdString(serial::comPortName(qBound(0, port, 3) + 1));
}

FbusLink::FbusLink(SerialPort& serial, Clock& clock, QObject* parent)
    : QObject(parent), serial_(serial), clock_(clock) {
    serial_.receiveHandler = [this](SerialPort* sender, const char* data, quint32 size) {
        onBytesReceived(sender, data, size);
    };
    serial_.lostHandler = [this](const QByteArray& reason) { onPortLost(reason); };
    startTimer_.setSingleShot(true);
    // A coarse timer may end up to 5 % early; the phone gets its full second.
    startTimer_.setTimerType(Qt::PreciseTimer);
    startTimer_.setInterval(StartDelayMs);
    connect(&startTimer_, &QTimer::timeout, this, &FbusLink::finishStart);
}

FbusLink::~FbusLink() {
    stopLink();
    serial_.receiveHandler = nullptr;
    serial_.lostHandler = nullptr;
}

QByteArray FbusLink::openFailureText(const SerialPort& port) {
    // The first line stays as it always was; the device with the system's
    // reason follows, and a hint where the cure is known.
    QByteArray text = "Could not open serial port!\r";
    if (const QByteArray reason = port.errorString(); !reason.isEmpty())
        text += reason + '\r';
    if (port.accessDenied())
        text += "Your user must be in the group \"dialout\".\r";
    return text + "Please check configuration!";
}

void FbusLink::startLink(const LinkSettings& settings, LinkListener* listener) {
    startTimer_.stop();
    listener_ = listener;
    if (listener_)
        listener_->showStatus("Opening serial port...");
    serial_.setBaudRateValue(115200);
    serial_.setHwFlow(SerialPort::HwFlowNone);
    serial_.setSwFlow(SerialPort::SwFlowNone);
    if (settings.device.isEmpty())
        serial_.setPort(SerialPort::PortNumber(SerialPort::PortCom1 + qBound(0, settings.port, 3)));
    else
        serial_.setPortName(settings.device);
    serial_.open(); // whether it opened is decided after the wait
    // DAU-9P draws its power from DTR; DLR-3 wants both lines low.
    serial_.setDtr(settings.cable == CableDAU9P);
    serial_.setRts(false);
    startTimer_.start();
}

bool FbusLink::starting() const {
    return startTimer_.isActive();
}

void FbusLink::finishStart() {
    LinkListener* listener = listener_;
    listener_ = nullptr;
    txSeq_ = 1;
    if (!serial_.isOpen()) {
        if (listener) {
            listener->showError("Error", openFailureText(serial_));
            listener->showStatus("Error opening serial port!");
            listener->linkStarted(false);
        }
        return;
    }
    serial_.sendBytes(QByteArray(WakeBytes, 0x55));
    txWindow_ = 1;
    if (!trx_) {
        trx_ = std::make_unique<FbusTransmitter>(
            serial_, clock_, [this](const QByteArray& frame, quint32 at) {
                // The link outlives its transmitter; a call still queued when the
                // link is destroyed is dropped with it.
                QMetaObject::invokeMethod(
                    this, [this, frame, at] { frameWritten(frame, at); }, Qt::QueuedConnection);
            });
    }
    trx_->setTxWindow(txWindow_);
    sendFrame(TypeStatus, QByteArray::fromHex("00010001"), 1, false);
    if (listener)
        listener->linkStarted(true);
}

void FbusLink::stopLink() {
    startTimer_.stop();
    listener_ = nullptr;
    written_ = nullptr;
    trx_.reset(); // waits for the thread
    serial_.close();
}

bool FbusLink::sendFrame(quint8 type, const QByteArray& data, quint8 fragment, bool followOn) {
    const QByteArray f = buildFrame(type, data, fragment, makeSequenceByte(txSeq_, followOn));
    if (f.isEmpty())
        return false;
    txSeq_ = (txSeq_ + 1) & 7;
    lastSent_ = f;
    traceFrame(f);
    queueFrame(f);
    return true;
}

void FbusLink::whenLastFrameWritten(std::function<void(quint32)> done) {
    awaitedWrite_ = lastSent_;
    written_ = std::move(done);
}

void FbusLink::frameWritten(const QByteArray& frame, quint32 writtenAt) {
    if (!written_ || frame != awaitedWrite_)
        return;
    const auto done = std::move(written_);
    written_ = nullptr;
    done(writtenAt);
}

void FbusLink::sendAck(const QByteArray& received) {
    queueFrame(buildAck(received));
}

void FbusLink::queueFrame(const QByteArray& frame) {
    // No transmitter yet (the phone talked during the start-up wait) or the port
    // closed: there is nobody to write the frame, so it is dropped.
    if (!serial_.isOpen() || !trx_)
        return;
    trx_->putFrame(frame);
    trx_->setEvent();
}

void FbusLink::traceFrame(const QByteArray& frame) {
    if (!tracing_ || !log_)
        return;
    const QByteArray record = link::traceFrame(frame, clock_.now());
    if (!record.isEmpty())
        log_(record);
}

void FbusLink::onPortLost(const QByteArray& reason) {
    const QByteArray device = serial_.portName();
    // The port is dead: close it so nothing more is written to it, then tell
    // whoever waits for answers.
    stopLink();
    if (phonebook_)
        phonebook_->portLost(device, reason);
}

void FbusLink::onBytesReceived(SerialPort*, const char* data, quint32 size) {
    lastRxTime_ = clock_.now();
    collectFrames(QByteArray(data, qsizetype(size)));
}

void FbusLink::collectFrames(const QByteArray& bytes) {
    const bool startsFrame = rxBuffer_.isEmpty();
    rxBuffer_.append(bytes);
    if (tracing_ && log_) {
        const quint32 now = clock_.now();
        if (startsFrame || !receivedLineAt_ || quint32(now - *receivedLineAt_) >= ReceivedLineMs) {
            receivedLineAt_ = now;
            log_(receivedLine(now));
        }
    }
    // Handling a frame may close the link or even destroy it (a transfer that
    // ends); stop cutting then.
    QPointer<FbusLink> alive(this);
    while (alive) {
        const std::optional<QByteArray> frame = cutFrame(rxBuffer_);
        if (!frame)
            break;
        if (checkFrame(*frame))
            parseFrame(*frame);
    }
}

void FbusLink::parseFrame(const QByteArray& frame) {
    traceFrame(frame);
    if (frameSource(frame) != AddrPhone || frameDestination(frame) != AddrTE)
        return;
    lastValidFrameTime_ = clock_.now();
    const quint8 type = frameType(frame);
    if (type != TypeAck)
        sendAck(frame);
    if (type == TypeAck) {
        if (trx_)
            trx_->acknowledge(frameByte(frame, 7) & 7);
    } else if (type == TypeMemory && phonebook_) {
        QPointer<FbusLink> alive(this);
        phonebook_->handlePhonebookAnswer(frame);
        if (!alive)
            return;
    }
    if (observer_)
        observer_(frame);
}

} // namespace quorix::link
