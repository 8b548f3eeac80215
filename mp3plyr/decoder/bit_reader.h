// The bit reader of every layer: most significant bit first, through a 32-bit accumulator that
// is topped up with whole bytes. It knows where its data ends: bytes at and past the end read as
// zeros, and once a read hands out a bit that lies past the end the reader is exhausted. No
// buffer it reads needs any bytes behind its data.
#pragma once

#include <cstdint>

namespace pt4 {

struct BitReader {
    const uint8_t* Pointer = nullptr; // next byte to load; never past End
    uint32_t Accumulator = 0;         // the unread bits, in the low `Count` bits
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

    // Tops the accumulator up to 25 to 32 bits.
    void Refill()
    {
        if (End - Pointer < 4) [[unlikely]] {
            RefillNearEnd();
            return;
        }
        const uint32_t word = uint32_t{Pointer[0]} << 24 | uint32_t{Pointer[1]} << 16 |
                              uint32_t{Pointer[2]} << 8 | uint32_t{Pointer[3]};
        const int32_t bytes = (32 - Count) >> 3;
        Accumulator =
            static_cast<uint32_t>(uint64_t{Accumulator} << (8 * bytes) | uint64_t{word >> (32 - 8 * bytes)});
        Pointer += bytes;
        Count += 8 * bytes;
    }

    // The next `n` bits, 0 <= n <= 25.
    uint32_t GetBits(int32_t n)
    {
        if (n > Count)
            Refill();
        if (n == 0)
            return 0;
        Count -= n;
        const uint32_t value = Accumulator >> Count;
        Accumulator &= (uint32_t{1} << Count) - 1; // Count <= 31 here
        return value;
    }

    // Drops `n` bits (any n >= 0). A long skip moves the byte pointer and loads just one byte.
    void SkipBits(int32_t n)
    {
        if (n <= Count) {
            Count -= n;
            Accumulator &= Count >= 32 ? ~uint32_t{0} : (uint32_t{1} << Count) - 1;
            return;
        }
        const int32_t rest = n - Count;
        Advance(rest / 8);
        Accumulator = NextByte();
        Count = 8 - rest % 8;
        Accumulator &= (uint32_t{1} << Count) - 1;
    }

    int32_t BitsUsed() const { return static_cast<int32_t>(Pointer - Start + Overrun) * 8 - Count; }

    // A bit past the end has been handed out.
    bool Exhausted() const { return Overrun * 8 > Count; }

#if defined(__GNUC__) || defined(__clang__)
    __attribute__((noinline))
#endif
    void
    RefillNearEnd()
    {
        while (Count <= 24) {
            Accumulator = (Accumulator << 8) | NextByte();
            Count += 8;
        }
    }

    uint32_t NextByte()
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
