#pragma once

#include "link/ByteWriter.h"
#include "link/SerialBackend.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QSocketNotifier;

#include "link/LineRecording.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quorix::link {

// The serial port component. Opens and configures a port, writes with a time-out
// and delivers received bytes on its owner's thread as soon as they arrive: the
// event loop watches the port (POSIX), or a waiting thread of the port wakes it
// (Windows). A poll every pollingDelay() ms stays as the way of the old driver
// (ReceivePolled) and, slower, as a safety net under the notified receiver.
// Reads never block. sendBytes/sendData may be called from the transmit thread
// while the owner's thread reads; everything else belongs to the owner's thread.
class SerialPort : public QObject, public ByteWriter {
    Q_OBJECT
public:
    enum PortNumber {
        PortCustom,
        PortCom1,
        PortCom2,
        PortCom3,
        PortCom4,
        PortCom5,
        PortCom6,
        PortCom7,
        PortCom8,
        PortCom9,
        PortCom10,
        PortCom11,
        PortCom12,
        PortCom13,
        PortCom14,
        PortCom15,
        PortCom16
    };
    enum BaudRateChoice {
        BaudCustom,
        Baud110,
        Baud300,
        Baud600,
        Baud1200,
        Baud2400,
        Baud4800,
        Baud9600,
        Baud14400,
        Baud19200,
        Baud38400,
        Baud56000,
        Baud57600,
        Baud115200,
        Baud128000,
        Baud256000
    };
    enum DataBitsChoice { DataBits5, DataBits6, DataBits7, DataBits8 };
    enum StopBitsChoice { StopBits1, StopBits1Half, StopBits2 };
    enum ParityChoice { ParityNone, ParityOdd, ParityEven, ParityMark, ParitySpace };
    enum HwFlowChoice { HwFlowNone, HwFlowRtsOn, HwFlowRtsCts };
    enum SwFlowChoice { SwFlowNone, SwFlowXonXoff };
    enum LineStatusBit {
        LineCts = serial::LineCTS,
        LineDsr = serial::LineDSR,
        LineRing = serial::LineRING,
        LineRlsd = serial::LineRLSD
    };

    enum ReceiveMode { ReceiveNotified, ReceivePolled };
    // How often the notified receiver still polls, unless pollingDelay is longer.
    static constexpr quint16 SafetyPollMs = 1000;

    // Raised on the owner's thread with the bytes of one read; data is valid only
    // during the call.
    using ReceiveHandler = std::function<void(SerialPort* sender, const char* data, quint32 size)>;
    ReceiveHandler receiveHandler;
    // Raised on the owner's thread when the open device has gone for good, with
    // the system's reason; the port stays open until closed.
    std::function<void(const QByteArray& reason)> lostHandler;

    explicit SerialPort(QObject* parent = nullptr);
    ~SerialPort() override;

    bool open();
    void close();
    bool isOpen() const;
    bool applySettings();

    bool sendBytes(const QByteArray& bytes) override;
    quint32 sendData(const char* data, quint32 count, quint32 timeoutMs);
    quint16 outFreeSpace() const;
    bool purgeBuffers(bool rx, bool tx);
    void setDtr(bool on);
    void setRts(bool on);
    unsigned lineStatus() const; // LineStatusBit set

    // Why the last Connect or ApplySettings failed, in the system's words.
    QByteArray errorString() const { return error_; }
    // Whether the last open failed because the user may not use the device.
    bool accessDenied() const { return accessDenied_; }

    // Properties. Port, PortName and the buffer sizes cannot change while open;
    // line settings changed while open take effect at once.
    PortNumber port() const { return port_; }
    void setPort(PortNumber p);
    QByteArray portName() const { return portName_; }
    void setPortName(const QByteArray& name);
    BaudRateChoice baudRate() const { return baudRate_; }
    void setBaudRate(BaudRateChoice b);
    quint32 baudRateValue() const { return baudRateValue_; }
    void setBaudRateValue(quint32 bps);
    DataBitsChoice dataBits() const { return dataBits_; }
    void setDataBits(DataBitsChoice d);
    StopBitsChoice stopBits() const { return stopBits_; }
    void setStopBits(StopBitsChoice s);
    ParityChoice parity() const { return parity_; }
    void setParity(ParityChoice p);
    HwFlowChoice hwFlow() const { return hwFlow_; }
    void setHwFlow(HwFlowChoice h);
    SwFlowChoice swFlow() const { return swFlow_; }
    void setSwFlow(SwFlowChoice s);
    quint32 inBufSize() const { return inBufSize_; }
    void setInBufSize(quint32 size);
    quint32 outBufSize() const { return outBufSize_; }
    void setOutBufSize(quint32 size);
    quint16 pollingDelay() const { return pollingDelay_; }
    void setPollingDelay(quint16 ms);
    bool enableDtrOnOpen() const { return enableDtrOnOpen_; }
    void setEnableDtrOnOpen(bool on) { enableDtrOnOpen_ = on; }
    quint16 outputTimeout() const { return outputTimeout_; }
    void setOutputTimeout(quint16 ms) { outputTimeout_ = ms; }
    qint32 inputTimeout() const { return inputTimeout_; }
    void setInputTimeout(qint32 ms) { inputTimeout_ = ms; }
    bool checkLineStatus() const { return checkLineStatus_; }
    void setCheckLineStatus(bool on) { checkLineStatus_ = on; }
    // Notified (default) or polled; a change while open takes effect at once.
    ReceiveMode receiveMode() const { return receiveMode_; }
    void setReceiveMode(ReceiveMode mode);

    // Records every byte written and read, and each open and close, until replaced
    // or cleared (null); a port already open is marked open at once.
    void setRecorder(std::shared_ptr<LineRecorder> recorder);
    std::shared_ptr<LineRecorder> recorder() const;

    // Bits per second a BaudRate choice stands for (0 for BaudCustom).
    static quint32 baudOf(BaudRateChoice b);

private:
    void pollReceive();
    void onReadable();
    // Reads what is waiting (all that fits when count < 0) and hands it on.
    qint64 readNow(serial::Port& port, qint64 count);
    // Reports a device that has gone for good; true when it has.
    bool checkGone(serial::Port& port);
    void startReceiving();
    void stopReceiving();
    quint16 pollInterval() const;
    std::shared_ptr<serial::Port> handle() const;
    quint16 freeSpace(serial::Port& port) const;
    void reapply();

    mutable std::mutex handleMutex_; // guards device_ only, never held while waiting
    std::shared_ptr<serial::Port> device_;
    std::shared_ptr<LineRecorder> recorder_; // guarded by handleMutex_ as well
    QTimer poll_;
    QSocketNotifier* notifier_ = nullptr;
    // Where there is no descriptor to watch: a thread waits for bytes and posts
    // one wake-up at a time, the next only once the owner's thread has read.
    std::thread waiter_;
    std::mutex waitMutex_;
    std::condition_variable waitCv_;
    bool waiterStop_ = false;
    bool wakePosted_ = false;
    std::vector<char> rxBuffer_;
    QByteArray error_;
    bool accessDenied_ = false;

    PortNumber port_ = PortCom2;
    QByteArray portName_;
    BaudRateChoice baudRate_ = Baud9600;
    quint32 baudRateValue_ = 9600;
    DataBitsChoice dataBits_ = DataBits8;
    StopBitsChoice stopBits_ = StopBits1;
    ParityChoice parity_ = ParityNone;
    HwFlowChoice hwFlow_ = HwFlowRtsOn;
    SwFlowChoice swFlow_ = SwFlowNone;
    quint32 inBufSize_ = 2048;
    std::atomic<quint32> outBufSize_ = 2048;
    quint16 pollingDelay_ = 50;
    bool enableDtrOnOpen_ = true;
    std::atomic<quint16> outputTimeout_ = 500;
    qint32 inputTimeout_ = 200;
    std::atomic<bool> checkLineStatus_ = false;
    ReceiveMode receiveMode_ = ReceiveNotified;
};

} // namespace quorix::link
