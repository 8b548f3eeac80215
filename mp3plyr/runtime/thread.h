// A worker thread that runs no code of its own: it waits on its wake event and its message queue
// and hands every wake-up, time-out and posted message to its owner.
#pragma once

#include "mp3plyr/runtime/event.h"
#include "mp3plyr/runtime/message_queue.h"
#include "mp3plyr/runtime/messages.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace pt4 {

// Called on the worker thread with the exception a handler raised; setting `handled` keeps the
// standard exception display from being used. `sender` identifies the object reporting it.
using TMPExceptionHandler =
    std::function<void(const void* sender, const std::exception_ptr& error, bool& handled)>;

class TMPThread {
public:
    // The thread starts suspended; set OnException, then Resume.
    explicit TMPThread(TMPMessageTarget& owner);
    ~TMPThread();
    TMPThread(const TMPThread&) = delete;
    TMPThread& operator=(const TMPThread&) = delete;

    void Resume();

    // Any thread. Messages posted before Resume are kept and delivered once the loop runs.
    void PostMessage(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    void PostMessage(TMPMessage message);
    void Quit();

    // Not on the worker itself. Sync returns once every message posted before it has been
    // handled, or at once if the thread has ended; Stop ends the thread and waits for it.
    void Sync();
    void Stop();

    // Not on the worker itself: waits until `event` is signalled (0) or the thread has ended (1),
    // or `also`, when given, is signalled (2), or kWaitTimeout. Like Sync and Stop it releases a
    // hand-over the worker is blocked in.
    uint32_t WaitForEventOrEnd(TMPEvent& event, int32_t timeoutMs = kInfinite, TMPEvent* also = nullptr);

    // For OnException handlers that hand the exception to another thread and wait until it has
    // been shown. The wait also ends, returning false, as soon as some thread starts waiting for
    // this worker (Sync, Stop, WaitForEventOrEnd), which would otherwise wait forever for a worker
    // that waits for it. Off a worker thread it is a plain wait.
    static bool WaitForHandOver(TMPEvent& shown);

    // The TMPThread whose loop runs on the calling thread, or nullptr.
    static TMPThread* Current();

    bool Ended() const { return ended_.IsSignalled(); }
    std::thread::id ThreadID() const { return threadId_; }
    size_t QueuedMessages() const { return queue_.Size(); }

    // Manual-reset: the owner sets it to make the thread dispatch TM_WAKE back to back and resets
    // it to make the thread idle.
    TMPEvent WakeEvent{true, false};
    // Milliseconds between TM_TIMEOUT notices while nothing else happens; negative: none. Read at
    // each wait.
    std::atomic<int32_t> TimeOut{kInfinite};
    // Set before Resume; may be empty.
    TMPExceptionHandler OnException;

private:
    class OwnerWait;
    void Execute();
    bool RunPass();
    void Deliver(TMPMessage& message);
    void HandOver(const std::exception_ptr& error);
    void CheckNotOnWorker() const;

    TMPMessageTarget& owner_;
    TMPMessageQueue queue_;
    TMPSimpleEvent resumed_;
    TMPSimpleEvent ended_;
    // Signalled while some thread waits for this one; releases WaitForHandOver.
    TMPSimpleEvent ownerWaiting_;
    std::mutex ownerWaitMutex_;
    int ownerWaits_ = 0;
    bool stopping_ = false;
    std::mutex stopMutex_;
    bool hasHandle_ = false;
    std::thread::id threadId_;
    std::thread thread_; // last: the thread starts while the constructor runs
};

} // namespace pt4
