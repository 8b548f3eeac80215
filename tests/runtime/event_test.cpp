// Events and the re-entrant critical section.
#include "mp3plyr/runtime/critical_section.h"
#include "mp3plyr/runtime/event.h"
#include "output/support/deadline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

namespace pt4 {
namespace {

using test::FinishesWithin;
using test::kDeadlockGuardMs;

TEST(EventReset, ManualResetStaysSignalledUntilReset)
{
    TMPEvent event(true, false);
    EXPECT_EQ(event.WaitFor(0), kWaitTimeout);
    event.SetEvent();
    EXPECT_EQ(event.WaitFor(0), kWaitSignalled);
    EXPECT_EQ(event.WaitFor(0), kWaitSignalled);
    event.ResetEvent();
    EXPECT_EQ(event.WaitFor(0), kWaitTimeout);
}

TEST(EventReset, InitialStateIsHonoured)
{
    TMPEvent on(true, true);
    TMPEvent onAuto(false, true);
    EXPECT_EQ(on.WaitFor(0), kWaitSignalled);
    EXPECT_EQ(onAuto.WaitFor(0), kWaitSignalled);
    EXPECT_EQ(onAuto.WaitFor(0), kWaitTimeout);
}

TEST(EventReset, AutoResetReleasesOneWaitPerSet)
{
    TMPEvent event(false, false);
    event.SetEvent();
    event.SetEvent(); // signals do not add up
    EXPECT_EQ(event.WaitFor(0), kWaitSignalled);
    EXPECT_EQ(event.WaitFor(0), kWaitTimeout);
}

TEST(EventReset, SimpleEventIsManualAndStartsUnsignalled)
{
    TMPSimpleEvent event;
    EXPECT_FALSE(event.IsSignalled());
    event.SetEvent();
    EXPECT_EQ(event.WaitFor(0), kWaitSignalled);
    EXPECT_TRUE(event.IsSignalled());
}

TEST(EventWait, TimesOutWithoutSignal)
{
    TMPEvent event(true, false);
    EXPECT_EQ(event.WaitFor(5), kWaitTimeout);
}

TEST(EventWait, SetOnAnotherThreadEndsAnEndlessWait)
{
    TMPEvent event(true, false);
    TMPEvent started(true, false);
    FinishesWithin("endless wait on an event set by another thread", [&] {
        std::thread setter([&] {
            started.WaitFor(kInfinite);
            event.SetEvent();
        });
        started.SetEvent();
        EXPECT_EQ(event.WaitFor(kInfinite), kWaitSignalled);
        setter.join();
    });
}

TEST(EventWait, AutoResetSetWakesExactlyOneOfTwoWaiters)
{
    TMPEvent event(false, false);
    TMPEvent oneWoke(true, false);
    std::atomic<int> woken{0};
    FinishesWithin("two waiters on an auto-reset event", [&] {
        auto waiter = [&] {
            EXPECT_EQ(event.WaitFor(kInfinite), kWaitSignalled);
            ++woken;
            oneWoke.SetEvent();
        };
        std::thread a(waiter);
        std::thread b(waiter);
        event.SetEvent();
        oneWoke.WaitFor(kInfinite);
        // The one set was consumed by the waiter it released.
        EXPECT_FALSE(event.IsSignalled());
        EXPECT_EQ(woken.load(), 1);
        event.SetEvent();
        a.join();
        b.join();
        EXPECT_EQ(woken.load(), 2);
    });
}

TEST(EventWait, WaitForAnyReportsTheFirstSignalledAndConsumesOnlyIt)
{
    TMPEvent manual(true, false);
    TMPEvent autoA(false, false);
    TMPEvent autoB(false, false);
    EXPECT_EQ(TMPEvent::WaitForAny({&manual, &autoA, &autoB}, 0), kWaitTimeout);
    autoB.SetEvent();
    autoA.SetEvent();
    EXPECT_EQ(TMPEvent::WaitForAny({&manual, &autoA, &autoB}, 0), 1u);
    EXPECT_TRUE(autoB.IsSignalled());
    EXPECT_EQ(TMPEvent::WaitForAny({&manual, &autoA, &autoB}, 0), 2u);
    manual.SetEvent();
    autoA.SetEvent();
    EXPECT_EQ(TMPEvent::WaitForAny({&manual, &autoA}, 0), 0u);
    EXPECT_TRUE(autoA.IsSignalled());
}

TEST(EventWait, WaitForAnyWakesOnTheLaterEvent)
{
    TMPEvent first(true, false);
    TMPEvent second(true, false);
    FinishesWithin("wait for any of two events", [&] {
        std::thread setter([&] { second.SetEvent(); });
        EXPECT_EQ(TMPEvent::WaitForAny({&first, &second}, kDeadlockGuardMs), 1u);
        setter.join();
    });
}

TEST(CriticalSection, OwnerMayEnterAgainOthersWaitForTheLastLeave)
{
    TMPCriticalSection section;
    auto otherCanEnter = [&] {
        return std::async(std::launch::async,
                          [&] {
                              if (!section.TryEnter())
                                  return false;
                              section.Leave();
                              return true;
                          })
            .get();
    };
    section.Enter();
    section.Enter();
    EXPECT_FALSE(otherCanEnter());
    section.Leave();
    EXPECT_FALSE(otherCanEnter());
    section.Leave();
    EXPECT_TRUE(otherCanEnter());
}

TEST(CriticalSection, GuardLeavesOnException)
{
    TMPCriticalSection section;
    try {
        TMPLockGuard outer(section);
        TMPLockGuard inner(section);
        throw std::runtime_error("leave both");
    } catch (const std::runtime_error&) {
    }
    const bool free = std::async(std::launch::async, [&] {
                          if (!section.TryEnter())
                              return false;
                          section.Leave();
                          return true;
                      }).get();
    EXPECT_TRUE(free);
}

TEST(CriticalSection, ExcludesOtherThreads)
{
    TMPCriticalSection section;
    long counter = 0; // deliberately not atomic: only the lock protects it
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                TMPLockGuard guard(section);
                TMPLockGuard again(section);
                ++counter;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, long{kThreads} * kRounds);
}

} // namespace
} // namespace pt4
