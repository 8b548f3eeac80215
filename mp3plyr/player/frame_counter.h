// Counts the frames of an open local file on a thread of its own, so that opening never waits
// for the walk over the whole file; the player takes the index when the count is done.
#pragma once

#include "mp3plyr/player/frame_source.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pt4 {

class TFrameCounter {
public:
    TFrameCounter() = default;
    ~TFrameCounter() { Cancel(); }
    TFrameCounter(const TFrameCounter&) = delete;
    TFrameCounter& operator=(const TFrameCounter&) = delete;

    // Cancels a count under way, then counts the frames of `fileName` (opened anew, so the
    // player's own reader is never touched). `finished` runs on the counting thread once the
    // index is ready to Take. Returns the count's number, which Take hands back with its index.
    uint64_t Start(const std::string& fileName, const TFrameIndexStart& start,
                   std::function<void()> finished);
    // Stops the count under way, if any, and waits for its thread; a finished index is dropped.
    // It never waits for anything but the walk, which checks for the cancel at every frame.
    void Cancel();

    struct TResult {
        uint64_t Count = 0;
        std::vector<int64_t> Offsets;
    };
    // The finished index, once.
    std::optional<TResult> Take();

private:
    std::thread thread_;
    std::atomic<bool> cancelled_{false};
    uint64_t counts_ = 0;   // owner of Start and Cancel only
    std::mutex resultLock_; // guards result_
    std::optional<TResult> result_;
};

} // namespace pt4
