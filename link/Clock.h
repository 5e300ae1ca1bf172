#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>

// The millisecond tick count of the link and the timed waits of the transmitter.
// Passed in from outside so that tests can move time by hand and see repetitions
// and time-outs happen exactly when they should.
namespace quorix::link {

class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds of a monotonic counter; wraps after about 49 days, so only
    // differences of two values mean anything.
    virtual quint32 now() = 0;

    // With lock held on the mutex guarding whatever wake() reads: blocks until
    // wake() holds or ms of this clock have passed. Whoever changes what wake()
    // reads does so under that mutex and then notifies cv. Gives wake().
    virtual bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                         quint32 ms, const std::function<bool()>& wake) = 0;
};

// The real clock: time since an arbitrary start, real waits.
Clock& systemClock();

// A clock that stands still until advance() moves it. Waits end when their
// condition holds or when advance() carries the clock past their deadline.
class ManualClock : public Clock {
public:
    explicit ManualClock(quint32 start = 1000) : time_(start) {}

    quint32 now() override;
    bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, quint32 ms,
                 const std::function<bool()>& wake) override;

    void advance(quint32 ms);

    // Blocks (really, up to realTimeoutMs) until `waiters` threads wait on this
    // clock with nothing to wake them before the clock moves again: then whatever
    // they were going to do in response to the last change is done.
    bool settle(int waiters = 1, int realTimeoutMs = 5000);

private:
    struct Waiter {
        std::mutex* mutex;
        std::condition_variable* cv;
        const std::function<bool()>* wake;
        quint32 deadline;
    };
    bool idle(const Waiter& w);

    std::mutex m_;
    quint32 time_;
    std::list<Waiter> waiters_;
};

} // namespace quorix::link
