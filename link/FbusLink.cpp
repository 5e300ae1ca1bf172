#include "link/FbusLink.h"

#include "link/CommPortDriver.h"
#include "link/FbusTransmitter.h"
#include "link/Frame.h"
#include "link/Trace.h"

#include <QPointer>

namespace quorix::link {

QByteArray LinkSettings::portDevice() const {
    if (!device.isEmpty())
        return device;
    return QByteArray::fromStdString(serial::comPortName(qBound(0, port, 3) + 1));
}

FbusLink::FbusLink(TCommPortDriver& serial, Clock& clock, QObject* parent)
    : QObject(parent), serial_(serial), clock_(clock) {
    serial_.OnReceiveData = [this](TCommPortDriver* sender, const char* data, quint32 size) {
        SerialReceiveData(sender, data, size);
    };
    startTimer_.setSingleShot(true);
    // A coarse timer may end up to 5 % early; the phone gets its full second.
    startTimer_.setTimerType(Qt::PreciseTimer);
    startTimer_.setInterval(StartDelayMs);
    connect(&startTimer_, &QTimer::timeout, this, &FbusLink::finishStart);
}

FbusLink::~FbusLink() {
    closelink();
    serial_.OnReceiveData = nullptr;
}

void FbusLink::fbusinit(const LinkSettings& settings, LinkListener* listener) {
    startTimer_.stop();
    listener_ = listener;
    if (listener_)
        listener_->showStatus("Opening serial port...");
    serial_.setBaudRateValue(115200);
    serial_.setHwFlow(TCommPortDriver::hfNONE);
    serial_.setSwFlow(TCommPortDriver::sfNONE);
    if (settings.device.isEmpty())
        serial_.setPort(
            TCommPortDriver::PortNumber(TCommPortDriver::pnCOM1 + qBound(0, settings.port, 3)));
    else
        serial_.setPortName(settings.device);
    serial_.Connect(); // whether it opened is decided after the wait
    // DAU-9P draws its power from DTR; DLR-3 wants both lines low.
    serial_.SetDTR(settings.cable == CableDAU9P);
    serial_.SetRTS(false);
    startTimer_.start();
}

bool FbusLink::starting() const {
    return startTimer_.isActive();
}

void FbusLink::finishStart() {
    LinkListener* listener = listener_;
    listener_ = nullptr;
    txseq_ = 1;
    if (!serial_.Connected()) {
        if (listener) {
            listener->showError("Error",
                                "Could not open serial port!\rPlease check configuration!");
            listener->showStatus("Error opening serial port!");
            listener->linkStarted(false);
        }
        return;
    }
    serial_.SendString(QByteArray(WakeBytes, 0x55));
    txwindow_ = 1;
    if (!trx_)
        trx_ = std::make_unique<Tfbustrx>(serial_, clock_);
    trx_->setTxwindow(txwindow_);
    sendframe(TypeStatus, QByteArray::fromHex("00010001"), 1, false);
    if (listener)
        listener->linkStarted(true);
}

void FbusLink::closelink() {
    startTimer_.stop();
    listener_ = nullptr;
    trx_.reset(); // waits for the thread
    serial_.Disconnect();
}

bool FbusLink::sendframe(quint8 type, const QByteArray& data, quint8 fragment, bool followon) {
    const QByteArray f = buildframe(type, data, fragment, sequencebyte(txseq_, followon));
    if (f.isEmpty())
        return false;
    txseq_ = (txseq_ + 1) & 7;
    traceframe(f);
    queueframe(f);
    return true;
}

void FbusLink::sendack(const QByteArray& received) {
    queueframe(buildack(received));
}

void FbusLink::queueframe(const QByteArray& frame) {
    // No transmitter yet (the phone talked during the start-up wait) or the port
    // closed: there is nobody to write the frame, so it is dropped.
    if (!serial_.Connected() || !trx_)
        return;
    trx_->PutFrame(frame);
    trx_->SetEvent();
}

void FbusLink::traceframe(const QByteArray& frame) {
    if (!dodebug_ || !log_)
        return;
    const QByteArray record = link::traceframe(frame, clock_.now());
    if (!record.isEmpty())
        log_(record);
}

void FbusLink::SerialReceiveData(TCommPortDriver*, const char* data, quint32 size) {
    lastrxtime_ = clock_.now();
    collectframes(QByteArray(data, qsizetype(size)));
}

void FbusLink::collectframes(const QByteArray& bytes) {
    rxbuffer_.append(bytes);
    if (dodebug_ && log_)
        log_(receivedline(clock_.now()));
    // Handling a frame may close the link or even destroy it (a transfer that
    // ends); stop cutting then.
    QPointer<FbusLink> alive(this);
    while (alive) {
        const std::optional<QByteArray> frame = cutframe(rxbuffer_);
        if (!frame)
            break;
        if (checkframe(*frame))
            parseframe(*frame);
    }
}

void FbusLink::parseframe(const QByteArray& frame) {
    traceframe(frame);
    if (frameSource(frame) != AddrPhone || frameDestination(frame) != AddrTE)
        return;
    const quint8 type = frameType(frame);
    if (type != TypeAck)
        sendack(frame);
    if (type == TypeAck) {
        if (trx_)
            trx_->AckSlot(frameByte(frame, 7) & 7);
    } else if (type == TypeMemory && phonebook_) {
        QPointer<FbusLink> alive(this);
        phonebook_->phonebookanswer(frame);
        if (!alive)
            return;
    }
    if (observer_)
        observer_(frame);
}

} // namespace quorix::link
