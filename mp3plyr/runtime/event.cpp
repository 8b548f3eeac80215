#include "mp3plyr/runtime/event.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace pt4 {

namespace {

// All events share one mutex: waiting on several events at once then needs no lock ordering,
// and the handful of threads of a player never contend on it for long.
std::mutex& EventMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

// A thread blocked in WaitForAny; registered with every event it waits on.
struct TMPEvent::Waiter {
    std::condition_variable wake;
};

TMPEvent::TMPEvent(bool manualReset, bool initialState) : signalled_(initialState), manualReset_(manualReset)
{
}

TMPEvent::~TMPEvent() = default;

bool TMPEvent::SetEvent()
{
    // Woken after the mutex is let go: a waiter woken while it is held would run only to block
    // on it at once, one more switch of threads for every event set. The waiters' records stay
    // alive until they have been woken, even when their waits have ended meanwhile.
    std::vector<std::shared_ptr<Waiter>> woken;
    {
        std::lock_guard lock(EventMutex());
        signalled_ = true;
        woken = waiters_;
    }
    for (const std::shared_ptr<Waiter>& waiter : woken)
        waiter->wake.notify_one();
    return true;
}

bool TMPEvent::ResetEvent()
{
    std::lock_guard lock(EventMutex());
    signalled_ = false;
    return true;
}

bool TMPEvent::IsSignalled() const
{
    std::lock_guard lock(EventMutex());
    return signalled_;
}

bool TMPEvent::TryTake()
{
    if (!signalled_)
        return false;
    if (!manualReset_)
        signalled_ = false;
    return true;
}

uint32_t TMPEvent::WaitFor(int32_t timeoutMs)
{
    TMPEvent* self = this;
    return WaitForAny(std::span<TMPEvent* const>(&self, 1), timeoutMs);
}

uint32_t TMPEvent::WaitForAny(std::span<TMPEvent* const> events, int32_t timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const bool infinite = timeoutMs < 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(infinite ? 0 : timeoutMs);

    const auto waiter = std::make_shared<Waiter>();
    bool registered = false;
    bool timedOut = timeoutMs == 0;
    std::unique_lock lock(EventMutex());
    auto unregister = [&] {
        if (!registered)
            return;
        for (TMPEvent* event : events) {
            auto& list = event->waiters_;
            list.erase(std::find(list.begin(), list.end(), waiter));
        }
    };
    for (;;) {
        for (size_t i = 0; i < events.size(); ++i) {
            if (events[i]->TryTake()) {
                unregister();
                return static_cast<uint32_t>(i);
            }
        }
        if (timedOut) {
            unregister();
            return kWaitTimeout;
        }
        if (!registered) {
            for (TMPEvent* event : events)
                event->waiters_.push_back(waiter);
            registered = true;
        }
        if (infinite)
            waiter->wake.wait(lock);
        else
            timedOut = waiter->wake.wait_until(lock, deadline) == std::cv_status::timeout;
    }
}

} // namespace pt4
