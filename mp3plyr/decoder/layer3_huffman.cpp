// Huffman decoding of the spectral values: big-value pairs through multi-level lookup tables,
// count-1 quads, working on the reader's accumulator directly.
#include "mp3plyr/decoder/layer3_huffman_tables.h"
#include "mp3plyr/decoder/layer3_stages.h"

#include <algorithm>

namespace pt4 {
namespace {

// The reader's state held in locals while a region is decoded. Refills load the next 4 bytes
// at once and keep as many whole bytes as fit, which is what the byte-wise refill keeps.
struct BitCursor {
    const uint8_t* pointer;
    uint32_t accumulator; // bits above `count` are stale and masked off when peeked
    int32_t count;

    explicit BitCursor(const Layer3BitReader& reader)
        : pointer(reader.Pointer), accumulator(reader.Accumulator), count(reader.Count)
    {
    }

    void store(Layer3BitReader& reader) const
    {
        reader.Pointer = pointer;
        reader.Count = count;
        reader.Accumulator = static_cast<uint32_t>(accumulator & ((uint64_t{1} << count) - 1));
    }

    void refill()
    {
        const uint32_t word = (uint32_t{pointer[0]} << 24) | (uint32_t{pointer[1]} << 16) |
                              (uint32_t{pointer[2]} << 8) | uint32_t{pointer[3]};
        const int32_t bytes = (32 - count) >> 3;
        accumulator = static_cast<uint32_t>((static_cast<uint64_t>(accumulator) << (8 * bytes)) |
                                            (word >> (32 - 8 * bytes)));
        count += 8 * bytes;
        pointer += bytes;
    }

    void ensure(int32_t bits)
    {
        if (count < bits)
            refill();
    }

    uint32_t peek(int32_t bits) const { return (accumulator >> (count - bits)) & ((1u << bits) - 1); }

    uint32_t get(int32_t bits)
    {
        const uint32_t value = peek(bits);
        count -= bits;
        return value;
    }
};

inline int32_t ReadEscapedValue(BitCursor& bits, int32_t value, int32_t linbits)
{
    if (value == 15 && linbits != 0) {
        bits.ensure(linbits + 1);
        value += static_cast<int32_t>(bits.get(linbits));
    }
    bits.ensure(1);
    return bits.get(1) ? -value : value;
}

} // namespace

void DecodeBigValues(Layer3BitReader& reader, int32_t* lines, int32_t count, int32_t tableSelect)
{
    const HuffmanTableDescriptor& table = kHuffmanTables[static_cast<size_t>(tableSelect & 31)];
    const int32_t pairs = count / 2;
    if (table.codes == nullptr) {
        std::fill(lines, lines + 2 * pairs, 0);
        return;
    }
    const uint16_t* codes = table.codes;
    const int32_t linbits = table.linbits;
    const uint8_t* limit = reader.Limit;
    BitCursor bits(reader);
    for (int32_t pair = 0; pair < pairs; ++pair) {
        int32_t width = table.firstWidth;
        bits.ensure(width);
        uint32_t entry = codes[bits.peek(width)];
        while (entry & kHuffmanLinkFlag) {
            bits.count -= width;
            width = static_cast<int32_t>((entry >> 11) & 15);
            bits.ensure(width);
            entry = codes[(entry & 0x7FF) + bits.peek(width)];
        }
        bits.count -= static_cast<int32_t>((entry >> 8) & 15);
        int32_t x = static_cast<int32_t>((entry >> 4) & 15);
        int32_t y = static_cast<int32_t>(entry & 15);
        if (x != 0)
            x = ReadEscapedValue(bits, x, linbits);
        if (y != 0)
            y = ReadEscapedValue(bits, y, linbits);
        lines[2 * pair] = x;
        lines[2 * pair + 1] = y;
        if (bits.pointer > limit)
            break;
    }
    bits.store(reader);
}

int32_t DecodeCount1(Layer3BitReader& reader, int32_t* lines, int32_t count, int32_t bitBudget,
                     int32_t count1TableSelect)
{
    const int32_t quads = count / 4;
    int32_t lastIndex = -1;
    int32_t lastValue = 15;
    int32_t stored = 0;
    const uint8_t* limit = reader.Limit;
    BitCursor bits(reader);
    while (stored < quads) {
        int32_t value;
        if (count1TableSelect == 0) {
            if (bitBudget < 1)
                break;
            bits.ensure(10);
            const uint32_t entry = kCount1TableA[bits.peek(6)];
            const auto length = static_cast<int32_t>(entry >> 4);
            bits.count -= length;
            bitBudget -= length;
            value = static_cast<int32_t>(entry & 15);
        } else {
            if (bitBudget < 4)
                break;
            bits.ensure(8);
            value = static_cast<int32_t>(bits.get(4) ^ 15);
            bitBudget -= 4;
        }
        int32_t* quad = lines + 4 * stored;
        for (int i = 0; i < 4; ++i) {
            int32_t v = (value >> (3 - i)) & 1;
            if (v) {
                v = bits.get(1) ? -1 : 1;
                --bitBudget;
            }
            quad[i] = v;
        }
        if (value != 0) {
            lastIndex = stored;
            lastValue = value;
        }
        ++stored;
        if (bits.pointer > limit)
            break;
    }
    // A quad that ran over the channel's bits was never coded: drop it.
    if (bitBudget < 0 && stored > 0)
        std::fill(lines + 4 * (stored - 1), lines + 4 * stored, 0);
    bits.store(reader);
    return (lastIndex + 1) * 4 - ((lastValue & 3) == 0 ? 2 : 0);
}

int32_t DecodeSpectrum(Layer3BitReader& reader, int32_t* lines, const TGranuleInfo& gi,
                       const Layer3Layout& layout, int32_t bitOffset)
{
    const int32_t bandLimit = layout.BandLimit;
    const int32_t bigEnd = std::min(2 * gi.big_values, bandLimit);
    const int32_t region1 = std::min(layout.LongBandEnd[static_cast<size_t>(gi.region0_count & 15)], bigEnd);
    const int32_t region2 = std::min(
        layout.LongBandEnd[static_cast<size_t>(std::min(gi.region0_count + gi.region1_count + 1, 23))], bigEnd);

    DecodeBigValues(reader, lines, region1, gi.table_select[0]);
    DecodeBigValues(reader, lines + region1, region2 - region1, gi.table_select[1]);
    DecodeBigValues(reader, lines + region2, bigEnd - region2, gi.table_select[2]);
    const int32_t budget = gi.part2_3_length + bitOffset - reader.BitsUsed();
    const int32_t nonZero =
        bigEnd + DecodeCount1(reader, lines + bigEnd, bandLimit - bigEnd, budget, gi.count1table_select);

    const int32_t limit = gi.block_type == 2 ? layout.ShortLimit : layout.LongLimit;
    std::fill(lines + std::min(nonZero, limit), lines + kGranuleLines, 0);
    if (reader.PastLimit()) {
        std::fill(lines, lines + kGranuleLines, 0);
        return 0;
    }
    return nonZero;
}

} // namespace pt4
