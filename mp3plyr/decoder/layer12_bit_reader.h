// The bit reader of Layers I and II: reads a frame's bytes straight from the caller's buffer,
// most significant bit first, through a 32-bit accumulator refilled a byte at a time.
#pragma once

#include <cstdint>

namespace pt4
{

struct Layer12BitReader {
    const uint8_t* Next = nullptr; // next byte to load
    uint32_t Accumulator = 0;      // the unread bits, in the low `Count` bits
    int32_t Count = 0;
};

inline void LoadInit(Layer12BitReader& reader, const uint8_t* address)
{
    reader.Next = address;
    reader.Accumulator = 0;
    reader.Count = 0;
}

// The next `n` bits, 0 <= n <= 25. A refill tops the accumulator up to 25 to 32 bits with whole
// bytes, so the reader holds up to 4 bytes past the last bit it hands out; the caller's buffer
// must have that slack.
inline uint32_t LoadBits(Layer12BitReader& reader, int32_t n)
{
    if (n > reader.Count) {
        // The bytes that fit, taken from one 4-byte load: the furthest byte it touches lies
        // within 4 bytes of the last bit this call hands out.
        const uint32_t word = uint32_t(reader.Next[0]) << 24 | uint32_t(reader.Next[1]) << 16 |
                              uint32_t(reader.Next[2]) << 8 | uint32_t(reader.Next[3]);
        const int32_t bytes = (32 - reader.Count) >> 3;
        reader.Accumulator =
            uint32_t(uint64_t(reader.Accumulator) << (8 * bytes) | uint64_t(word >> (32 - 8 * bytes)));
        reader.Next += bytes;
        reader.Count += 8 * bytes;
    }
    if (n == 0)
        return 0;
    reader.Count -= n;
    const uint32_t value = reader.Accumulator >> reader.Count;
    reader.Accumulator &= (uint32_t(1) << reader.Count) - 1; // Count <= 31 here
    return value;
}

// Drops `n` bits (any n >= 0). A long skip moves the byte pointer and loads just one byte.
inline void SkipBits(Layer12BitReader& reader, int32_t n)
{
    if (n <= reader.Count) {
        reader.Count -= n;
        reader.Accumulator &= reader.Count >= 32 ? ~uint32_t(0) : (uint32_t(1) << reader.Count) - 1;
        return;
    }
    const int32_t rest = n - reader.Count;
    reader.Next += rest / 8;
    reader.Accumulator = *reader.Next++;
    reader.Count = 8 - rest % 8;
    reader.Accumulator &= (uint32_t(1) << reader.Count) - 1;
}

} // namespace pt4
