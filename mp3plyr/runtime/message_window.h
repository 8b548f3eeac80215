// The player component's hidden window without a window system: a message queue that belongs to
// the thread that created it. Any thread posts; only the owner thread delivers, so every handler,
// and every event it raises, runs on the owner thread.
#pragma once

#include "mp3plyr/runtime/message_queue.h"
#include "mp3plyr/runtime/messages.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <shared_mutex>
#include <thread>

namespace pt4 {

// Messages in this range reach the target; anything else posted to the window is dropped.
inline constexpr uint32_t kWindowMessageFirst = WM_USER;
inline constexpr uint32_t kWindowMessageLast = WM_USER + 39;

class TMPMessageWindow {
public:
    // The calling thread becomes the owner.
    explicit TMPMessageWindow(TMPMessageTarget& target);
    ~TMPMessageWindow();
    TMPMessageWindow(const TMPMessageWindow&) = delete;
    TMPMessageWindow& operator=(const TMPMessageWindow&) = delete;

    // After Destroy the window no longer exists: queued messages are dropped, posts are ignored
    // and the notifier is never called again.
    void Destroy();
    bool Exists() const;

    // From the owner thread: posts (0, 0) only if no message of this number is queued. From any
    // other thread it always posts, as that thread cannot look into the owner's queue.
    void PostUnique(uint32_t msg);
    // Any thread: always posts.
    void PostPlain(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
    void PostPlain(TMPMessage message);
    // From the owner thread (normally a handler): removes every queued copy of this number and
    // returns how many there were. Elsewhere it removes nothing.
    size_t PurgeMessages(uint32_t msg);

    // Owner thread only. Delivers, in order, the messages queued when the call began (and fewer if
    // handlers purge some); returns how many reached the target. Handlers may call it again to
    // process what is pending before they act.
    size_t DispatchMessages();

    // Waits until something is queued: true, or false after the time-out (negative: no limit).
    // For loops that drain the queue themselves (terminal tools, tests).
    bool WaitForMessage(int32_t timeoutMs);

    // Called on the posting thread after every message that was queued, so that an event loop
    // can be woken to call DispatchMessages. It runs under the window's lock: it must not post to
    // or destroy this window.
    void SetNotifier(std::function<void()> notifier);

    bool IsOwnerThread() const { return std::this_thread::get_id() == ownerThread_; }
    std::thread::id OwnerThread() const { return ownerThread_; }
    size_t QueuedMessages() const { return queue_.Size(); }

private:
    void Queue(TMPMessage&& message, bool unique);

    TMPMessageTarget& target_;
    const std::thread::id ownerThread_;
    TMPMessageQueue queue_;
    // Shared by posters, exclusive for Destroy and SetNotifier: a notifier is never called
    // after Destroy has returned.
    mutable std::shared_mutex lifeMutex_;
    bool exists_ = true;
    std::function<void()> notifier_;
};

} // namespace pt4
