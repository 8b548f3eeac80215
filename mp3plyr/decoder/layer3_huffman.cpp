// Huffman decoding of the spectral values: big-value pairs through multi-level lookup tables,
// count-1 quads, working on the reader's accumulator directly.
#include "mp3plyr/decoder/layer3_huffman_tables.h"
#include "mp3plyr/decoder/layer3_stages.h"

#include <algorithm>
#include <array>

namespace pt4 {
namespace {

// The reader's state held in locals while a region is decoded, refilled as the reader itself
// refills (eight bytes at once away from the end, zeros counted past it).
struct BitCursor {
    const uint8_t* pointer;
    uint64_t accumulator; // the unread bits from the top, zeros below the `count` of them
    int32_t count;
    int32_t overrun;
    const uint8_t* end;

    explicit BitCursor(const BitReader& reader)
        : pointer(reader.Pointer), accumulator(reader.Accumulator), count(reader.Count),
          overrun(reader.Overrun), end(reader.End)
    {
    }

    void store(BitReader& reader) const
    {
        reader.Pointer = pointer;
        reader.Count = count;
        reader.Overrun = overrun;
        reader.Accumulator = accumulator;
    }

    // A bit past the reader's end has been taken.
    bool exhausted() const { return overrun != 0 && overrun * 8 > count; }

    void refill()
    {
        if (end - pointer < 8) [[unlikely]] {
            refillNearEnd();
            return;
        }
        const int32_t bytes = (63 - count) >> 3;
        const uint64_t loaded = LoadBigEndian64(pointer) & ~(~uint64_t{0} >> (8 * bytes));
        accumulator |= loaded >> count;
        count += 8 * bytes;
        pointer += bytes;
    }

    void refillNearEnd()
    {
        while (count <= 55 && pointer < end) {
            accumulator |= uint64_t{*pointer++} << (56 - count);
            count += 8;
        }
        while (count < 32) {
            count += 8;
            ++overrun;
        }
    }

    void ensure(int32_t bits)
    {
        if (count < bits)
            refill();
    }

    // The next `bits` bits, 1 <= bits <= 32, without taking them.
    uint32_t peek(int32_t bits) const { return static_cast<uint32_t>(accumulator >> (64 - bits)); }

    void skip(int32_t bits)
    {
        accumulator <<= bits;
        count -= bits;
    }

    uint32_t get(int32_t bits)
    {
        const uint32_t value = peek(bits);
        skip(bits);
        return value;
    }
};

// A value of a table with linbits and its sign, the bits already there (2 * linbits + 2 cover
// both values of a pair): the escape 15 adds linbits more, a non-zero value has a sign bit.
// Without decisions on the data, which the processor could not foresee.
inline int32_t ReadEscapedValue(BitCursor& bits, int32_t value, int32_t linbits)
{
    const int32_t escaped = value == 15 ? -1 : 0;
    value += static_cast<int32_t>(bits.peek(linbits)) & escaped;
    bits.skip(linbits & escaped);
    const int32_t hasSign = value != 0 ? 1 : 0;
    const int32_t negative = hasSign & static_cast<int32_t>(bits.peek(1));
    bits.skip(hasSign);
    return (value ^ -negative) + negative;
}

} // namespace

// Compiled a second time for processors with AVX2 and BMI2 (shifts by a register without
// flags), chosen when the program starts; both give the same values.
PT4_SHIFT_CLONES void DecodeBigValues(BitReader& reader, int32_t* lines, int32_t count, int32_t tableSelect)
{
    const HuffmanTableDescriptor& table = kHuffmanTables[static_cast<size_t>(tableSelect & 31)];
    const int32_t pairs = count / 2;
    if (table.codes == nullptr) {
        std::fill(lines, lines + 2 * pairs, 0);
        return;
    }
    const uint16_t* codes = table.codes;
    const int32_t linbits = table.linbits;
    BitCursor bits(reader);
    for (int32_t pair = 0; pair < pairs; ++pair) {
        int32_t width = table.firstWidth;
        bits.ensure(width);
        uint32_t entry = codes[bits.peek(width)];
        while (entry & kHuffmanLinkFlag) {
            bits.skip(width);
            width = static_cast<int32_t>((entry >> 11) & 15);
            bits.ensure(width);
            entry = codes[(entry & 0x7FF) + bits.peek(width)];
        }
        bits.skip(static_cast<int32_t>((entry >> 8) & 15));
        int32_t x = static_cast<int32_t>((entry >> 4) & 15);
        int32_t y = static_cast<int32_t>(entry & 15);
        if (linbits == 0) {
            // The sign bits of the non-zero values, without a decision on the data: a value of
            // 0 has none, so y's sign is the first or the second of the next two bits.
            bits.ensure(2);
            const uint32_t signs = bits.peek(2);
            const int32_t hasX = x != 0 ? 1 : 0;
            const int32_t hasY = y != 0 ? 1 : 0;
            const int32_t negativeX = hasX & static_cast<int32_t>(signs >> 1);
            const int32_t negativeY = hasY & static_cast<int32_t>((signs >> (1 - hasX)) & 1);
            x = (x ^ -negativeX) + negativeX;
            y = (y ^ -negativeY) + negativeY;
            bits.skip(hasX + hasY);
        } else {
            bits.ensure(2 * linbits + 2);
            x = ReadEscapedValue(bits, x, linbits);
            y = ReadEscapedValue(bits, y, linbits);
        }
        lines[2 * pair] = x;
        lines[2 * pair + 1] = y;
        if (bits.exhausted())
            break;
    }
    bits.store(reader);
}

namespace {

// A quad and its sign bits in one lookup: bits 0-3 hold the bits used (code and signs),
// bits 4-11 the four values v w x y (2 bits each, value + 1), bits 12-15 the vwxy pattern.
// Table A is indexed by 10 peeked bits, table B by 8.
struct Count1Lookup {
    std::array<uint16_t, 1024> A;
    std::array<uint16_t, 256> B;
};

uint16_t Count1Entry(uint32_t pattern, int32_t codeLength, uint32_t following, int32_t followingBits)
{
    int32_t used = codeLength;
    uint32_t values = 0;
    for (int i = 0; i < 4; ++i) {
        int32_t v = 0;
        if (pattern & (8u >> i)) {
            ++used;
            v = ((following >> (followingBits - (used - codeLength))) & 1) ? -1 : 1;
        }
        values |= static_cast<uint32_t>(v + 1) << (2 * i);
    }
    return static_cast<uint16_t>(used | values << 4 | pattern << 12);
}

const Count1Lookup& GetCount1Lookup()
{
    static const Count1Lookup lookup = [] {
        Count1Lookup table{};
        for (uint32_t i = 0; i < 1024; ++i) {
            const uint32_t code = kCount1TableA[i >> 4];
            const auto length = static_cast<int32_t>(code >> 4);
            table.A[i] = Count1Entry(code & 15, length, i & ((1u << (10 - length)) - 1), 10 - length);
        }
        for (uint32_t i = 0; i < 256; ++i)
            table.B[i] = Count1Entry((i >> 4) ^ 15, 4, i & 15, 4);
        return table;
    }();
    return lookup;
}

} // namespace

PT4_SHIFT_CLONES int32_t DecodeCount1(BitReader& reader, int32_t* lines, int32_t count, int32_t bitBudget,
                                      int32_t count1TableSelect)
{
    const int32_t quads = count / 4;
    const Count1Lookup& lookup = GetCount1Lookup();
    const bool tableB = count1TableSelect != 0;
    const uint16_t* table = tableB ? lookup.B.data() : lookup.A.data();
    const int32_t peekBits = tableB ? 8 : 10;
    const int32_t minimumBudget = tableB ? 4 : 1;
    int32_t lastIndex = -1;
    uint32_t lastPattern = 15;
    int32_t stored = 0;
    BitCursor bits(reader);
    while (stored < quads && bitBudget >= minimumBudget) {
        bits.ensure(peekBits);
        const uint32_t entry = table[bits.peek(peekBits)];
        const auto used = static_cast<int32_t>(entry & 15);
        bits.skip(used);
        bitBudget -= used;
        int32_t* quad = lines + 4 * stored;
        quad[0] = static_cast<int32_t>((entry >> 4) & 3) - 1;
        quad[1] = static_cast<int32_t>((entry >> 6) & 3) - 1;
        quad[2] = static_cast<int32_t>((entry >> 8) & 3) - 1;
        quad[3] = static_cast<int32_t>((entry >> 10) & 3) - 1;
        if (entry >> 12) {
            lastIndex = stored;
            lastPattern = entry >> 12;
        }
        ++stored;
        if (bits.exhausted())
            break;
    }
    // A quad that ran over the channel's bits was never coded: drop it.
    if (bitBudget < 0 && stored > 0)
        std::fill(lines + 4 * (stored - 1), lines + 4 * stored, 0);
    bits.store(reader);
    return (lastIndex + 1) * 4 - ((lastPattern & 3) == 0 ? 2 : 0);
}

int32_t DecodeSpectrum(BitReader& reader, int32_t* lines, const TGranuleInfo& gi, const Layer3Layout& layout,
                       int32_t bitOffset)
{
    const int32_t bandLimit = layout.BandLimit;
    const int32_t bigEnd = std::min(2 * gi.big_values, bandLimit);
    const int32_t region1 = std::min(layout.LongBandEnd[static_cast<size_t>(gi.region0_count & 15)], bigEnd);
    const int32_t region2 = std::min(
        layout.LongBandEnd[static_cast<size_t>(std::min(gi.region0_count + gi.region1_count + 1, 23))],
        bigEnd);

    DecodeBigValues(reader, lines, region1, gi.table_select[0]);
    DecodeBigValues(reader, lines + region1, region2 - region1, gi.table_select[1]);
    DecodeBigValues(reader, lines + region2, bigEnd - region2, gi.table_select[2]);
    const int32_t budget = gi.part2_3_length + bitOffset - reader.BitsUsed();
    const int32_t nonZero =
        bigEnd + DecodeCount1(reader, lines + bigEnd, bandLimit - bigEnd, budget, gi.count1table_select);

    const int32_t limit = gi.block_type == 2 ? layout.ShortLimit : layout.LongLimit;
    std::fill(lines + std::min(nonZero, limit), lines + kGranuleLines, 0);
    if (reader.Exhausted()) {
        std::fill(lines, lines + kGranuleLines, 0);
        return 0;
    }
    return nonZero;
}

} // namespace pt4
