// Exceptions raised in a worker's handlers: OnException, the standard display, and the hand-over
// to the window thread, including the cases where the window thread is itself waiting for the worker.
#include "mp3plyr/errors.h"
#include "mp3plyr/runtime/critical_section.h"
#include "mp3plyr/runtime/exception_display.h"
#include "mp3plyr/runtime/message_window.h"
#include "mp3plyr/runtime/thread.h"
#include "output/support/deadline.h"
#include "output/support/recording_target.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pt4 {
namespace {

using test::FinishesWithin;
using test::kDeadlockGuardMs;
using test::RecordingTarget;

constexpr uint32_t kFail = WM_USER + 1;
constexpr uint32_t kMarker = WM_USER + 2;

// Captures what the standard display is asked to show, and restores the default afterwards.
class DisplayCapture {
public:
    DisplayCapture()
    {
        SetExceptionDisplay([this](const std::exception_ptr& e) {
            std::lock_guard lock(mutex_);
            shown_.push_back({ExceptionText(e), std::this_thread::get_id()});
        });
    }
    ~DisplayCapture() { SetExceptionDisplay(nullptr); }
    std::vector<std::pair<std::string, std::thread::id>> Shown() const
    {
        std::lock_guard lock(mutex_);
        return shown_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::string, std::thread::id>> shown_;
};

// A worker whose handler for kFail takes `lock` and raises, and which records kMarker.
struct FailingWorker {
    RecordingTarget owner;
    TMPCriticalSection lock;
    TMPThread thread{owner};

    FailingWorker()
    {
        owner.onMessage = [this](TMPMessage& m) {
            if (m.Msg == kFail) {
                TMPLockGuard guard(lock);
                throw EMP3Error("TSoundOut.WaveWrite(device gone)");
            }
        };
    }
};

TEST(ThreadException, HandledByOnExceptionOnceAndTheLoopGoesOn)
{
    DisplayCapture display;
    FailingWorker worker;
    std::vector<std::string> texts;
    const void* sender = nullptr;
    worker.thread.OnException = [&](const void* s, const std::exception_ptr& e, bool& handled) {
        sender = s;
        texts.push_back(ExceptionText(e));
        handled = true;
    };
    worker.thread.Resume();
    worker.thread.PostMessage(kFail);
    worker.thread.PostMessage(kMarker);
    worker.thread.Sync();
    EXPECT_EQ(texts, std::vector<std::string>{"TSoundOut.WaveWrite(device gone)"});
    EXPECT_EQ(sender, &worker.thread);
    EXPECT_EQ(worker.owner.Count(kMarker), 1u);
    EXPECT_TRUE(display.Shown().empty());
    EXPECT_FALSE(worker.thread.Ended());
}

TEST(ThreadException, UnhandledGoesToTheStandardDisplayOnTheWorker)
{
    DisplayCapture display;
    FailingWorker worker;
    int asked = 0;
    worker.thread.OnException = [&](const void*, const std::exception_ptr&, bool&) { ++asked; };
    worker.thread.Resume();
    worker.thread.PostMessage(kFail);
    worker.thread.PostMessage(kMarker);
    worker.thread.Sync();
    EXPECT_EQ(asked, 1);
    const auto shown = display.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "TSoundOut.WaveWrite(device gone)");
    EXPECT_EQ(shown[0].second, worker.thread.ThreadID());
    EXPECT_EQ(worker.owner.Count(kMarker), 1u);
}

TEST(ThreadException, WithoutOnExceptionTheDisplayIsUsed)
{
    DisplayCapture display;
    FailingWorker worker;
    worker.thread.Resume();
    worker.thread.PostMessage(kFail);
    worker.thread.Sync();
    EXPECT_EQ(display.Shown().size(), 1u);
}

TEST(ThreadException, AFailingOnExceptionIsShownAndTheThreadSurvives)
{
    DisplayCapture display;
    FailingWorker worker;
    worker.thread.OnException = [](const void*, const std::exception_ptr&, bool& handled) {
        handled = true;
        throw std::runtime_error("hand-over failed");
    };
    worker.thread.Resume();
    worker.thread.PostMessage(kFail);
    worker.thread.PostMessage(kMarker);
    worker.thread.Sync();
    const auto shown = display.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "hand-over failed");
    EXPECT_EQ(worker.owner.Count(kMarker), 1u);
}

TEST(ThreadException, WakeHandlerFailuresRepeatWhileWakeEventStaysSet)
{
    FailingWorker worker;
    int failures = 0;
    worker.owner.onMessage = [&](TMPMessage& m) {
        if (m.Msg == TM_WAKE && ++failures <= 3)
            throw EMP3Error("step failed");
        if (m.Msg == TM_WAKE)
            worker.thread.WakeEvent.ResetEvent();
    };
    int handed = 0;
    worker.thread.OnException = [&](const void*, const std::exception_ptr&, bool& handled) {
        ++handed;
        handled = true;
    };
    worker.thread.Resume();
    worker.thread.WakeEvent.SetEvent();
    worker.owner.WaitForCount(TM_WAKE, 4);
    worker.thread.Sync();
    EXPECT_EQ(handed, 3);
    EXPECT_EQ(worker.owner.Count(TM_WAKE), 4u);
}

// The window-thread side of the hand-over: shows the error, sets the event, records the order.
struct WindowSide : RecordingTarget {
    TMPMessageWindow window{*this};
    std::vector<std::string> shown;
    bool lockWasFree = false;
    TMPCriticalSection* workerLock = nullptr;

    WindowSide()
    {
        onMessage = [this](TMPMessage& m) {
            if (m.Msg != MP_ERROR)
                return;
            shown.push_back(ExceptionText(m.Error));
            if (workerLock != nullptr && workerLock->TryEnter()) {
                lockWasFree = true;
                workerLock->Leave();
            }
            m.Event->SetEvent();
        };
    }
};

// The player's way of handing an exception over: post it to the window thread and wait there.
TMPExceptionHandler HandOverTo(TMPMessageWindow& window, std::vector<bool>* shownInTime = nullptr)
{
    return [&window, shownInTime](const void*, const std::exception_ptr& e, bool& handled) {
        auto shown = std::make_shared<TMPSimpleEvent>();
        TMPMessage message;
        message.Msg = MP_ERROR;
        message.Event = shown;
        message.Error = e;
        window.PostPlain(std::move(message));
        const bool waited = TMPThread::WaitForHandOver(*shown);
        if (shownInTime != nullptr)
            shownInTime->push_back(waited);
        handled = true;
    };
}

TEST(ExceptionHandOver, WorkerWaitsUntilTheWindowThreadHasShownIt)
{
    DisplayCapture display;
    WindowSide side;
    FailingWorker worker;
    side.workerLock = &worker.lock;
    std::vector<bool> shownInTime;
    worker.thread.OnException = HandOverTo(side.window, &shownInTime);
    worker.thread.Resume();
    worker.thread.PostMessage(kFail);
    worker.thread.PostMessage(kMarker);

    ASSERT_TRUE(side.window.WaitForMessage(kDeadlockGuardMs));
    EXPECT_EQ(worker.owner.Count(kMarker), 0u); // blocked in the hand-over
    EXPECT_EQ(side.window.DispatchMessages(), 1u);
    worker.thread.Sync();

    EXPECT_EQ(side.shown, std::vector<std::string>{"TSoundOut.WaveWrite(device gone)"});
    EXPECT_TRUE(side.lockWasFree); // the failing handler's lock was left before the hand-over
    EXPECT_EQ(shownInTime, std::vector<bool>{true});
    EXPECT_EQ(worker.owner.Count(kMarker), 1u);
    EXPECT_TRUE(display.Shown().empty());
    for (const auto& r : side.Log())
        EXPECT_EQ(r.thread, std::this_thread::get_id());
}

TEST(ExceptionHandOver, StopDuringAHandOverDoesNotDeadlock)
{
    DisplayCapture display;
    WindowSide side;
    FailingWorker worker;
    std::vector<bool> shownInTime;
    worker.thread.OnException = HandOverTo(side.window, &shownInTime);
    worker.thread.Resume();
    worker.thread.PostMessage(kFail);
    ASSERT_TRUE(side.window.WaitForMessage(kDeadlockGuardMs));

    // The window thread stops the worker before it gets to the error message.
    FinishesWithin("Stop while the worker hands over an exception", [&] { worker.thread.Stop(); });
    EXPECT_TRUE(worker.thread.Ended());
    EXPECT_EQ(shownInTime, std::vector<bool>{false});

    // The error is still shown afterwards, and setting the abandoned event is harmless.
    EXPECT_EQ(side.window.DispatchMessages(), 1u);
    EXPECT_EQ(side.shown.size(), 1u);
    EXPECT_TRUE(display.Shown().empty());
}

TEST(ExceptionHandOver, SyncDuringAHandOverReturnsAfterEarlierMessages)
{
    WindowSide side;
    FailingWorker worker;
    worker.thread.OnException = HandOverTo(side.window);
    worker.thread.Resume();
    worker.thread.PostMessage(kFail);
    worker.thread.PostMessage(kMarker);
    ASSERT_TRUE(side.window.WaitForMessage(kDeadlockGuardMs));

    FinishesWithin("Sync while the worker hands over an exception", [&] { worker.thread.Sync(); });
    EXPECT_EQ(worker.owner.Count(kMarker), 1u);
    EXPECT_EQ(side.window.DispatchMessages(), 1u);
    EXPECT_EQ(side.shown.size(), 1u);
}

TEST(ExceptionHandOver, OwnerHoldingALockWhileWaitingForTheWorkersResult)
{
    // As when the window thread closes the wave output under the player's lock and waits for the
    // output thread to return its blocks, while the output thread hands over an exception.
    WindowSide side;
    FailingWorker worker;
    TMPSimpleEvent drained;
    worker.owner.onMessage = [&](TMPMessage& m) {
        if (m.Msg == kFail) {
            TMPLockGuard guard(worker.lock);
            throw EMP3Error("block write failed");
        }
        if (m.Msg == kMarker)
            drained.SetEvent();
    };
    worker.thread.OnException = HandOverTo(side.window);
    worker.thread.Resume();

    TMPCriticalSection playerLock;
    TMPLockGuard held(playerLock);
    worker.thread.PostMessage(kFail);
    worker.thread.PostMessage(kMarker);
    ASSERT_TRUE(side.window.WaitForMessage(kDeadlockGuardMs));
    uint32_t result = kWaitTimeout;
    FinishesWithin("owner waiting for the worker during a hand-over",
                   [&] { result = worker.thread.WaitForEventOrEnd(drained); });
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(side.window.DispatchMessages(), 1u);
    EXPECT_EQ(side.shown, std::vector<std::string>{"block write failed"});
}

TEST(ExceptionHandOver, AHandOverAfterTheOwnerWaitEndedWaitsAgain)
{
    WindowSide side;
    FailingWorker worker;
    std::vector<bool> shownInTime;
    worker.thread.OnException = HandOverTo(side.window, &shownInTime);
    worker.thread.Resume();

    worker.thread.PostMessage(kFail);
    ASSERT_TRUE(side.window.WaitForMessage(kDeadlockGuardMs));
    worker.thread.Sync(); // releases the first hand-over
    EXPECT_EQ(side.window.DispatchMessages(), 1u);

    worker.thread.PostMessage(kFail);
    worker.thread.PostMessage(kMarker);
    ASSERT_TRUE(side.window.WaitForMessage(kDeadlockGuardMs));
    EXPECT_EQ(worker.owner.Count(kMarker), 0u);
    EXPECT_EQ(side.window.DispatchMessages(), 1u);
    worker.thread.Sync();
    EXPECT_EQ(shownInTime, (std::vector<bool>{false, true}));
    EXPECT_EQ(side.shown.size(), 2u);
}

TEST(ExceptionHandOver, OffAWorkerTheHandOverWaitIsPlain)
{
    TMPSimpleEvent shown;
    shown.SetEvent();
    EXPECT_TRUE(TMPThread::WaitForHandOver(shown));
}

} // namespace
} // namespace pt4
