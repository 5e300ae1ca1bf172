#include "link/FbusTransmitter.h"

#include "link/ByteWriter.h"
#include "link/Frame.h"

namespace quorix::link {

FbusTransmitter::FbusTransmitter(ByteWriter& port, Clock& clock, WrittenHandler written)
    : port_(port), clock_(clock), written_(std::move(written)) {
    resetQueue();
    thread_ = std::thread([this] { run(); });
}

FbusTransmitter::~FbusTransmitter() {
    terminate();
    waitFor();
}

void FbusTransmitter::resetQueue() {
    std::lock_guard g(m_);
    txQueue_.clear();
    ackTable_ = {};
}

bool FbusTransmitter::putFrame(const QByteArray& frame) {
    std::lock_guard g(m_);
    // Counting frames rather than ring positions keeps room for the frames the
    // thread puts back in front, so a repetition never loses the queue behind it.
    if (int(txQueue_.size()) >= MaxQueued)
        return false;
    txQueue_.push_back(frame);
    return true;
}

void FbusTransmitter::setEvent() {
    std::lock_guard g(m_);
    txEvent_ = true;
    cv_.notify_all();
}

void FbusTransmitter::acknowledge(int seq) {
    std::lock_guard g(m_);
    if (seq < 0 || seq >= int(ackTable_.size()))
        return;
    ackTable_[size_t(seq)].awaiting = false;
    ++ackCount_;
    cv_.notify_all();
}

void FbusTransmitter::setTxWindow(int frames) {
    std::lock_guard g(m_);
    txWindow_ = frames;
    ++ackCount_;
    cv_.notify_all();
}

void FbusTransmitter::terminate() {
    std::lock_guard g(m_);
    terminate_ = true;
    cv_.notify_all();
}

int FbusTransmitter::waitFor() {
    if (thread_.joinable())
        thread_.join();
    return exitCode_;
}

int FbusTransmitter::queued() const {
    std::lock_guard g(m_);
    return int(txQueue_.size());
}

int FbusTransmitter::awaitingAck() const {
    std::lock_guard g(m_);
    int n = 0;
    for (const AckEntry& e : ackTable_)
        n += e.awaiting;
    return n;
}

bool FbusTransmitter::transmitNext(QByteArray& out) {
    const QByteArray& f = txQueue_.front();
    if (isAck(f)) {
        out = f;
        txQueue_.pop_front();
        return true;
    }
    AckEntry& e = ackTable_[size_t(sequenceNumber(f))];
    ++e.attempts;
    if (e.attempts > 3) {
        // Every second repetition frees the slot; the frame goes out next pass.
        e.awaiting = false;
        e.attempts = 0;
        return false;
    }
    if (e.awaiting) // the frame sent earlier with this number is still unanswered
        return false;
    e.frame = f;
    e.awaiting = true;
    e.sentTime = clock_.now();
    ++e.attempts;
    out = f;
    txQueue_.pop_front();
    return true;
}

// Writes without the lock: a write may take up to the port's output time-out, and
// the owner's thread must not wait that long to queue a frame or note an
// acknowledgement.
void FbusTransmitter::write(std::unique_lock<std::mutex>& lock, const QByteArray& frame) {
    lock.unlock();
    port_.sendBytes(frame); // a frame that did not get through is not acknowledged
    if (written_)
        written_(frame, clock_.now());
    lock.lock();
}

void FbusTransmitter::run() {
    std::unique_lock lock(m_);
    auto eventOrEnd = [this] { return txEvent_ || terminate_; };
    while (!terminate_) {
        if (txQueue_.empty()) {
            clock_.waitFor(lock, cv_, IdleSliceMs, eventOrEnd);
            txEvent_ = false;
            continue;
        }
        QByteArray out;
        if (isAck(txQueue_.front())) {
            if (transmitNext(out))
                write(lock, out);
            continue;
        }

        const quint32 now = clock_.now();
        int pending = 0;
        int overdue = -1;
        quint32 oldest = 0;
        quint32 nextDue = RepeatAfterMs + 1; // how soon a frame becomes overdue
        for (int s = 0; s < int(ackTable_.size()); ++s) {
            const AckEntry& e = ackTable_[size_t(s)];
            if (!e.awaiting)
                continue;
            ++pending;
            const quint32 age = now - e.sentTime;
            if (age > RepeatAfterMs && age > oldest) {
                overdue = s;
                oldest = age;
            }
            if (age <= RepeatAfterMs)
                nextDue = std::min(nextDue, RepeatAfterMs + 1 - age);
        }

        if (overdue >= 0) {
            // The unacknowledged frame goes out again ahead of everything queued.
            AckEntry& e = ackTable_[size_t(overdue)];
            txQueue_.push_front(e.frame);
            e.awaiting = false;
            if (transmitNext(out))
                write(lock, out);
        } else if (pending > txWindow_) {
            // Held back by the window: nothing can change before an acknowledgement
            // arrives or the oldest frame becomes overdue, so sleep until then.
            const unsigned acks = ackCount_;
            clock_.waitFor(lock, cv_, nextDue,
                           [this, acks] { return ackCount_ != acks || terminate_; });
        } else {
            if (pending > 0) {
                clock_.waitFor(lock, cv_, PerPendingMs * quint32(pending), eventOrEnd);
                txEvent_ = false;
            }
            if (!txQueue_.empty() && transmitNext(out))
                write(lock, out);
        }
    }

    // Ending: answer what the phone sent last, drop the rest.
    std::deque<QByteArray> left;
    left.swap(txQueue_);
    for (const QByteArray& f : left) {
        if (isAck(f))
            write(lock, f);
    }
    exitCode_ = ExitCode;
}

} // namespace quorix::link
