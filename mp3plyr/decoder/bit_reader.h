// The bit reader of every layer: most significant bit first, through a 64-bit accumulator that
// is topped up with whole bytes, eight at a time away from the end. It knows where its data ends: bytes at
// and past the end read as zeros, and once a read hands out a bit that lies past the end the reader is
// exhausted. No buffer it reads needs any bytes behind its data.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace pt4 {

// Eight bytes as one number, the first byte highest.
inline uint64_t LoadBigEndian64(const uint8_t* bytes)
{
    uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof(word));
    if constexpr (std::endian::native == std::endian::little)
        word = __builtin_bswap64(word);
    return word;
}

struct BitReader {
    const uint8_t* Pointer = nullptr; // next byte to load; never past End
    uint64_t Accumulator = 0;         // the unread bits, in the low `Count` bits (at most 63)
    int32_t Count = 0;
    int32_t Overrun = 0; // zero bytes loaded from past End
    const uint8_t* Start = nullptr;
    const uint8_t* End = nullptr;

    // Reads from `address` up to `end`; a start at or past `end` reads zeros only.
    void Init(const uint8_t* address, const uint8_t* end)
    {
        Pointer = Start = address < end ? address : end;
        End = end;
        Accumulator = 0;
        Count = 0;
        Overrun = 0;
    }

    // Tops the accumulator up to 56 to 63 bits.
    void Refill()
    {
        if (End - Pointer < 8) [[unlikely]] {
            RefillNearEnd();
            return;
        }
        const uint64_t word = LoadBigEndian64(Pointer);
        const int32_t bytes = (63 - Count) >> 3;
        Accumulator = Accumulator << (8 * bytes) | word >> (64 - 8 * bytes);
        Pointer += bytes;
        Count += 8 * bytes;
    }

    // The next `n` bits, 0 <= n <= 32.
    uint32_t GetBits(int32_t n)
    {
        if (n > Count)
            Refill();
        Count -= n;
        const auto value = static_cast<uint32_t>(Accumulator >> Count);
        Accumulator &= (uint64_t{1} << Count) - 1; // Count <= 63 here
        return value;
    }

    // Drops `n` bits (any n >= 0). A long skip moves the byte pointer and loads just one byte.
    void SkipBits(int32_t n)
    {
        if (n <= Count) {
            Count -= n;
            Accumulator &= (uint64_t{1} << Count) - 1;
            return;
        }
        const int32_t rest = n - Count;
        Advance(rest / 8);
        Accumulator = NextByte();
        Count = 8 - rest % 8;
        Accumulator &= (uint64_t{1} << Count) - 1;
    }

    int32_t BitsUsed() const { return static_cast<int32_t>(Pointer - Start + Overrun) * 8 - Count; }

    // A bit past the end has been handed out.
    bool Exhausted() const { return Overrun * 8 > Count; }

    void RefillNearEnd()
    {
        // Zeros only as far as a read of 32 bits needs them: a caller may still move End on.
        while (Count <= 55 && Pointer < End) {
            Accumulator = (Accumulator << 8) | *Pointer++;
            Count += 8;
        }
        while (Count < 32) {
            Accumulator <<= 8;
            Count += 8;
            ++Overrun;
        }
    }

    uint64_t NextByte()
    {
        if (Pointer < End)
            return *Pointer++;
        ++Overrun;
        return 0;
    }

    void Advance(int32_t bytes)
    {
        const auto left = static_cast<int32_t>(End - Pointer);
        if (bytes <= left) {
            Pointer += bytes;
        } else {
            Pointer = End;
            Overrun += bytes - left;
        }
    }
};

} // namespace pt4
