// Guards against deadlocks in tests: a hang ends the test program with a message instead of
// stalling the whole run.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace pt4::test {

// Far longer than any of the guarded steps needs; only a deadlock reaches it.
inline constexpr std::chrono::seconds kDeadlockGuard{20};
inline constexpr int32_t kDeadlockGuardMs = 20000;

// Runs `work` on a helper thread and waits for it. If it does not finish in time the process
// exits with a failure naming `what`. Exceptions from `work` are rethrown here.
void FinishesWithin(const char* what, const std::function<void()>& work,
                    std::chrono::seconds limit = kDeadlockGuard);

// Spins (yielding) until `condition` holds; exits like FinishesWithin if it never does.
void SpinUntil(const char* what, const std::function<bool()>& condition,
               std::chrono::seconds limit = kDeadlockGuard);

} // namespace pt4::test
