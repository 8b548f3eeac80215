#include "mp3plyr/input/stream_reader.h"

#include <algorithm>
#include <cstring>

#include "mp3plyr/errors.h"

namespace pt4 {

TMPStreamReader::TMPStreamReader(int32_t bufferSize) : bufferSize_(bufferSize)
{
    MP_ASSERT(bufferSize > 0);
}

TMPStreamReader::~TMPStreamReader()
{
    Close();
}

void TMPStreamReader::Open(TMPStream* stream, bool seekable)
{
    MP_ASSERT(stream != nullptr);
    Close();
    active_ = true;
    stream_ = stream;
    seekable_ = seekable;
    position_ = 0;
    count_ = 0;
    try {
        buffer_ = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(bufferSize_));
        if (seekable)
            size_ = stream->Size();
    } catch (...) {
        Close();
        throw;
    }
}

void TMPStreamReader::Close()
{
    if (!active_)
        return;
    stream_ = nullptr;
    count_ = 0;
    size_ = 0;
    buffer_.reset();
    active_ = false;
}

bool TMPStreamReader::Fill(int32_t n)
{
    MP_ASSERT(stream_ != nullptr);
    MP_ASSERT(n >= 0 && n <= bufferSize_);
    MP_ASSERT(buffer_ != nullptr);
    while (count_ < n) {
        const int32_t need = n - count_;
        int32_t request = need >= kReadAhead ? need : std::min(bufferSize_ - count_, kReadAhead);
        // Bytes delivered by earlier reads of this call stay counted if a later read throws:
        // the stream has moved past them, so dropping them would desynchronise the buffer.
        const int32_t delivered = stream_->Read(buffer_.get() + count_, request);
        if (delivered <= 0)
            return false;
        MP_ASSERT(delivered <= request);
        count_ += delivered;
    }
    return true;
}

void TMPStreamReader::Consume(int32_t n)
{
    count_ -= n;
    if (count_ > 0)
        std::memmove(buffer_.get(), buffer_.get() + n, static_cast<size_t>(count_));
    position_ += n;
}

bool TMPStreamReader::Skip(int32_t n)
{
    MP_ASSERT(stream_ != nullptr);
    MP_ASSERT(n >= 0);
    if (n <= count_) {
        Consume(n);
        return true;
    }
    if (seekable_) {
        if (position_ + n > size_) {
            Seek(0, kSeekFromEnd);
            return false;
        }
        Seek(n, kSeekFromCurrent);
        return true;
    }
    for (;;) {
        if (!Fill(1))
            return false;
        Fill(bufferSize_);
        if (n <= count_) {
            Consume(n);
            return true;
        }
        position_ += count_;
        n -= count_;
        count_ = 0;
    }
}

int64_t TMPStreamReader::Seek(int64_t offset, int16_t origin)
{
    MP_ASSERT(stream_ != nullptr);
    MP_ASSERT(seekable_);
    int64_t streamOffset = offset;
    // The stream stands Count bytes ahead of the logical read point.
    if (origin == kSeekFromCurrent)
        streamOffset -= count_;
    const int64_t landed = stream_->Seek(streamOffset, origin);
    position_ = landed;
    count_ = 0;
    return landed;
}

} // namespace pt4
