// The byte source behind the buffered reader: read, position and size, with 32-bit offsets.
#pragma once

#include <cstdint>

namespace pt4 {

// Seek origins, as the reader's callers pass them.
inline constexpr int kSeekFromBeginning = 0;
inline constexpr int kSeekFromCurrent = 1;
inline constexpr int kSeekFromEnd = 2;

// A readable, optionally positionable source. Failures are thrown (EMP3Error), never returned.
class TMPStream {
public:
    virtual ~TMPStream() = default;

    // Copies up to `count` bytes (count >= 0) to `buffer`; returns the number delivered,
    // 0 only at the end of the stream.
    virtual int32_t Read(void* buffer, int32_t count) = 0;

    // Moves the read position to origin + offset and returns it. The offset is wide so that
    // callers can pass sums that do not fit 32 bits; a target outside 0 .. 2^31-1 throws.
    // A position past the end is allowed; reads there deliver 0 bytes.
    virtual int32_t Seek(int64_t offset, int origin) = 0;

    // Total length in bytes.
    virtual int32_t Size() = 0;
};

// The new position for a seek, or throws EMP3Error when it falls outside 0 .. 2^31-1 or the
// origin is unknown. Shared by the stream classes.
int32_t ResolveSeekTarget(int64_t offset, int origin, int32_t current, int32_t size);

} // namespace pt4
