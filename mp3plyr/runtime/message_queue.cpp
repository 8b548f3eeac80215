#include "mp3plyr/runtime/message_queue.h"

#include <algorithm>

namespace pt4 {

// The signal changes only under the queue's mutex, so it always matches the queue's contents.
void TMPMessageQueue::UpdateSignalLocked()
{
    if (messages_.empty())
        notEmpty_.ResetEvent();
    else
        notEmpty_.SetEvent();
}

void TMPMessageQueue::PushLocked(TMPMessage&& message)
{
    messages_.push_back(std::move(message));
    if (messages_.size() == 1)
        notEmpty_.SetEvent();
}

void TMPMessageQueue::Post(TMPMessage message)
{
    std::lock_guard lock(mutex_);
    PushLocked(std::move(message));
}

bool TMPMessageQueue::PostIfAbsent(TMPMessage message)
{
    std::lock_guard lock(mutex_);
    const uint32_t msg = message.Msg;
    if (std::any_of(messages_.begin(), messages_.end(), [msg](const TMPMessage& m) { return m.Msg == msg; }))
        return false;
    PushLocked(std::move(message));
    return true;
}

std::optional<TMPMessage> TMPMessageQueue::Take()
{
    std::lock_guard lock(mutex_);
    if (messages_.empty())
        return std::nullopt;
    TMPMessage message = std::move(messages_.front());
    messages_.pop_front();
    if (messages_.empty())
        notEmpty_.ResetEvent();
    return message;
}

size_t TMPMessageQueue::Remove(uint32_t msg)
{
    std::lock_guard lock(mutex_);
    const size_t before = messages_.size();
    std::erase_if(messages_, [msg](const TMPMessage& m) { return m.Msg == msg; });
    UpdateSignalLocked();
    return before - messages_.size();
}

void TMPMessageQueue::Clear()
{
    std::lock_guard lock(mutex_);
    messages_.clear();
    UpdateSignalLocked();
}

bool TMPMessageQueue::Contains(uint32_t msg) const
{
    std::lock_guard lock(mutex_);
    return std::any_of(messages_.begin(), messages_.end(),
                       [msg](const TMPMessage& m) { return m.Msg == msg; });
}

size_t TMPMessageQueue::Size() const
{
    std::lock_guard lock(mutex_);
    return messages_.size();
}

} // namespace pt4
