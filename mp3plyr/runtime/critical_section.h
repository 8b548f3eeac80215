// A re-entrant lock: the thread that holds it may enter it again (the wave output's WaveWrite runs
// inside Write's lock).
#pragma once

#include <mutex>

namespace pt4 {

class TMPCriticalSection {
public:
    TMPCriticalSection() = default;
    TMPCriticalSection(const TMPCriticalSection&) = delete;
    TMPCriticalSection& operator=(const TMPCriticalSection&) = delete;

    void Enter() { mutex_.lock(); }
    void Leave() { mutex_.unlock(); }
    bool TryEnter() { return mutex_.try_lock(); }

    // So that std::lock_guard and std::unique_lock work as well.
    void lock() { Enter(); }
    void unlock() { Leave(); }
    bool try_lock() { return TryEnter(); }

private:
    std::recursive_mutex mutex_;
};

// Holds a critical section for a scope.
class TMPLockGuard {
public:
    explicit TMPLockGuard(TMPCriticalSection& section) : section_(section) { section_.Enter(); }
    ~TMPLockGuard() { section_.Leave(); }
    TMPLockGuard(const TMPLockGuard&) = delete;
    TMPLockGuard& operator=(const TMPLockGuard&) = delete;

private:
    TMPCriticalSection& section_;
};

} // namespace pt4
