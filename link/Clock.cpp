#include "link/Clock.h"

#include <chrono>
#include <thread>

namespace quorix::link {

namespace {

class SystemClock : public Clock {
public:
    quint32 now() override {
        using namespace std::chrono;
        return quint32(duration_cast<milliseconds>(steady_clock::now() - start_).count());
    }
    bool waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv, quint32 ms,
                 const std::function<bool()>& wake) override {
        return cv.wait_for(lock, std::chrono::milliseconds(ms), wake);
    }

private:
    // Starting the count at one second keeps early tick counts away from 0.
    const std::chrono::steady_clock::time_point start_ =
        std::chrono::steady_clock::now() - std::chrono::seconds(1);
};

} // namespace

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

quint32 ManualClock::now() {
    std::lock_guard g(m_);
    return time_;
}

bool ManualClock::waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                          quint32 ms, const std::function<bool()>& wake) {
    std::list<Waiter>::iterator me;
    {
        std::lock_guard g(m_);
        me = waiters_.insert(waiters_.end(), Waiter{lock.mutex(), &cv, &wake, time_ + ms});
    }
    auto expired = [&] {
        std::lock_guard g(m_);
        return qint32(time_ - me->deadline) >= 0;
    };
    while (!wake() && !expired())
        cv.wait(lock);
    std::lock_guard g(m_);
    waiters_.erase(me);
    return wake();
}

void ManualClock::advance(quint32 ms) {
    std::list<Waiter> waiting;
    {
        std::lock_guard g(m_);
        time_ += ms;
        waiting = waiters_;
    }
    // Taking each waiter's own mutex before notifying means the notice cannot
    // fall between its look at the clock and its going to sleep.
    for (const Waiter& w : waiting) {
        std::lock_guard g(*w.mutex);
        w.cv->notify_all();
    }
}

bool ManualClock::idle(const Waiter& w) {
    // Called with neither lock held; the waiter's mutex first, as the waiter does.
    std::lock_guard g(*w.mutex);
    std::lock_guard c(m_);
    for (const Waiter& still : waiters_) {
        if (still.cv == w.cv && still.wake == w.wake)
            return !(*w.wake)() && qint32(time_ - w.deadline) < 0;
    }
    return false;
}

bool ManualClock::settle(int count, int realTimeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(realTimeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        std::list<Waiter> waiting;
        {
            std::lock_guard g(m_);
            waiting = waiters_;
        }
        bool all = int(waiting.size()) == count;
        for (const Waiter& w : waiting)
            all = all && idle(w);
        if (all)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

} // namespace quorix::link
