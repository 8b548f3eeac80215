// The worker thread: wake-ups, time-outs, posted messages, Sync and Stop.
#include "mp3plyr/errors.h"
#include "mp3plyr/runtime/thread.h"
#include "output/support/deadline.h"
#include "output/support/recording_target.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace pt4 {
namespace {

using test::FinishesWithin;
using test::RecordingTarget;
using test::SpinUntil;

constexpr uint32_t kMarker = WM_USER + 1;
constexpr uint32_t kOther = WM_USER + 2;

TEST(ThreadMessages, ReservedNumbers)
{
    EXPECT_EQ(TM_QUIT, 0x41Eu);
    EXPECT_EQ(TM_WAKE, 0x41Fu);
    EXPECT_EQ(TM_SYNC, 0x420u);
    EXPECT_EQ(TM_TIMEOUT, 0x421u);
    EXPECT_EQ(TM_WRITEBLOCK, 0x414u);
}

TEST(ThreadMessages, IdleThreadPassesPostedMessagesOnUnchanged)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    thread.Resume();
    thread.PostMessage(MM_WOM_DONE, 7, -9);
    thread.PostMessage(kMarker, 1, 2);
    thread.PostMessage(TM_WAKE, 3, 4); // not one the thread acts on: passed on like any other
    thread.Sync();

    const auto log = owner.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].msg, MM_WOM_DONE);
    EXPECT_EQ(log[0].wParam, 7u);
    EXPECT_EQ(log[0].lParam, -9);
    EXPECT_EQ(log[1].msg, kMarker);
    EXPECT_EQ(log[2].msg, TM_WAKE);
    EXPECT_EQ(log[2].wParam, 3u);
    for (const auto& r : log)
        EXPECT_EQ(r.thread, thread.ThreadID());
}

TEST(ThreadMessages, SyncWithoutEventAndQuitNeverReachTheOwner)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    thread.Resume();
    thread.PostMessage(TM_SYNC, 0, 0);
    thread.PostMessage(kMarker);
    thread.Sync();
    EXPECT_EQ(owner.Numbers(), std::vector<uint32_t>{kMarker});
    thread.Stop();
    EXPECT_TRUE(thread.Ended());
    EXPECT_EQ(owner.Numbers(), std::vector<uint32_t>{kMarker});
}

TEST(ThreadMessages, QuitEndsAtOnceLeavingLaterMessages)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    thread.PostMessage(kMarker);
    thread.Quit();
    thread.PostMessage(kOther);
    thread.Resume();
    FinishesWithin("thread ending on TM_QUIT", [&] { thread.Stop(); });
    EXPECT_EQ(owner.Numbers(), std::vector<uint32_t>{kMarker});
}

TEST(ThreadMessages, MessagesPostedBeforeResumeAreKept)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    for (uintptr_t i = 0; i < 5; ++i)
        thread.PostMessage(kMarker, i);
    thread.Resume();
    thread.Sync();
    const auto log = owner.Log();
    ASSERT_EQ(log.size(), 5u);
    for (uintptr_t i = 0; i < 5; ++i)
        EXPECT_EQ(log[i].wParam, i);
}

TEST(ThreadWake, WakeEventGivesBackToBackWakesWithPostsBetween)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    int wakes = 0; // touched only on the worker
    owner.onMessage = [&](TMPMessage& m) {
        if (m.Msg != TM_WAKE)
            return;
        EXPECT_EQ(m.WParam, 0u);
        EXPECT_EQ(m.LParam, 0);
        ++wakes;
        if (wakes == 2)
            thread.PostMessage(kMarker);
        if (wakes == 5)
            thread.WakeEvent.ResetEvent();
    };
    thread.Resume();
    thread.WakeEvent.SetEvent();
    owner.WaitForCount(TM_WAKE, 5);
    thread.PostMessage(kOther);
    thread.Sync();
    EXPECT_EQ(owner.Numbers(),
              (std::vector<uint32_t>{TM_WAKE, TM_WAKE, kMarker, TM_WAKE, TM_WAKE, TM_WAKE, kOther}));
}

TEST(ThreadWake, TimeOutNoticesUntilTimeOutIsCleared)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    int timeouts = 0;
    owner.onMessage = [&](TMPMessage& m) {
        if (m.Msg == TM_TIMEOUT && ++timeouts == 3)
            thread.TimeOut = kInfinite;
    };
    thread.TimeOut = 1;
    thread.Resume();
    owner.WaitForCount(TM_TIMEOUT, 3);
    thread.PostMessage(kMarker);
    thread.Sync();
    EXPECT_EQ(owner.Numbers(), (std::vector<uint32_t>{TM_TIMEOUT, TM_TIMEOUT, TM_TIMEOUT, kMarker}));
    for (const auto& r : owner.Log())
        EXPECT_EQ(r.wParam, 0u);
}

TEST(ThreadSync, ReturnsAfterEverythingPostedBeforeIt)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    thread.Resume();
    for (int round = 1; round <= 20; ++round) {
        for (int i = 0; i < 10; ++i)
            thread.PostMessage(kMarker);
        thread.Sync();
        EXPECT_EQ(owner.Count(kMarker), static_cast<size_t>(round * 10));
    }
}

TEST(ThreadSync, SeveralThreadsSyncAtOnce)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    thread.Resume();
    FinishesWithin("concurrent Sync calls", [&] {
        std::vector<std::thread> callers;
        for (int t = 0; t < 4; ++t)
            callers.emplace_back([&, t] {
                for (int i = 0; i < 50; ++i) {
                    thread.PostMessage(kMarker, static_cast<uintptr_t>(t));
                    thread.Sync();
                }
            });
        for (auto& caller : callers)
            caller.join();
    });
    EXPECT_EQ(owner.Count(kMarker), 200u);
}

TEST(ThreadSync, SyncAndStopAfterTheEndReturnAtOnce)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    thread.Resume();
    thread.Stop();
    FinishesWithin("Sync on an ended thread", [&] {
        thread.Sync();
        thread.Stop();
    });
    thread.PostMessage(kMarker);
    EXPECT_EQ(owner.Count(kMarker), 0u);
}

TEST(ThreadSync, StopOfANeverResumedThreadReturns)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    thread.PostMessage(kMarker);
    FinishesWithin("Stop of a suspended thread", [&] { thread.Stop(); });
    EXPECT_TRUE(thread.Ended());
}

TEST(ThreadSync, StopWaitsForTheRunningWakeHandler)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    TMPSimpleEvent inHandler;
    TMPSimpleEvent release;
    std::atomic<bool> handlerDone{false};
    std::atomic<bool> stopReturned{false};
    owner.onMessage = [&](TMPMessage& m) {
        if (m.Msg != TM_WAKE)
            return;
        inHandler.SetEvent();
        release.WaitFor(kInfinite);
        handlerDone = true;
    };
    thread.Resume();
    thread.WakeEvent.SetEvent();
    FinishesWithin("Stop during a TM_WAKE handler", [&] {
        inHandler.WaitFor(kInfinite);
        std::thread stopper([&] {
            thread.Stop();
            EXPECT_TRUE(handlerDone.load());
            stopReturned = true;
        });
        SpinUntil("TM_QUIT queued", [&] { return thread.QueuedMessages() == 1; });
        EXPECT_FALSE(stopReturned.load());
        release.SetEvent();
        stopper.join();
    });
    // TM_QUIT is taken right after the handler, although WakeEvent is still set.
    EXPECT_EQ(owner.Count(TM_WAKE), 1u);
    EXPECT_TRUE(thread.WakeEvent.IsSignalled());
}

TEST(ThreadSync, WaitForEventOrEndReportsWhichHappened)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    TMPSimpleEvent done;
    owner.onMessage = [&](TMPMessage& m) {
        if (m.Msg == kMarker)
            done.SetEvent();
    };
    thread.Resume();
    EXPECT_EQ(thread.WaitForEventOrEnd(done, 0), kWaitTimeout);
    thread.PostMessage(kMarker);
    EXPECT_EQ(thread.WaitForEventOrEnd(done), 0u);
    TMPSimpleEvent never;
    thread.Stop();
    EXPECT_EQ(thread.WaitForEventOrEnd(never), 1u);
}

TEST(ThreadSync, WaitingForItselfIsRefused)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    int refused = 0;
    owner.onMessage = [&](TMPMessage& m) {
        if (m.Msg != kMarker)
            return;
        try {
            thread.Sync();
        } catch (const EAssertionFailed&) {
            ++refused;
        }
        try {
            thread.Stop();
        } catch (const EAssertionFailed&) {
            ++refused;
        }
    };
    thread.Resume();
    thread.PostMessage(kMarker);
    FinishesWithin("Sync/Stop refused on the worker", [&] { thread.Sync(); });
    EXPECT_EQ(refused, 2);
}

TEST(ThreadEnd, ForeignExceptionEndsTheThread)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    int handed = 0;
    thread.OnException = [&](const void*, const std::exception_ptr&, bool& handled) {
        ++handed;
        handled = true;
    };
    owner.onMessage = [&](TMPMessage& m) {
        if (m.Msg == kMarker)
            throw 42;
    };
    thread.Resume();
    thread.PostMessage(kMarker);
    thread.PostMessage(kOther);
    FinishesWithin("Sync on a thread ended by a foreign exception", [&] { thread.Sync(); });
    EXPECT_TRUE(thread.Ended());
    EXPECT_EQ(handed, 0);
    EXPECT_EQ(owner.Numbers(), std::vector<uint32_t>{kMarker});
}

TEST(ThreadEnd, CurrentNamesTheWorkerOnlyOnItsOwnThread)
{
    RecordingTarget owner;
    TMPThread thread(owner);
    TMPThread* seen = nullptr;
    owner.onMessage = [&](TMPMessage&) { seen = TMPThread::Current(); };
    thread.Resume();
    thread.PostMessage(kMarker);
    thread.Sync();
    EXPECT_EQ(seen, &thread);
    EXPECT_EQ(TMPThread::Current(), nullptr);
}

} // namespace
} // namespace pt4
