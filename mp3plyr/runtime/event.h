// Event objects: a signalled/non-signalled flag that threads can wait on, alone or several at once.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

namespace pt4 {

// Results of the waits.
inline constexpr uint32_t kWaitSignalled = 0; // the first event; WaitForAny returns its index
inline constexpr uint32_t kWaitTimeout = 258;
// A time-out of -1 (any negative value) waits without limit.
inline constexpr int32_t kInfinite = -1;

class TMPEvent {
public:
    // A manual-reset event stays signalled until ResetEvent; an auto-reset one is reset by the
    // one wait that it releases.
    TMPEvent(bool manualReset, bool initialState);
    virtual ~TMPEvent();
    TMPEvent(const TMPEvent&) = delete;
    TMPEvent& operator=(const TMPEvent&) = delete;

    bool SetEvent();
    bool ResetEvent();

    // kWaitSignalled or kWaitTimeout.
    uint32_t WaitFor(int32_t timeoutMs);

    // Waits until any of the events is signalled: returns the index of the first signalled one
    // (consuming it if it is auto-reset), or kWaitTimeout.
    static uint32_t WaitForAny(std::span<TMPEvent* const> events, int32_t timeoutMs);
    static uint32_t WaitForAny(std::initializer_list<TMPEvent*> events, int32_t timeoutMs)
    {
        return WaitForAny(std::span<TMPEvent* const>(events.begin(), events.size()), timeoutMs);
    }

    // A look without waiting and without consuming an auto-reset signal.
    bool IsSignalled() const;

private:
    struct Waiter;
    bool TryTake();

    bool signalled_;
    const bool manualReset_;
    std::vector<std::shared_ptr<Waiter>> waiters_;
};

// The hand-shake event: manual-reset, initially non-signalled.
class TMPSimpleEvent : public TMPEvent {
public:
    TMPSimpleEvent() : TMPEvent(true, false) {}
};

} // namespace pt4
