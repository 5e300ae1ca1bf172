#include "link/SerialPort.h"

#include <QSocketNotifier>

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
    if (const auto rec = recorder())
        rec->opened(portName_);
    startReceiving();
    return true;
}

void SerialPort::close() {
    stopReceiving();
    std::shared_ptr<LineRecorder> rec;
    {
        std::lock_guard g(handleMutex_);
        if (!device_)
            return;
        device_.reset(); // a write still running elsewhere keeps the device until it ends
        rec = recorder_;
    }
    if (rec)
        rec->closed();
}

void SerialPort::setRecorder(std::shared_ptr<LineRecorder> recorder) {
    bool open = false;
    {
        std::lock_guard g(handleMutex_);
        recorder_ = recorder;
        open = device_ != nullptr;
    }
    if (recorder && open)
        recorder->opened(portName_);
}

std::shared_ptr<LineRecorder> SerialPort::recorder() const {
    std::lock_guard g(handleMutex_);
    return recorder_;
}

quint16 SerialPort::pollInterval() const {
    if (receiveMode_ == ReceivePolled || (notifier_ && !notifier_->isEnabled()))
        return pollingDelay_;
    return std::max(pollingDelay_, SafetyPollMs);
}

void SerialPort::startReceiving() {
    const auto port = handle();
    if (port && receiveMode_ == ReceiveNotified) {
        const int fd = port->readNotifyDescriptor();
        if (fd >= 0) {
            notifier_ = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
            connect(notifier_, &QSocketNotifier::activated, this, &SerialPort::onReadable);
        } else {
            waiterStop_ = false;
            wakePosted_ = false;
            waiter_ = std::thread([this, port] {
                std::unique_lock lock(waitMutex_);
                while (!waiterStop_) {
                    lock.unlock();
                    const bool arrived = port->waitForInput(SafetyPollMs);
                    lock.lock();
                    if (!arrived || waiterStop_)
                        continue;
                    wakePosted_ = true;
                    QMetaObject::invokeMethod(this, &SerialPort::onReadable, Qt::QueuedConnection);
                    waitCv_.wait(lock, [this] { return !wakePosted_ || waiterStop_; });
                }
            });
        }
    }
    poll_.start(pollInterval());
}

void SerialPort::stopReceiving() {
    poll_.stop();
    if (notifier_) {
        // Closing may happen inside the notifier's own signal (a transfer that
        // ends on an answer), so it goes once that call has returned.
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    if (waiter_.joinable()) {
        {
            std::lock_guard g(waitMutex_);
            waiterStop_ = true;
        }
        waitCv_.notify_all();
        if (const auto port = handle())
            port->cancelWait();
        waiter_.join();
    }
}

void SerialPort::setReceiveMode(ReceiveMode mode) {
    if (mode == receiveMode_)
        return;
    receiveMode_ = mode;
    if (isOpen()) {
        stopReceiving();
        startReceiving();
    }
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
    const auto rec = recorder();
    using Steady = std::chrono::steady_clock;
    auto lastProgress = Steady::now();
    quint32 written = 0;
    while (written < count) {
        const quint16 space = freeSpace(*port);
        if (space > 0) {
            if (checkLineStatus_ && port->modemStatus() == 0)
                break;
            const char* from = data + written;
            const auto write = [&] {
                return port->write(from, std::min<quint32>(count - written, space));
            };
            const qint64 n = rec ? rec->written(from, write) : write();
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
    if (notifier_ && !notifier_->isEnabled()) {
        // Watch the port again; see onReadable().
        notifier_->setEnabled(true);
        poll_.setInterval(pollInterval());
    }
    const qint64 waiting = port->inQueue();
    // When the driver cannot tell, read what fits.
    if (waiting != 0 && readNow(*port, waiting) > 0)
        return;
    checkGone(*port);
}

bool SerialPort::checkGone(serial::Port& port) {
    std::string reason;
    if (!port.gone(reason))
        return false;
    poll_.stop();
    if (notifier_)
        notifier_->setEnabled(false);
    if (lostHandler)
        lostHandler(QByteArray::fromStdString(reason));
    return true;
}

void SerialPort::onReadable() {
    const auto port = handle();
    if (!port)
        return;
    if (waiter_.joinable()) {
        {
            std::lock_guard g(waitMutex_);
            wakePosted_ = false;
        }
        waitCv_.notify_all();
    }
    const qint64 waiting = port->inQueue();
    const bool read = waiting != 0 && readNow(*port, waiting) > 0;
    // Nothing came: the device may have gone for good.
    if (read || checkGone(*port))
        return;
    if (notifier_) {
        // Readable with nothing to read: the other end hung up, and the port would
        // wake us without end. Polling takes over until the next poll re-arms it.
        notifier_->setEnabled(false);
        poll_.setInterval(pollInterval());
    }
}

qint64 SerialPort::readNow(serial::Port& port, qint64 waiting) {
    if (waiting < 0)
        waiting = qint64(rxBuffer_.size());
    const qint64 got =
        port.read(rxBuffer_.data(), size_t(std::min<qint64>(waiting, qint64(rxBuffer_.size()))));
    // A failed read is left alone: the bytes come with a later read if still there.
    if (got > 0)
        if (const auto rec = recorder())
            rec->read(rxBuffer_.data(), got);
    if (got > 0 && receiveHandler)
        receiveHandler(this, rxBuffer_.data(), quint32(got));
    return got;
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
        poll_.start(pollInterval());
}

} // namespace quorix::link
