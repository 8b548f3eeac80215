#include "mp3plyr/input/stream.h"

#include <limits>
#include <string>

#include "mp3plyr/errors.h"

namespace pt4 {

int32_t ResolveSeekTarget(int64_t offset, int origin, int32_t current, int32_t size)
{
    int64_t base = 0;
    switch (origin) {
    case kSeekFromBeginning: base = 0; break;
    case kSeekFromCurrent: base = current; break;
    case kSeekFromEnd: base = size; break;
    default: throw EMP3Error(TErrorKind::Internal, "invalid seek origin " + std::to_string(origin) + ".");
    }
    // |offset| beyond 2^62 cannot land in range anyway; check before adding to stay defined.
    constexpr int64_t kLimit = int64_t{1} << 62;
    if (offset > kLimit || offset < -kLimit)
        throw EMP3Error(TErrorKind::Internal, "seek outside the stream.");
    const int64_t target = base + offset;
    if (target < 0 || target > std::numeric_limits<int32_t>::max())
        throw EMP3Error(TErrorKind::Internal,
                        "seek outside the stream (offset " + std::to_string(target) + ").");
    return static_cast<int32_t>(target);
}

} // namespace pt4
