#pragma once

#include "link/Clock.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace quorix::link {

class SerialPort;
class FbusTransmitter;

enum Cable { CableDAU9P = 0, CableDLR3 = 1 };

// What the connection dialog chooses and the configuration file keeps.
struct LinkSettings {
    int port = 0;          // 0..3: "COM 1" .. "COM 4"
    int cable = CableDLR3; // Cable
    QByteArray device;     // a device path; when set it is used instead of port

    // The device the link opens.
    QByteArray portDevice() const;
};

// What a link start tells the person at the other end: the GUI puts these in its
// status bar and message boxes, the CLI on the terminal.
class LinkListener {
public:
    virtual ~LinkListener() = default;
    virtual void showStatus(const QByteArray& text) = 0;
    // A message box: caption and text; line breaks in text are single CRs.
    virtual void showError(const QByteArray& caption, const QByteArray& text) = 0;
    // The start-up is over: true when the link runs.
    virtual void linkStarted(bool ok) = 0;
};

// Where the phonebook transfer takes over: every accepted frame of type 0x03
// from the phone, whole from start byte to checksum.
class PhonebookAnswer {
public:
    virtual ~PhonebookAnswer() = default;
    virtual void handlePhonebookAnswer(const QByteArray& frame) = 0;
    // The port went away under the running link (a USB adapter pulled, the
    // other end of a pseudo-terminal closed): nothing more will come.
    virtual void portLost(const QByteArray& device, const QByteArray& reason) {
        Q_UNUSED(device);
        Q_UNUSED(reason);
    }
};

// One FBUS link over a serial port: link start-up, building and queueing frames,
// the transmit thread, and the receiver that cuts, checks, acknowledges and
// dispatches the phone's frames. Lives on the thread that owns the port; its
// receive handling runs there, inside the port's poll.
class FbusLink : public QObject {
    Q_OBJECT
public:
    static constexpr int WakeBytes = 130;     // 0x55 bytes that wake the phone's FBUS
    static constexpr int StartDelayMs = 1000; // after opening, before the wake-up bytes

    explicit FbusLink(SerialPort& serial, Clock& clock = systemClock(), QObject* parent = nullptr);
    ~FbusLink() override;

    // Starts the link and reports through the listener, which must outlive the
    // start-up: the status texts, the failure message, and at the end
    // linkStarted(). The wait after opening the port is a timer, so events go on
    // meanwhile. A start already under way is abandoned.
    void startLink(const LinkSettings& settings, LinkListener* listener);
    // The "Error" text for a port that did not open: "Could not open serial
    // port!", the device with the system's reason, the "dialout" hint when the
    // system denied access, "Please check configuration!".
    static QByteArray openFailureText(const SerialPort& port);
    bool starting() const;

    // Ends the link: abandons a start, ends the transmit thread and closes the port.
    void stopLink();

    // Builds, traces and queues one frame to the phone; false when data is too long
    // for one frame (nothing is sent then).
    bool sendFrame(quint8 type, const QByteArray& data, quint8 fragment, bool followOn);
    // Calls done on this thread, with the tick count, once the frame sendFrame()
    // queued last has been written to the port; a later call replaces it, and a
    // frame the link dropped never calls it.
    void whenLastFrameWritten(std::function<void(quint32 writtenAt)> done);
    // Queues the acknowledgement of a frame received from the phone.
    void sendAck(const QByteArray& received);
    // Hands a finished frame to the transmitter; dropped when no link is open.
    void queueFrame(const QByteArray& frame);

    // The port's receive event.
    void onBytesReceived(SerialPort* sender, const char* data, quint32 size);
    void collectFrames(const QByteArray& bytes);
    void parseFrame(const QByteArray& frame);

    const QByteArray& rxBuffer() const { return rxBuffer_; }
    // Tick count of the latest received bytes (0 until some arrive).
    quint32 lastRxTime() const { return lastRxTime_; }
    // Tick count of the latest frame with a right checksum sent by the phone to
    // us (0 until one arrives). Noise on the line does not move it, so it is
    // what tells that the phone is still there.
    quint32 lastValidFrameTime() const { return lastValidFrameTime_; }
    quint8 txSeq() const { return txSeq_; }
    FbusTransmitter* transmitter() const { return trx_.get(); }
    SerialPort& serial() const { return serial_; }
    Clock& clock() const { return clock_; }

    // Tracing (the Debug checkbox): records go to the log as they happen. The
    // received-data line comes once for bytes that start a frame, and at most
    // every ReceivedLineMs while a frame arrives in pieces, so a frame the port
    // delivers byte by byte does not push the records out of sight.
    static constexpr quint32 ReceivedLineMs = 50;
    void setTracing(bool on) { tracing_ = on; }
    bool tracing() const { return tracing_; }
    void setTraceLog(std::function<void(const QByteArray& entry)> log) { log_ = std::move(log); }

    void setPhonebookAnswer(PhonebookAnswer* handler) { phonebook_ = handler; }
    // Sees every accepted frame of the phone after it was handled, acknowledgements
    // included; for callers that wait for a particular answer.
    void setFrameObserver(std::function<void(const QByteArray& frame)> observer) {
        observer_ = std::move(observer);
    }

private:
    void traceFrame(const QByteArray& frame);
    void finishStart();
    void onPortLost(const QByteArray& reason);
    void frameWritten(const QByteArray& frame, quint32 writtenAt);

    SerialPort& serial_;
    Clock& clock_;
    std::unique_ptr<FbusTransmitter> trx_;
    QTimer startTimer_;
    LinkListener* listener_ = nullptr;

    QByteArray lastSent_; // the frame sendFrame() built last
    QByteArray awaitedWrite_;
    std::function<void(quint32)> written_;

    quint8 txSeq_ = 1;
    int txWindow_ = 1;
    QByteArray rxBuffer_;
    quint32 lastRxTime_ = 0;
    quint32 lastValidFrameTime_ = 0;

    bool tracing_ = false;
    std::optional<quint32> receivedLineAt_; // when the last "FBUS Data received" line went out
    std::function<void(const QByteArray&)> log_;
    PhonebookAnswer* phonebook_ = nullptr;
    std::function<void(const QByteArray&)> observer_;
};

} // namespace quorix::link
