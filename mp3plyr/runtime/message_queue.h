// A first-in first-out queue of messages that any thread may post to, with an event that is
// signalled exactly while something is queued.
#pragma once

#include "mp3plyr/runtime/event.h"
#include "mp3plyr/runtime/messages.h"

#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace pt4 {

class TMPMessageQueue {
public:
    TMPMessageQueue() = default;
    TMPMessageQueue(const TMPMessageQueue&) = delete;
    TMPMessageQueue& operator=(const TMPMessageQueue&) = delete;

    void Post(TMPMessage message);
    // Posts only if no message with the same number is queued; true when posted.
    bool PostIfAbsent(TMPMessage message);
    std::optional<TMPMessage> Take();
    // Removes every queued message with this number; returns how many.
    size_t Remove(uint32_t msg);
    void Clear();

    bool Contains(uint32_t msg) const;
    size_t Size() const;

    // Signalled while the queue is not empty.
    TMPEvent& NotEmpty() { return notEmpty_; }

private:
    void PushLocked(TMPMessage&& message);
    void UpdateSignalLocked();

    mutable std::mutex mutex_;
    std::deque<TMPMessage> messages_;
    TMPEvent notEmpty_{true, false};
};

} // namespace pt4
