// The Layer III bit reader: a 32-bit accumulator refilled a byte at a time, most significant
// bit first. It loads up to 4 bytes past the last bit it hands out, so every buffer it reads
// needs 4 readable bytes of slack behind its data.
#pragma once

#include <cstdint>

namespace pt4
{

struct Layer3BitReader {
    const uint8_t* Pointer = nullptr; // next byte to load
    uint32_t Accumulator = 0;         // the unread bits, in the low `Count` bits
    int32_t Count = 0;
    const uint8_t* Start = nullptr;
    const uint8_t* Limit = nullptr; // overrun limit for the Huffman decoders

    void BitReaderInit(const uint8_t* address)
    {
        Pointer = Start = address;
        Accumulator = 0;
        Count = 0;
    }

    void Refill()
    {
        while (Count <= 24) {
            Accumulator = (Accumulator << 8) | *Pointer++;
            Count += 8;
        }
    }

    // n = 0 ... 25
    uint32_t GetBits(int n)
    {
        if (n > Count)
            Refill();
        Count -= n;
        const uint32_t value = static_cast<uint32_t>(static_cast<uint64_t>(Accumulator) >> Count);
        Accumulator -= static_cast<uint32_t>(static_cast<uint64_t>(value) << Count);
        return value;
    }

    int32_t BitsUsed() const { return static_cast<int32_t>(Pointer - Start) * 8 - Count; }

    void SetBitLimit(const uint8_t* address) { Limit = address; }

    bool PastLimit() const { return Pointer > Limit; }
};

} // namespace pt4
