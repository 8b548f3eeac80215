#include "output/support/recording_target.h"

#include "output/support/deadline.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace pt4::test {

void RecordingTarget::Dispatch(TMPMessage& message)
{
    {
        std::lock_guard lock(mutex_);
        log_.push_back({message.Msg, message.WParam, message.LParam, std::this_thread::get_id()});
    }
    arrived_.notify_all();
    if (onMessage)
        onMessage(message);
}

std::vector<Received> RecordingTarget::Log() const
{
    std::lock_guard lock(mutex_);
    return log_;
}

std::vector<uint32_t> RecordingTarget::Numbers() const
{
    std::lock_guard lock(mutex_);
    std::vector<uint32_t> numbers;
    for (const Received& r : log_)
        numbers.push_back(r.msg);
    return numbers;
}

size_t RecordingTarget::Count(uint32_t msg) const
{
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(
        std::count_if(log_.begin(), log_.end(), [msg](const Received& r) { return r.msg == msg; }));
}

void RecordingTarget::WaitForCount(uint32_t msg, size_t count) const
{
    std::unique_lock lock(mutex_);
    auto enough = [&] {
        return static_cast<size_t>(std::count_if(log_.begin(), log_.end(),
                                                 [msg](const Received& r) { return r.msg == msg; })) >= count;
    };
    if (!arrived_.wait_for(lock, kDeadlockGuard, enough)) {
        std::fprintf(stderr, "DEADLOCK: message 0x%X never arrived %zu times\n", msg, count);
        std::fflush(stderr);
        std::_Exit(1);
    }
}

} // namespace pt4::test
