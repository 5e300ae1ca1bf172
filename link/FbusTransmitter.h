#pragma once

#include "link/Clock.h"

#include <QByteArray>

#include <array>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorix::link {

class ByteWriter;

// The transmit thread. Takes finished frames from its queue and writes them,
// holding a frame back while more than the window size of earlier frames await the phone's
// acknowledgement, and writing an unacknowledged frame again once it has waited
// more than a second while another frame waits to go out. Acknowledgements go
// out at once.
//
// putFrame, setEvent, acknowledge and setTxWindow are for the owner's thread; all
// state the two threads share sits behind one mutex.
class FbusTransmitter {
public:
    static constexpr int QueueSlots = 50;
    static constexpr int MaxQueued = 48; // frames waiting; one more is lost
    static constexpr quint32 RepeatAfterMs = 1000;
    static constexpr quint32 IdleSliceMs = 500;
    static constexpr quint32 PerPendingMs = 10; // pause before the next frame, per frame awaited
    static constexpr int ExitCode = 42;

    // Told on the transmit thread after each frame went to the port, with the
    // clock's time when the write ended: the pauses the phone needs between frames
    // count from there, not from queueing.
    using WrittenHandler = std::function<void(const QByteArray& frame, quint32 writtenAt)>;

    // Resets the queue and starts the thread.
    explicit FbusTransmitter(ByteWriter& port, Clock& clock = systemClock(),
                             WrittenHandler written = {});
    // Terminates the thread and waits for it.
    ~FbusTransmitter();
    FbusTransmitter(const FbusTransmitter&) = delete;
    FbusTransmitter& operator=(const FbusTransmitter&) = delete;

    // Puts a finished frame at the end of the queue; false when the queue is full
    // and the frame is lost.
    bool putFrame(const QByteArray& frame);
    // Tells the thread a frame was queued.
    void setEvent();
    // The phone acknowledged sequence number seq (0..7).
    void acknowledge(int seq);
    void setTxWindow(int frames);

    // Asks the thread to end: noticed within one idle slice, or at the end of the
    // pass. Acknowledgements still queued are written first, so the phone's last
    // frames do not go unanswered; other frames are dropped.
    void terminate();
    // Waits for the thread to end; gives its exit code (ExitCode).
    int waitFor();

    // What the queue and the table hold, for tests and the virtual phone's checks.
    int queued() const;
    int awaitingAck() const;

private:
    struct AckEntry {
        bool awaiting = false; // the phone has not acknowledged the frame yet
        quint32 sentTime = 0;
        int attempts = 0;
        QByteArray frame;
    };

    void run();
    void resetQueue();
    // On the head of the queue: gives the frame to write now, if any.
    bool transmitNext(QByteArray& out);
    void write(std::unique_lock<std::mutex>& lock, const QByteArray& frame);

    ByteWriter& port_;
    Clock& clock_;
    const WrittenHandler written_;

    mutable std::mutex m_;
    std::condition_variable cv_;
    bool txEvent_ = false;
    bool terminate_ = false;
    unsigned ackCount_ = 0; // moves with every acknowledge and window change
    std::deque<QByteArray> txQueue_;
    std::array<AckEntry, 8> ackTable_;
    int txWindow_ = 1;
    int exitCode_ = 0;

    std::thread thread_;
};

} // namespace quorix::link
