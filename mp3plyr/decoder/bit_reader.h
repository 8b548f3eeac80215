// The bit reader of every layer: most significant bit first, through a 64-bit accumulator that
// is topped up with whole bytes, eight at a time away from the end. It knows where its data ends: bytes at
// and past the end read as zeros, and once a read hands out a bit that lies past the end the reader is
// exhausted. No buffer it reads needs any bytes behind its data.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Marks a routine that reads bits to be compiled a second time for processors with AVX2 and
// BMI2, whose shifts by a register count need neither a fixed register nor the flags; the
// program picks the form when it starts. Integer work only, so both forms give the same values.
// Not in sanitizer builds: the picking runs while the program is being loaded, before the
// sanitizer's runtime is ready, and its instrumented code crashes there.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__) &&      \
    !defined(__SANITIZE_ADDRESS__)
#define PT4_SHIFT_CLONES __attribute__((target_clones("default", "arch=x86-64-v3")))
#else
#define PT4_SHIFT_CLONES
#endif

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
    uint64_t Accumulator = 0;         // the unread bits from the top, zeros below the `Count` of them
    int32_t Count = 0;                // at most 63
    int32_t Overrun = 0;              // zero bytes loaded from past End
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
        const int32_t bytes = (63 - Count) >> 3;
        const uint64_t loaded = LoadBigEndian64(Pointer) & ~(~uint64_t{0} >> (8 * bytes));
        Accumulator |= loaded >> Count;
        Pointer += bytes;
        Count += 8 * bytes;
    }

    // The next `n` bits, 0 <= n <= 32.
    uint32_t GetBits(int32_t n)
    {
        if (n > Count)
            Refill();
        const auto value = static_cast<uint32_t>((Accumulator >> 1) >> (63 - n)); // n = 0 gives 0
        Accumulator <<= n;
        Count -= n;
        return value;
    }

    // Drops `n` bits (any n >= 0). A long skip moves the byte pointer and loads just one byte.
    void SkipBits(int32_t n)
    {
        if (n <= Count) {
            Accumulator = n < 64 ? Accumulator << n : 0;
            Count -= n;
            return;
        }
        const int32_t rest = n - Count;
        Advance(rest / 8);
        Accumulator = NextByte() << (56 + rest % 8);
        Count = 8 - rest % 8;
    }

    int32_t BitsUsed() const { return static_cast<int32_t>(Pointer - Start + Overrun) * 8 - Count; }

    // A bit past the end has been handed out.
    bool Exhausted() const { return Overrun * 8 > Count; }

    void RefillNearEnd()
    {
        // Zeros only as far as a read of 32 bits needs them: a caller may still move End on.
        while (Count <= 55 && Pointer < End) {
            Accumulator |= uint64_t{*Pointer++} << (56 - Count);
            Count += 8;
        }
        while (Count < 32) {
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
