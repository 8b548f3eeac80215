#include "mp3plyr/input/memory_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "mp3plyr/errors.h"

namespace pt4 {

namespace {

std::span<const uint8_t> Checked(std::span<const uint8_t> bytes)
{
    if (bytes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw EMP3Error(TErrorKind::Internal,
                        "memory stream of 2 GiB or more is not supported (offsets are 32-bit).");
    return bytes;
}

} // namespace

TMPMemoryStream::TMPMemoryStream(std::span<const uint8_t> bytes) : bytes_(Checked(bytes)) {}

TMPMemoryStream::TMPMemoryStream(std::vector<uint8_t> bytes) : owned_(std::move(bytes))
{
    bytes_ = Checked(owned_);
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

int32_t TMPMemoryStream::Seek(int64_t offset, int origin)
{
    position_ = ResolveSeekTarget(offset, origin, position_, Size());
    return position_;
}

} // namespace pt4
