#pragma once

#include "link/ByteWriter.h"
#include "link/SerialBackend.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace quorix::link {

// The serial port component. Opens and configures a port, writes with a time-out
// and delivers received bytes on its owner's thread by polling a port that never
// blocks. SendString/SendData may be called from the transmit thread while the
// owner's thread polls; everything else belongs to the owner's thread.
class TCommPortDriver : public QObject, public ByteWriter {
    Q_OBJECT
public:
    enum PortNumber {
        pnCustom,
        pnCOM1,
        pnCOM2,
        pnCOM3,
        pnCOM4,
        pnCOM5,
        pnCOM6,
        pnCOM7,
        pnCOM8,
        pnCOM9,
        pnCOM10,
        pnCOM11,
        pnCOM12,
        pnCOM13,
        pnCOM14,
        pnCOM15,
        pnCOM16
    };
    enum BaudRateChoice {
        brCustom,
        br110,
        br300,
        br600,
        br1200,
        br2400,
        br4800,
        br9600,
        br14400,
        br19200,
        br38400,
        br56000,
        br57600,
        br115200,
        br128000,
        br256000
    };
    enum DataBitsChoice { db5BITS, db6BITS, db7BITS, db8BITS };
    enum StopBitsChoice { sb1BITS, sb1HALFBITS, sb2BITS };
    enum ParityChoice { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
    enum HwFlowChoice { hfNONE, hfNONERTSON, hfRTSCTS };
    enum SwFlowChoice { sfNONE, sfXONXOFF };
    enum LineStatusBit {
        lsCTS = serial::LineCTS,
        lsDSR = serial::LineDSR,
        lsRING = serial::LineRING,
        lsRLSD = serial::LineRLSD
    };

    // Raised on the owner's thread with the bytes of one poll; data is valid only
    // during the call.
    using TReceiveDataEvent =
        std::function<void(TCommPortDriver* sender, const char* data, quint32 size)>;
    TReceiveDataEvent OnReceiveData;

    explicit TCommPortDriver(QObject* parent = nullptr);
    ~TCommPortDriver() override;

    bool Connect();
    void Disconnect();
    bool Connected() const;
    bool ApplySettings();

    bool SendString(const QByteArray& bytes) override;
    quint32 SendData(const char* data, quint32 count, quint32 timeoutMs);
    quint16 OutFreeSpace() const;
    bool PurgeBuffers(bool rx, bool tx);
    void SetDTR(bool on);
    void SetRTS(bool on);
    unsigned LineStatus() const; // LineStatusBit set

    // Why the last Connect or ApplySettings failed, in the system's words.
    QByteArray errorString() const { return error_; }

    // Properties. Port, PortName and the buffer sizes cannot change while open;
    // line settings changed while open take effect at once.
    PortNumber Port() const { return port_; }
    void setPort(PortNumber p);
    QByteArray PortName() const { return portName_; }
    void setPortName(const QByteArray& name);
    BaudRateChoice BaudRate() const { return baudRate_; }
    void setBaudRate(BaudRateChoice b);
    quint32 BaudRateValue() const { return baudRateValue_; }
    void setBaudRateValue(quint32 bps);
    DataBitsChoice DataBits() const { return dataBits_; }
    void setDataBits(DataBitsChoice d);
    StopBitsChoice StopBits() const { return stopBits_; }
    void setStopBits(StopBitsChoice s);
    ParityChoice Parity() const { return parity_; }
    void setParity(ParityChoice p);
    HwFlowChoice HwFlow() const { return hwFlow_; }
    void setHwFlow(HwFlowChoice h);
    SwFlowChoice SwFlow() const { return swFlow_; }
    void setSwFlow(SwFlowChoice s);
    quint32 InBufSize() const { return inBufSize_; }
    void setInBufSize(quint32 size);
    quint32 OutBufSize() const { return outBufSize_; }
    void setOutBufSize(quint32 size);
    quint16 PollingDelay() const { return pollingDelay_; }
    void setPollingDelay(quint16 ms);
    bool EnableDTROnOpen() const { return enableDTROnOpen_; }
    void setEnableDTROnOpen(bool on) { enableDTROnOpen_ = on; }
    quint16 OutputTimeout() const { return outputTimeout_; }
    void setOutputTimeout(quint16 ms) { outputTimeout_ = ms; }
    qint32 InputTimeout() const { return inputTimeout_; }
    void setInputTimeout(qint32 ms) { inputTimeout_ = ms; }
    bool CheckLineStatus() const { return checkLineStatus_; }
    void setCheckLineStatus(bool on) { checkLineStatus_ = on; }

    // Bits per second a BaudRate choice stands for (0 for brCustom).
    static quint32 baudOf(BaudRateChoice b);

private:
    void PollReceive();
    std::shared_ptr<serial::Port> handle() const;
    quint16 freeSpace(serial::Port& port) const;
    void reapply();

    mutable std::mutex handleMutex_; // guards device_ only, never held while waiting
    std::shared_ptr<serial::Port> device_;
    QTimer poll_;
    std::vector<char> rxBuffer_;
    QByteArray error_;

    PortNumber port_ = pnCOM2;
    QByteArray portName_;
    BaudRateChoice baudRate_ = br9600;
    quint32 baudRateValue_ = 9600;
    DataBitsChoice dataBits_ = db8BITS;
    StopBitsChoice stopBits_ = sb1BITS;
    ParityChoice parity_ = ptNONE;
    HwFlowChoice hwFlow_ = hfNONERTSON;
    SwFlowChoice swFlow_ = sfNONE;
    quint32 inBufSize_ = 2048;
    std::atomic<quint32> outBufSize_ = 2048;
    quint16 pollingDelay_ = 50;
    bool enableDTROnOpen_ = true;
    std::atomic<quint16> outputTimeout_ = 500;
    qint32 inputTimeout_ = 200;
    std::atomic<bool> checkLineStatus_ = false;
};

} // namespace quorix::link
