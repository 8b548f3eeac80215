// A periodic timer with a thread of its own: OnTimer is raised on that thread once per period,
// not on the thread that owns the component. Setters and Loaded run on the owner's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>

namespace pt4 {

inline constexpr const char* kNoTimerAvailable = "No timer available";

class EMMTimerError : public std::runtime_error {
public:
    EMMTimerError() : std::runtime_error(kNoTimerAvailable) {}
};

class TMMTimer {
public:
    using TNotifyEvent = std::function<void(TMMTimer& sender)>;

    // Longest period the timer service offers; a longer one is refused like a missing timer.
    static constexpr uint32_t kMaxInterval = 1000000;

    TMMTimer();
    virtual ~TMMTimer();
    TMMTimer(const TMMTimer&) = delete;
    TMMTimer& operator=(const TMMTimer&) = delete;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    uint32_t Interval() const { return interval_; }
    void SetInterval(uint32_t ms);

    // Assign before the next update (a setter or Loaded); assigning alone starts nothing.
    TNotifyEvent OnTimer;

    // The owner has set every property: start the timer if it should run.
    virtual void Loaded();

    // A periodic timer is held (it started and has not been stopped since).
    bool Running() const { return static_cast<bool>(ticker_); }

protected:
    // Runs on the timer's thread for every period.
    virtual void Timer();

private:
    struct Ticker;
    void UpdateTimer();
    void KillTimer();

    bool enabled_ = true;
    uint32_t interval_ = 1000;
    std::shared_ptr<Ticker> ticker_;
};

} // namespace pt4
