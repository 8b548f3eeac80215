#include "components/mmtimer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace pt4 {

// One running periodic timer. Shared with its thread, so that a timer stopped from its own
// OnTimer handler can let the thread finish on its own.
struct TMMTimer::Ticker {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;
    std::thread thread;
};

TMMTimer::TMMTimer() = default;

TMMTimer::~TMMTimer()
{
    enabled_ = false;
    UpdateTimer();
}

void TMMTimer::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    UpdateTimer();
}

void TMMTimer::SetInterval(uint32_t ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    UpdateTimer();
}

void TMMTimer::Loaded()
{
    UpdateTimer();
}

void TMMTimer::Timer()
{
    if (OnTimer)
        OnTimer(*this);
}

void TMMTimer::KillTimer()
{
    if (!ticker_)
        return;
    std::shared_ptr<Ticker> ticker = std::move(ticker_);
    {
        std::lock_guard lock(ticker->mutex);
        ticker->stop = true;
    }
    ticker->wake.notify_all();
    if (ticker->thread.get_id() == std::this_thread::get_id())
        ticker->thread.detach(); // stopped from OnTimer: the loop sees stop when the handler returns
    else
        ticker->thread.join();
}

void TMMTimer::UpdateTimer()
{
    KillTimer();
    if (!enabled_ || interval_ == 0 || !OnTimer)
        return;
    if (interval_ > kMaxInterval)
        throw EMMTimerError();

    auto ticker = std::make_shared<Ticker>();
    const auto period = std::chrono::milliseconds(interval_);
    try {
        ticker->thread = std::thread([this, ticker, period] {
            auto due = std::chrono::steady_clock::now() + period;
            std::unique_lock lock(ticker->mutex);
            for (;;) {
                if (ticker->wake.wait_until(lock, due, [&ticker] { return ticker->stop; }))
                    return;
                lock.unlock();
                Timer();
                lock.lock();
                if (ticker->stop)
                    return;
                // Periods missed while a handler ran late are dropped, not raised in a burst.
                due += period;
                const auto now = std::chrono::steady_clock::now();
                if (due <= now)
                    due = now + period;
            }
        });
    } catch (const std::system_error&) {
        throw EMMTimerError();
    }
    ticker_ = std::move(ticker);
}

} // namespace pt4
