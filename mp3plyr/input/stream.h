// The byte source behind the buffered reader: read, position and size. Offsets are 64-bit: files
// and pipes pass 2 GiB (37 hours at 128 kbit/s).
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

    // Moves the read position to origin + offset and returns it; a negative target throws.
    // A position past the end is allowed; reads there deliver 0 bytes.
    virtual int64_t Seek(int64_t offset, int origin) = 0;

    // Total length in bytes.
    virtual int64_t Size() = 0;
};

// Offsets beyond this are no position in any stream: seeks there throw, and sums of an offset
// and a length below it stay inside 64 bits.
inline constexpr int64_t kMaxStreamOffset = int64_t{1} << 62;

// The new position for a seek, or throws EMP3Error when it falls outside 0 .. kMaxStreamOffset
// or the origin is unknown. Shared by the stream classes.
int64_t ResolveSeekTarget(int64_t offset, int origin, int64_t current, int64_t size);

} // namespace pt4
