#include "mp3plyr/input/stream.h"

#include <limits>
#include <string>

#include "mp3plyr/errors.h"

namespace pt4 {

int64_t ResolveSeekTarget(int64_t offset, int origin, int64_t current, int64_t size)
{
    int64_t base = 0;
    switch (origin) {
    case kSeekFromBeginning: base = 0; break;
    case kSeekFromCurrent: base = current; break;
    case kSeekFromEnd: base = size; break;
    default: throw EMP3Error(TErrorKind::Internal, "invalid seek origin " + std::to_string(origin) + ".");
    }
    // Both terms are checked before they are added, so that the sum stays defined.
    if (offset > kMaxStreamOffset || offset < -kMaxStreamOffset || base < 0 || base > kMaxStreamOffset)
        throw EMP3Error(TErrorKind::Internal, "seek outside the stream.");
    const int64_t target = base + offset;
    if (target < 0 || target > kMaxStreamOffset)
        throw EMP3Error(TErrorKind::Internal,
                        "seek outside the stream (offset " + std::to_string(target) + ").");
    return target;
}

} // namespace pt4
