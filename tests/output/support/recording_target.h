// A message target that records what reaches it and on which thread, for the thread and window tests.
#pragma once

#include "mp3plyr/runtime/messages.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pt4::test {

struct Received {
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
    std::thread::id thread;
};

class RecordingTarget : public TMPMessageTarget {
public:
    // Runs after the message is recorded, on the dispatching thread.
    std::function<void(TMPMessage&)> onMessage;

    void Dispatch(TMPMessage& message) override;

    std::vector<Received> Log() const;
    std::vector<uint32_t> Numbers() const;
    size_t Count(uint32_t msg) const;
    // Waits (up to the deadlock guard, then fails the process) until `count` copies of `msg` arrived.
    void WaitForCount(uint32_t msg, size_t count) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::vector<Received> log_;
};

} // namespace pt4::test
