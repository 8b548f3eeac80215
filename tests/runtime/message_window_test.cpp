// The component's message window: which posts coalesce, from which thread, purging in handlers,
// delivery only on the owner thread, the notifier hook, and a stress run with several posters.
#include "mp3plyr/errors.h"
#include "mp3plyr/runtime/message_window.h"
#include "mp3plyr/runtime/thread.h"
#include "output/support/deadline.h"
#include "output/support/recording_target.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

namespace pt4 {
namespace {

using test::FinishesWithin;
using test::kDeadlockGuardMs;
using test::RecordingTarget;

// Runs `post` on a thread other than the window's owner and waits for it.
template <typename F> void FromWorker(F post)
{
    std::thread worker(post);
    worker.join();
}

// A target whose handlers behave like the player's: purge their own number, then act.
struct PurgingTarget : RecordingTarget {
    TMPMessageWindow window{*this};
    PurgingTarget()
    {
        onMessage = [this](TMPMessage& m) {
            if (m.Msg == MP_POSITION || m.Msg == MP_STATUS || m.Msg == MP_END_PLAY || m.Msg == MP_EQUALIZER)
                window.PurgeMessages(m.Msg);
        };
    }
};

TEST(WindowMessages, Numbers)
{
    EXPECT_EQ(MP_POSITION, 0x40Au);
    EXPECT_EQ(MP_ERROR, 0x40Bu);
    EXPECT_EQ(MP_END_OF_STREAM, 0x40Cu);
    EXPECT_EQ(MP_STATUS, 0x40Eu);
    EXPECT_EQ(MP_END_PLAY, 0x40Fu);
    EXPECT_EQ(MP_EQUALIZER, 0x410u);
}

TEST(WindowPosting, UniquePostsFromTheOwnerCoalesce)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    window.PostUnique(MP_STATUS);
    window.PostUnique(MP_END_PLAY);
    window.PostUnique(MP_STATUS);
    window.PostUnique(MP_END_PLAY);
    window.PostUnique(MP_POSITION);
    EXPECT_EQ(window.QueuedMessages(), 3u);
    EXPECT_EQ(window.DispatchMessages(), 3u);
    EXPECT_EQ(target.Numbers(), (std::vector<uint32_t>{MP_STATUS, MP_END_PLAY, MP_POSITION}));
    // Once delivered, the same number is posted again.
    window.PostUnique(MP_STATUS);
    EXPECT_EQ(window.QueuedMessages(), 1u);
}

TEST(WindowPosting, UniquePostSeesAPlainCopyQueuedByAWorker)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    FromWorker([&] { window.PostPlain(MP_POSITION, 0, 0); });
    window.PostUnique(MP_POSITION);
    EXPECT_EQ(window.QueuedMessages(), 1u);
}

TEST(WindowPosting, UniquePostFromAnotherThreadAlwaysPosts)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    FromWorker([&] {
        EXPECT_FALSE(window.IsOwnerThread());
        window.PostUnique(MP_POSITION);
        window.PostUnique(MP_POSITION);
        window.PostUnique(MP_POSITION);
    });
    EXPECT_TRUE(window.IsOwnerThread());
    EXPECT_EQ(window.QueuedMessages(), 3u);
}

TEST(WindowPosting, PlainPostsKeepTheirParametersAndOrder)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    FromWorker([&] {
        window.PostPlain(MP_END_OF_STREAM, 0, 0);
        window.PostPlain(MP_POSITION, 5, -6);
        window.PostPlain(MP_POSITION, 7, 8);
    });
    window.PostPlain(MP_STATUS, 1, 2);
    window.DispatchMessages();
    const auto log = target.Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].msg, MP_END_OF_STREAM);
    EXPECT_EQ(log[1].wParam, 5u);
    EXPECT_EQ(log[1].lParam, -6);
    EXPECT_EQ(log[2].wParam, 7u);
    EXPECT_EQ(log[3].msg, MP_STATUS);
    EXPECT_EQ(log[3].lParam, 2);
}

TEST(WindowPosting, ErrorMessageCarriesEventAndException)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    std::string text;
    target.onMessage = [&](TMPMessage& m) {
        try {
            std::rethrow_exception(m.Error);
        } catch (const EMP3Error& e) {
            text = e.what();
        }
        m.Event->SetEvent();
    };
    auto shown = std::make_shared<TMPSimpleEvent>();
    FromWorker([&] {
        TMPMessage message;
        message.Msg = MP_ERROR;
        message.Event = shown;
        message.Error = std::make_exception_ptr(EMP3Error("unknown wave out API error."));
        window.PostPlain(std::move(message));
    });
    window.DispatchMessages();
    EXPECT_EQ(text, "unknown wave out API error.");
    EXPECT_TRUE(shown->IsSignalled());
}

TEST(WindowPurge, TenPositionNoticesGiveOneEvent)
{
    PurgingTarget target;
    FromWorker([&] {
        for (int i = 0; i < 10; ++i)
            target.window.PostPlain(MP_POSITION, 0, 0);
    });
    EXPECT_EQ(target.window.DispatchMessages(), 1u);
    EXPECT_EQ(target.Count(MP_POSITION), 1u);
    EXPECT_EQ(target.window.QueuedMessages(), 0u);
}

TEST(WindowPurge, PurgeRemovesOnlyItsNumberAndKeepsTheRestInOrder)
{
    PurgingTarget target;
    FromWorker([&] {
        target.window.PostPlain(MP_POSITION, 0, 0);
        target.window.PostPlain(MP_END_OF_STREAM, 0, 0);
        target.window.PostPlain(MP_POSITION, 0, 0);
    });
    target.window.PostUnique(MP_STATUS);
    target.window.PostUnique(MP_END_PLAY);
    target.window.PostUnique(MP_POSITION); // a copy is queued: not posted
    FromWorker([&] { target.window.PostPlain(MP_POSITION, 0, 0); });
    target.window.DispatchMessages();
    EXPECT_EQ(target.Numbers(),
              (std::vector<uint32_t>{MP_POSITION, MP_END_OF_STREAM, MP_STATUS, MP_END_PLAY}));
}

TEST(WindowPurge, PurgeFromAnotherThreadRemovesNothing)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    window.PostUnique(MP_STATUS);
    FromWorker([&] { window.PurgeMessages(MP_STATUS); });
    EXPECT_EQ(window.QueuedMessages(), 1u);
    window.PurgeMessages(MP_STATUS);
    EXPECT_EQ(window.QueuedMessages(), 0u);
}

TEST(WindowDispatch, OnlyTheOwnerDelivers)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    window.PostUnique(MP_STATUS);
    FromWorker([&] { EXPECT_THROW(window.DispatchMessages(), EAssertionFailed); });
    EXPECT_EQ(target.Count(MP_STATUS), 0u);
    window.DispatchMessages();
    ASSERT_EQ(target.Log().size(), 1u);
    EXPECT_EQ(target.Log()[0].thread, std::this_thread::get_id());
}

TEST(WindowDispatch, OnlyTheComponentRangeReachesTheTarget)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    window.PostPlain(WM_USER - 1, 0, 0);
    window.PostPlain(kWindowMessageFirst, 0, 0);
    window.PostPlain(TM_WRITEBLOCK, 0, 0);
    window.PostPlain(kWindowMessageLast, 0, 0);
    window.PostPlain(kWindowMessageLast + 1, 0, 0);
    EXPECT_EQ(window.DispatchMessages(), 3u);
    EXPECT_EQ(target.Numbers(),
              (std::vector<uint32_t>{kWindowMessageFirst, TM_WRITEBLOCK, kWindowMessageLast}));
    EXPECT_EQ(window.QueuedMessages(), 0u);
}

TEST(WindowDispatch, MessagesPostedByHandlersWaitForTheNextCall)
{
    PurgingTarget target;
    int statusEvents = 0;
    target.onMessage = [&](TMPMessage& m) {
        if (m.Msg != MP_STATUS)
            return;
        target.window.PurgeMessages(MP_STATUS);
        if (++statusEvents < 3)
            target.window.PostUnique(MP_STATUS);
    };
    target.window.PostUnique(MP_STATUS);
    EXPECT_EQ(target.window.DispatchMessages(), 1u);
    EXPECT_EQ(target.window.DispatchMessages(), 1u);
    EXPECT_EQ(target.window.DispatchMessages(), 1u);
    EXPECT_EQ(target.window.DispatchMessages(), 0u);
    EXPECT_EQ(statusEvents, 3);
}

TEST(WindowDispatch, HandlerMayProcessPendingMessagesBeforeActing)
{
    // A position handler that first lets the queued status changes through.
    RecordingTarget target;
    TMPMessageWindow window(target);
    std::vector<uint32_t> events;
    target.onMessage = [&](TMPMessage& m) {
        if (m.Msg == MP_POSITION) {
            window.DispatchMessages();
            window.PurgeMessages(MP_POSITION);
        } else {
            window.PurgeMessages(m.Msg);
        }
        events.push_back(m.Msg);
    };
    FromWorker([&] { window.PostPlain(MP_POSITION, 0, 0); });
    window.PostUnique(MP_STATUS);
    window.PostUnique(MP_END_PLAY);
    window.PostUnique(MP_POSITION);
    window.DispatchMessages();
    EXPECT_EQ(events, (std::vector<uint32_t>{MP_STATUS, MP_END_PLAY, MP_POSITION}));
    EXPECT_EQ(window.QueuedMessages(), 0u);
}

TEST(WindowNotifier, CalledOnThePostingThreadForEveryQueuedMessage)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    std::vector<std::thread::id> calls;
    std::mutex callsMutex;
    window.SetNotifier([&] {
        std::lock_guard lock(callsMutex);
        calls.push_back(std::this_thread::get_id());
    });
    window.PostUnique(MP_STATUS);
    window.PostUnique(MP_STATUS); // coalesced: nothing queued, nobody woken
    std::thread::id workerId;
    FromWorker([&] {
        workerId = std::this_thread::get_id();
        window.PostPlain(MP_POSITION, 0, 0);
    });
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], std::this_thread::get_id());
    EXPECT_EQ(calls[1], workerId);
}

TEST(WindowLifetime, DestroyedWindowDropsPostsAndStopsNotifying)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    int notices = 0;
    window.SetNotifier([&] { ++notices; });
    window.PostUnique(MP_STATUS);
    window.Destroy();
    EXPECT_FALSE(window.Exists());
    window.PostUnique(MP_STATUS);
    FromWorker([&] { window.PostPlain(MP_END_OF_STREAM, 0, 0); });
    EXPECT_EQ(window.DispatchMessages(), 0u);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(target.Log().size(), 0u);
}

TEST(WindowWait, WaitEndsWhenAWorkerPosts)
{
    RecordingTarget target;
    TMPMessageWindow window(target);
    EXPECT_FALSE(window.WaitForMessage(0));
    std::thread worker([&] { window.PostPlain(MP_END_OF_STREAM, 0, 0); });
    EXPECT_TRUE(window.WaitForMessage(kDeadlockGuardMs));
    worker.join();
    window.DispatchMessages();
    EXPECT_FALSE(window.WaitForMessage(0));
    EXPECT_EQ(target.Count(MP_END_OF_STREAM), 1u);
}

TEST(QueueStress, SeveralPostersOneOwner)
{
    constexpr int kPosters = 4;
    constexpr uintptr_t kEach = 3000;
    constexpr uint32_t kData = WM_USER + 1;
    RecordingTarget target;
    TMPMessageWindow window(target);
    std::atomic<int> notices{0};
    window.SetNotifier([&] { ++notices; });

    // Workers post plain data and also unique posts, which from them never coalesce; the owner
    // drains with its own unique posts mixed in (two per round, one delivered), purging position
    // notices as the player does.
    size_t positionEvents = 0;
    target.onMessage = [&](TMPMessage& m) {
        if (m.Msg == MP_POSITION) {
            window.PurgeMessages(MP_POSITION);
            ++positionEvents;
        }
    };
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p)
        posters.emplace_back([&, p] {
            for (uintptr_t i = 0; i < kEach; ++i) {
                window.PostPlain(kData, i, p);
                if (i % 100 == 0)
                    window.PostUnique(MP_POSITION);
            }
        });
    const size_t expected = kPosters * kEach;
    size_t rounds = 0;
    bool stalled = false;
    while (target.Count(kData) < expected) {
        if (!window.WaitForMessage(kDeadlockGuardMs)) {
            stalled = true;
            break;
        }
        window.PostUnique(MP_STATUS);
        window.PostUnique(MP_STATUS);
        window.DispatchMessages();
        ++rounds;
    }
    for (auto& poster : posters)
        poster.join();
    ASSERT_FALSE(stalled);
    window.DispatchMessages();

    std::map<intptr_t, uintptr_t> next;
    for (const auto& r : target.Log()) {
        if (r.msg != kData)
            continue;
        EXPECT_EQ(r.wParam, next[r.lParam]) << "poster " << r.lParam;
        next[r.lParam] = r.wParam + 1;
    }
    EXPECT_EQ(next.size(), static_cast<size_t>(kPosters));
    EXPECT_GE(positionEvents, 1u);
    EXPECT_LE(positionEvents, static_cast<size_t>(kPosters * kEach / 100));
    EXPECT_GE(notices.load(), static_cast<int>(expected));
    EXPECT_EQ(target.Count(MP_STATUS), rounds);
    EXPECT_EQ(window.QueuedMessages(), 0u);
}

TEST(QueueStress, SeveralPostersToAWorkerThread)
{
    constexpr int kPosters = 4;
    constexpr uintptr_t kEach = 3000;
    constexpr uint32_t kData = WM_USER + 1;
    RecordingTarget owner;
    TMPThread thread(owner);
    thread.TimeOut = 0; // time-out notices interleave with the posts
    thread.Resume();
    FinishesWithin("posting to a worker from several threads", [&] {
        std::vector<std::thread> posters;
        for (int p = 0; p < kPosters; ++p)
            posters.emplace_back([&, p] {
                for (uintptr_t i = 0; i < kEach; ++i) {
                    thread.PostMessage(kData, i, p);
                    if (i % 500 == 0)
                        thread.Sync();
                }
            });
        for (auto& poster : posters)
            poster.join();
        thread.Sync();
    });
    thread.TimeOut = kInfinite;
    std::map<intptr_t, uintptr_t> next;
    size_t received = 0;
    for (const auto& r : owner.Log()) {
        if (r.msg != kData)
            continue;
        ++received;
        EXPECT_EQ(r.wParam, next[r.lParam]);
        next[r.lParam] = r.wParam + 1;
    }
    EXPECT_EQ(received, kPosters * kEach);
}

} // namespace
} // namespace pt4
