#include "mp3plyr/input/memory_stream.h"

#include <algorithm>
#include <cstring>

#include "mp3plyr/errors.h"

namespace pt4 {

TMPMemoryStream::TMPMemoryStream(std::span<const uint8_t> bytes) : bytes_(bytes) {}

TMPMemoryStream::TMPMemoryStream(std::vector<uint8_t> bytes) : owned_(std::move(bytes))
{
    bytes_ = owned_;
}

int32_t TMPMemoryStream::Read(void* buffer, int32_t count)
{
    MP_ASSERT(count >= 0);
    const int64_t available = std::max<int64_t>(0, static_cast<int64_t>(bytes_.size()) - position_);
    const int32_t delivered = static_cast<int32_t>(std::min<int64_t>(count, available));
    if (delivered > 0) {
        std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(delivered));
        position_ += delivered;
    }
    return delivered;
}

int64_t TMPMemoryStream::Seek(int64_t offset, int origin)
{
    position_ = ResolveSeekTarget(offset, origin, position_, Size());
    return position_;
}

} // namespace pt4
