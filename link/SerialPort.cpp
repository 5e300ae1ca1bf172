#include "link/SerialPort.h"

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

SerialPort::SerialPort(QObject* parent)
    : QObject(parent), portName_(QByteArray::fromStdString(serial::comPortName(2))) {
    rxBuffer_.assign(inBufSize_, 0);
    poll_.setInterval(pollingDelay_);
    connect(&poll_, &QTimer::timeout, this, &SerialPort::pollReceive);
}

SerialPort::~SerialPort() {
    close();
}

quint32 SerialPort::baudOf(BaudRateChoice b) {
    static const quint32 rates[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                    14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    return rates[b];
}

std::shared_ptr<serial::Port> SerialPort::handle() const {
    std::lock_guard g(handleMutex_);
    return device_;
}

bool SerialPort::isOpen() const {
    return handle() != nullptr;
}

bool SerialPort::open() {
    if (isOpen())
        return true;
    std::string error;
    std::shared_ptr<serial::Port> port =
        serial::openPort(portName_.toStdString(), error, &accessDenied_);
    if (!port) {
        error_ = QByteArray::fromStdString(error);
        return false;
    }
    {
        std::lock_guard g(handleMutex_);
        device_ = port;
    }
    if (!applySettings()) {
        std::lock_guard g(handleMutex_);
        device_.reset();
        return false;
    }
    error_.clear();
    poll_.start(pollingDelay_);
    return true;
}

void SerialPort::close() {
    poll_.stop();
    std::lock_guard g(handleMutex_);
    device_.reset(); // a write still running elsewhere keeps the device until it ends
}

bool SerialPort::applySettings() {
    const auto port = handle();
    if (!port)
        return false;
    serial::LineSettings s;
    s.baud = baudRateValue_;
    s.dataBits = 5 + int(dataBits_);
    s.parity = serial::Parity(parity_);
    s.stopBits = serial::StopBits(stopBits_);
    s.dtrOn = enableDtrOnOpen_;
    s.rts = hwFlow_ == HwFlowRtsOn    ? serial::Rts::On
            : hwFlow_ == HwFlowRtsCts ? serial::Rts::Handshake
                                      : serial::Rts::Off;
    s.xonxoff = swFlow_ == SwFlowXonXoff;
    s.inBufSize = inBufSize_;
    s.outBufSize = outBufSize_;
    std::string error;
    if (!port->applySettings(s, error)) {
        error_ = QByteArray(portName_ + ": " + QByteArray::fromStdString(error));
        return false;
    }
    return true;
}

void SerialPort::reapply() {
    if (isOpen())
        applySettings();
}

quint16 SerialPort::freeSpace(serial::Port& port) const {
    const qint64 queued = std::max<qint64>(port.outQueue(), 0);
    return quint16(std::clamp<qint64>(qint64(outBufSize_) - queued, 0, 65535));
}

quint16 SerialPort::outFreeSpace() const {
    const auto port = handle();
    return port ? freeSpace(*port) : 65535;
}

quint32 SerialPort::sendData(const char* data, quint32 count, quint32 timeoutMs) {
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

bool SerialPort::sendBytes(const QByteArray& bytes) {
    return sendData(bytes.constData(), quint32(bytes.size()), outputTimeout_) ==
           quint32(bytes.size());
}

bool SerialPort::purgeBuffers(bool rx, bool tx) {
    const auto port = handle();
    return port && port->purge(rx, tx);
}

void SerialPort::setDtr(bool on) {
    if (const auto port = handle())
        port->setDTR(on);
}

void SerialPort::setRts(bool on) {
    if (const auto port = handle())
        port->setRTS(on);
}

unsigned SerialPort::lineStatus() const {
    const auto port = handle();
    return port ? port->modemStatus() : 0;
}

void SerialPort::pollReceive() {
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
    if (got > 0 && receiveHandler)
        receiveHandler(this, rxBuffer_.data(), quint32(got));
}

void SerialPort::setPort(PortNumber p) {
    if (isOpen())
        return;
    port_ = p;
    if (p != PortCustom)
        portName_ = QByteArray::fromStdString(serial::comPortName(int(p)));
}

void SerialPort::setPortName(const QByteArray& name) {
    if (isOpen())
        return;
    portName_ = name;
    port_ = PortCustom;
}

void SerialPort::setBaudRate(BaudRateChoice b) {
    baudRate_ = b;
    if (b != BaudCustom)
        baudRateValue_ = baudOf(b);
    reapply();
}

void SerialPort::setBaudRateValue(quint32 bps) {
    baudRateValue_ = bps;
    baudRate_ = BaudCustom;
    reapply();
}

void SerialPort::setDataBits(DataBitsChoice d) {
    dataBits_ = d;
    reapply();
}

void SerialPort::setStopBits(StopBitsChoice s) {
    stopBits_ = s;
    reapply();
}

void SerialPort::setParity(ParityChoice p) {
    parity_ = p;
    reapply();
}

void SerialPort::setHwFlow(HwFlowChoice h) {
    hwFlow_ = h;
    reapply();
}

void SerialPort::setSwFlow(SwFlowChoice s) {
    swFlow_ = s;
    reapply();
}

void SerialPort::setInBufSize(quint32 size) {
    if (isOpen())
        return;
    inBufSize_ = clampBuf(size);
    rxBuffer_.assign(inBufSize_, 0);
}

void SerialPort::setOutBufSize(quint32 size) {
    if (isOpen())
        return;
    outBufSize_ = clampBuf(size);
}

void SerialPort::setPollingDelay(quint16 ms) {
    ms = std::max(ms, MinPollingDelay);
    if (ms == pollingDelay_)
        return;
    pollingDelay_ = ms;
    if (isOpen())
        poll_.start(pollingDelay_);
}

} // namespace quorix::link
