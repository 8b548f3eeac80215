#include "mp3plyr/player/frame_counter.h"

#include "mp3plyr/input/file_stream.h"

namespace pt4 {

uint64_t TFrameCounter::Start(const std::string& fileName, const TFrameIndexStart& start,
                              std::function<void()> finished)
{
    Cancel();
    cancelled_ = false;
    const uint64_t count = ++counts_;
    thread_ = std::thread([this, fileName, start, count, finished = std::move(finished)] {
        try {
            TMPFileStream stream(fileName);
            std::vector<int64_t> offsets = IndexFrames(stream, start, cancelled_);
            if (cancelled_)
                return;
            {
                std::lock_guard held(resultLock_);
                result_ = TResult{count, std::move(offsets)};
            }
            finished();
        } catch (const std::exception&) {
            // A file gone or unreadable meanwhile keeps its estimate.
        }
    });
    return count;
}

void TFrameCounter::Cancel()
{
    cancelled_ = true;
    if (thread_.joinable())
        thread_.join();
    std::lock_guard held(resultLock_);
    result_.reset();
}

std::optional<TFrameCounter::TResult> TFrameCounter::Take()
{
    std::lock_guard held(resultLock_);
    std::optional<TResult> result = std::move(result_);
    result_.reset();
    return result;
}

} // namespace pt4
