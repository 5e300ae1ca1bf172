#include "link/CommPortDriver.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace quorix::link {

namespace {

constexpr quint32 MinBufSize = 128;
constexpr quint32 MaxBufSize = 8192;
constexpr quint16 MinPollingDelay = 5;

quint32 clampBuf(quint32 size) {
    return std::clamp(size, MinBufSize, MaxBufSize);
}

} // namespace

TCommPortDriver::TCommPortDriver(QObject* parent)
    : QObject(parent), portName_(QByteArray::fromStdString(serial::comPortName(2))) {
    rxBuffer_.assign(inBufSize_, 0);
    poll_.setInterval(pollingDelay_);
    connect(&poll_, &QTimer::timeout, this, &TCommPortDriver::PollReceive);
}

TCommPortDriver::~TCommPortDriver() {
    Disconnect();
}

quint32 TCommPortDriver::baudOf(BaudRateChoice b) {
    static const quint32 rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return rates[b];
}

std::shared_ptr<serial::Port> TCommPortDriver::handle() const {
    std::lock_guard g(handleMutex_);
    return device_;
}

bool TCommPortDriver::Connected() const {
    return handle() != nullptr;
}

bool TCommPortDriver::Connect() {
    if (Connected())
        return true;
    std::string error;
    std::shared_ptr<serial::Port> port = serial::openPort(portName_.toStdString(), error);
    if (!port) {
        error_ = QByteArray::fromStdString(error);
        return false;
    }
    {
        std::lock_guard g(handleMutex_);
        device_ = port;
    }
    if (!ApplySettings()) {
        std::lock_guard g(handleMutex_);
        device_.reset();
        return false;
    }
    error_.clear();
    poll_.start(pollingDelay_);
    return true;
}

void TCommPortDriver::Disconnect() {
    poll_.stop();
    std::lock_guard g(handleMutex_);
    device_.reset(); // a write still running elsewhere keeps the device until it ends
}

bool TCommPortDriver::ApplySettings() {
    const auto port = handle();
    if (!port)
        return false;
    serial::LineSettings s;
    s.baud = baudRateValue_;
    s.dataBits = 5 + int(dataBits_);
    s.parity = serial::Parity(parity_);
    s.stopBits = serial::StopBits(stopBits_);
    s.dtrOn = enableDTROnOpen_;
    s.rts = hwFlow_ == hfNONERTSON ? serial::Rts::On
            : hwFlow_ == hfRTSCTS  ? serial::Rts::Handshake
                                   : serial::Rts::Off;
    s.xonxoff = swFlow_ == sfXONXOFF;
    s.inBufSize = inBufSize_;
    s.outBufSize = outBufSize_;
    std::string error;
    if (!port->applySettings(s, error)) {
        error_ = QByteArray(portName_ + ": " + QByteArray::fromStdString(error));
        return false;
    }
    return true;
}

void TCommPortDriver::reapply() {
    if (Connected())
        ApplySettings();
}

quint16 TCommPortDriver::freeSpace(serial::Port& port) const {
    const qint64 queued = std::max<qint64>(port.outQueue(), 0);
    return quint16(std::clamp<qint64>(qint64(outBufSize_) - queued, 0, 65535));
}

quint16 TCommPortDriver::OutFreeSpace() const {
    const auto port = handle();
    return port ? freeSpace(*port) : 65535;
}

quint32 TCommPortDriver::SendData(const char* data, quint32 count, quint32 timeoutMs) {
    const auto port = handle();
    if (!port)
        return 0;
    using Steady = std::chrono::steady_clock;
    auto lastProgress = Steady::now();
    quint32 written = 0;
    while (written < count) {
        const quint16 space = freeSpace(*port);
        if (space > 0) {
            if (checkLineStatus_ && port->modemStatus() == 0)
                break;
            const qint64 n = port->write(data + written, std::min<quint32>(count - written, space));
            if (n > 0) {
                written += quint32(n);
                lastProgress = Steady::now();
                continue;
            }
        }
        if (Steady::now() - lastProgress > std::chrono::milliseconds(timeoutMs))
            break;
        // The driver is full: give it a moment rather than spinning on it.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return written;
}

bool TCommPortDriver::SendString(const QByteArray& bytes) {
    return SendData(bytes.constData(), quint32(bytes.size()), outputTimeout_) ==
           quint32(bytes.size());
}

bool TCommPortDriver::PurgeBuffers(bool rx, bool tx) {
    const auto port = handle();
    return port && port->purge(rx, tx);
}

void TCommPortDriver::SetDTR(bool on) {
    if (const auto port = handle())
        port->setDTR(on);
}

void TCommPortDriver::SetRTS(bool on) {
    if (const auto port = handle())
        port->setRTS(on);
}

unsigned TCommPortDriver::LineStatus() const {
    const auto port = handle();
    return port ? port->modemStatus() : 0;
}

void TCommPortDriver::PollReceive() {
    const auto port = handle();
    if (!port)
        return;
    qint64 waiting = port->inQueue();
    if (waiting == 0)
        return;
    if (waiting < 0) // the driver cannot tell: read what fits
        waiting = qint64(rxBuffer_.size());
    const qint64 got =
        port->read(rxBuffer_.data(), size_t(std::min<qint64>(waiting, qint64(rxBuffer_.size()))));
    // A failed read is left alone: the bytes come with a later poll if still there.
    if (got > 0 && OnReceiveData)
        OnReceiveData(this, rxBuffer_.data(), quint32(got));
}

void TCommPortDriver::setPort(PortNumber p) {
    if (Connected())
        return;
    port_ = p;
    if (p != pnCustom)
        portName_ = QByteArray::fromStdString(serial::comPortName(int(p)));
}

void TCommPortDriver::setPortName(const QByteArray& name) {
    if (Connected())
        return;
    portName_ = name;
    port_ = pnCustom;
}

void TCommPortDriver::setBaudRate(BaudRateChoice b) {
    baudRate_ = b;
    if (b != brCustom)
        baudRateValue_ = baudOf(b);
    reapply();
}

void TCommPortDriver::setBaudRateValue(quint32 bps) {
    baudRateValue_ = bps;
    baudRate_ = brCustom;
    reapply();
}

void TCommPortDriver::setDataBits(DataBitsChoice d) {
    dataBits_ = d;
    reapply();
}

void TCommPortDriver::setStopBits(StopBitsChoice s) {
    stopBits_ = s;
    reapply();
}

void TCommPortDriver::setParity(ParityChoice p) {
    parity_ = p;
    reapply();
}

void TCommPortDriver::setHwFlow(HwFlowChoice h) {
    hwFlow_ = h;
    reapply();
}

void TCommPortDriver::setSwFlow(SwFlowChoice s) {
    swFlow_ = s;
    reapply();
}

void TCommPortDriver::setInBufSize(quint32 size) {
    if (Connected())
        return;
    inBufSize_ = clampBuf(size);
    rxBuffer_.assign(inBufSize_, 0);
}

void TCommPortDriver::setOutBufSize(quint32 size) {
    if (Connected())
        return;
    outBufSize_ = clampBuf(size);
}

void TCommPortDriver::setPollingDelay(quint16 ms) {
    ms = std::max(ms, MinPollingDelay);
    if (ms == pollingDelay_)
        return;
    pollingDelay_ = ms;
    if (Connected())
        poll_.start(pollingDelay_);
}

} // namespace quorix::link
