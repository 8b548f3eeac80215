#include "counting_stream.h"

#include <algorithm>
#include <cstring>

#include "mp3plyr/errors.h"

namespace pt4::test {

int32_t CountingStream::Read(void* buffer, int32_t count)
{
    readRequests_.push_back(count);
    const auto size = static_cast<int64_t>(bytes_.size());
    auto delivered = static_cast<int32_t>(std::clamp<int64_t>(size - position_, 0, count));
    if (maxDelivery_ > 0)
        delivered = std::min(delivered, maxDelivery_);
    if (delivered > 0 && position_ < failEnd_ && position_ + delivered > failBegin_)
        throw EMP3Error("test read failure");
    if (delivered > 0)
        std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(delivered));
    position_ += delivered;
    return delivered;
}

int64_t CountingStream::Seek(int64_t offset, int origin)
{
    seeks_.push_back({offset, origin});
    if (failSeekCountdown_ > 0 && --failSeekCountdown_ == 0)
        throw EMP3Error("test seek failure");
    position_ = ResolveSeekTarget(offset, origin, position_, static_cast<int64_t>(bytes_.size()));
    return position_;
}

int64_t CountingStream::Size()
{
    ++sizeQueries_;
    if (failSize_)
        throw EMP3Error("test size failure");
    return static_cast<int64_t>(bytes_.size());
}

void CountingStream::ClearLog()
{
    readRequests_.clear();
    seeks_.clear();
    sizeQueries_ = 0;
}

} // namespace pt4::test
