// The Layer III bit reader, the Huffman decoders against the standard's code tables, and the
// scale-factor readers.
#include "decoder/support/layer12_streams.h"

#include "mp3plyr/decoder/layer3_stages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace pt4::test {
namespace {

// Bits written most significant first, with zero slack for the reader's look-ahead.
class Bits {
public:
    Bits& Put(uint32_t value, int32_t count)
    {
        for (int32_t i = count - 1; i >= 0; --i)
            Put(std::string(1, ((value >> i) & 1) ? '1' : '0'));
        return *this;
    }
    Bits& Put(const std::string& pattern)
    {
        for (char c : pattern) {
            if (count_ % 8 == 0)
                bytes_.push_back(0);
            if (c == '1')
                bytes_.back() |= static_cast<uint8_t>(0x80 >> (count_ % 8));
            ++count_;
        }
        return *this;
    }
    int32_t Count() const { return count_; }
    // The bytes with `slack` zero bytes behind them.
    std::vector<uint8_t> Bytes(size_t slack = 16) const
    {
        std::vector<uint8_t> out = bytes_;
        out.resize(out.size() + slack, 0);
        return out;
    }

private:
    std::vector<uint8_t> bytes_;
    int32_t count_ = 0;
};

BitReader ReaderOn(const std::vector<uint8_t>& bytes)
{
    BitReader reader;
    reader.Init(bytes.data(), bytes.data() + bytes.size());
    return reader;
}

TEST(BitReader, LoadsWholeBytesOnlyWhenItRunsShort)
{
    const std::vector<uint8_t> bytes = {0xA5, 0x5A, 0xC3, 0x3C, 0xFF, 0, 0, 0, 0};
    BitReader reader = ReaderOn(bytes);
    EXPECT_EQ(reader.GetBits(0), 0u);
    EXPECT_EQ(reader.GetBits(25), 0xA55AC33Cu >> 7);
    EXPECT_EQ(reader.Pointer, bytes.data() + 7); // as many whole bytes as 63 bits hold
    EXPECT_EQ(reader.GetBits(7), 0x3Cu);
    EXPECT_EQ(reader.Pointer, bytes.data() + 7); // no load for bits already held
    EXPECT_EQ(reader.BitsUsed(), 32);
    EXPECT_EQ(reader.GetBits(3), 7u);
    EXPECT_EQ(reader.BitsUsed(), 35);
}

// ---------------------------------------------------------------------------------------------
// Huffman tables: every code of the standard's tables decodes to its pair.

struct CodeTable {
    int32_t Linbits = 0;
    int32_t Reference = -1;
    std::vector<std::array<int32_t, 2>> Values;
    std::vector<std::string> Codes;
};

std::map<int32_t, CodeTable> ReadCodeTables(const std::string& path)
{
    std::map<int32_t, CodeTable> tables;
    std::ifstream in(path);
    std::string line;
    int32_t current = -1;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string first;
        if (!(fields >> first))
            continue;
        if (first == ".table") {
            int32_t xlen, ylen;
            fields >> current >> xlen >> ylen >> tables[current].Linbits;
        } else if (first == ".reference" || first == ".referenz") {
            fields >> tables[current].Reference;
        } else if (first == ".end") {
            break;
        } else if (current >= 0 && current < 32) {
            int32_t y, length;
            std::string code;
            fields >> y >> length >> code;
            tables[current].Values.push_back({std::stoi(first), y});
            tables[current].Codes.push_back(code);
        }
    }
    return tables;
}

TEST(Layer3Huffman, EveryCodeOfEveryTableDecodesToItsPair)
{
    const std::string path = std::string(PT4_TEST_DATA_DIR) + "/tables/huffcode.txt";
    ASSERT_TRUE(std::filesystem::exists(path)) << "no code tables at " << path;
    const auto tables = ReadCodeTables(path);
    int checked = 0;
    for (const auto& [number, table] : tables) {
        const CodeTable& codes = table.Reference >= 0 ? tables.at(table.Reference) : table;
        if (codes.Codes.empty())
            continue;
        SCOPED_TRACE(number);
        // Each pair with signs (x negative, y positive) and, for escapes, the largest linbits value.
        Bits bits;
        std::vector<int32_t> expected;
        for (size_t i = 0; i < codes.Codes.size(); ++i) {
            bits.Put(codes.Codes[i]);
            for (int32_t v : codes.Values[i]) {
                int32_t value = v;
                if (v == 15 && table.Linbits > 0) {
                    bits.Put((1u << table.Linbits) - 1, table.Linbits);
                    value += (1 << table.Linbits) - 1;
                }
                expected.push_back(value);
            }
            if (expected[expected.size() - 2] != 0) {
                bits.Put(1, 1);
                expected[expected.size() - 2] = -expected[expected.size() - 2];
            }
            if (expected.back() != 0)
                bits.Put(0, 1);
        }
        const std::vector<uint8_t> bytes = bits.Bytes();
        BitReader reader = ReaderOn(bytes);
        std::vector<int32_t> lines(expected.size());
        DecodeBigValues(reader, lines.data(), static_cast<int32_t>(lines.size()), number);
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(reader.BitsUsed(), bits.Count());
        ++checked;
    }
    EXPECT_EQ(checked, 29); // tables 1-31 except 4 and 14
}

TEST(Layer3Huffman, EscapeAddsItsLinbitsToFifteen)
{
    // Table 16 (linbits 1): the code of (15, 0) is 000001100, then linbits 1, then the sign.
    const std::vector<uint8_t> bytes = Bits().Put("000001100").Put("1").Put("0").Bytes();
    BitReader reader = ReaderOn(bytes);
    int32_t lines[2] = {-1, -1};
    DecodeBigValues(reader, lines, 2, 16);
    EXPECT_EQ(lines[0], 16);
    EXPECT_EQ(lines[1], 0);
    EXPECT_EQ(reader.BitsUsed(), 11);
}

TEST(Layer3Huffman, TablesWithoutCodesReadNothing)
{
    const std::vector<uint8_t> bytes = Bits().Put(0xFFFF, 16).Bytes();
    for (int32_t table : {0, 4, 14}) {
        BitReader reader = ReaderOn(bytes);
        int32_t lines[6] = {1, 1, 1, 1, 1, 1};
        DecodeBigValues(reader, lines, 6, table);
        EXPECT_EQ(reader.BitsUsed(), 0);
        for (int32_t v : lines)
            EXPECT_EQ(v, 0);
    }
}

TEST(Layer3Count1, TableACodesAndSigns)
{
    // vwxy = 0101 (code 000101) with w and y negative; value 0 (code 1); value 8 (code 0111)
    // with v positive.
    const std::vector<uint8_t> bytes = Bits().Put("000101").Put("11").Put("1").Put("0111").Put("0").Bytes();
    BitReader reader = ReaderOn(bytes);
    int32_t lines[12];
    const int32_t count = DecodeCount1(reader, lines, 12, 14, 0);
    const int32_t expected[12] = {0, -1, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_TRUE(std::equal(lines, lines + 12, expected));
    // The last non-zero quad (the third) has x and y zero: it counts two lines less.
    EXPECT_EQ(count, 12 - 2);
    EXPECT_EQ(reader.BitsUsed(), 14);
}

TEST(Layer3Count1, TableBStopsBelowFourBitsAndDropsAQuadThatOvershoots)
{
    const std::vector<uint8_t> bytes = Bits().Put("0000").Put("0101").Put("1010").Bytes();
    {
        BitReader reader = ReaderOn(bytes);
        int32_t lines[4] = {9, 9, 9, 9};
        EXPECT_EQ(DecodeCount1(reader, lines, 4, 3, 1), 0);
        EXPECT_EQ(reader.BitsUsed(), 0);
    }
    {
        // 0000 is vwxy = 1111 with four signs 0101: 8 bits, but only 6 in the budget.
        BitReader reader = ReaderOn(bytes);
        int32_t lines[8] = {9, 9, 9, 9, 9, 9, 9, 9};
        DecodeCount1(reader, lines, 8, 6, 1);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(lines[i], 0) << i;
    }
    {
        BitReader reader = ReaderOn(bytes);
        int32_t lines[4];
        EXPECT_EQ(DecodeCount1(reader, lines, 4, 8, 1), 4);
        const int32_t expected[4] = {1, -1, 1, -1};
        EXPECT_TRUE(std::equal(lines, lines + 4, expected));
    }
}

// ---------------------------------------------------------------------------------------------
// Scale factors

TEST(Layer3ScaleFactors, SecondGranuleSharesTheGroupsMarkedInScfsi)
{
    // scalefac_compress 15: slen1 4, slen2 3. scfsi 1010: groups 0 (bands 0-5) and 2 (11-15)
    // come from granule 0; groups 1 (6-10) and 3 (16-20) are read.
    Bits bits;
    for (int band = 6; band < 11; ++band)
        bits.Put(static_cast<uint32_t>(band), 4);
    for (int band = 16; band < 21; ++band)
        bits.Put(static_cast<uint32_t>(band - 14), 3);
    const std::vector<uint8_t> bytes = bits.Bytes();
    TScaleFactors granule0;
    for (int band = 0; band < 21; ++band)
        granule0.Long[static_cast<size_t>(band)] = 100 + band;
    TScaleFactors granule1;
    TGranuleInfo gi;
    gi.scalefac_compress = 15;
    BitReader reader = ReaderOn(bytes);
    ReadScaleFactorsMpeg1(reader, granule1, granule0, gi, 0b1010, 1);
    for (int band = 0; band < 21; ++band) {
        const bool shared = band < 6 || (band >= 11 && band < 16);
        const int32_t expected = shared ? 100 + band : (band < 11 ? band : band - 14);
        EXPECT_EQ(granule1.Long[static_cast<size_t>(band)], expected) << band;
    }
    EXPECT_EQ(reader.BitsUsed(), 5 * 4 + 5 * 3);
}

TEST(Layer3ScaleFactors, Mpeg2IntensityRightChannelPartitions)
{
    // scalefac_compress 361 on the intensity right channel: intensity_scale 1, c = 180, the
    // fourth case (6, 6, 6, 3 bands) with lengths 0, 0, 0: nothing is read.
    const std::vector<uint8_t> bytes = Bits().Put(0xFFFF, 16).Bytes();
    BitReader reader = ReaderOn(bytes);
    TScaleFactors sf;
    sf.Long.fill(7);
    TGranuleInfo gi;
    gi.scalefac_compress = 361;
    TIntensityInfo intensity;
    ReadScaleFactorsMpeg2(reader, sf, gi, true, intensity);
    EXPECT_EQ(intensity.intensity_scale, 1);
    EXPECT_EQ(intensity.BandCount, (std::array<int32_t, 3>{6, 6, 6}));
    EXPECT_EQ(intensity.Length, (std::array<int32_t, 3>{0, 0, 0}));
    EXPECT_EQ(reader.BitsUsed(), 0);
    for (int band = 0; band < 21; ++band)
        EXPECT_EQ(sf.Long[static_cast<size_t>(band)], 0) << band;
    EXPECT_EQ(gi.preflag, 0);
}

TEST(Layer3ScaleFactors, Mpeg2LengthsAndPreflagFromScalefacCompress)
{
    // 500 + 3 * 2 + 1 = 507: the third case (11 and 10 long bands, lengths 2 and 1), preflag set.
    Bits bits;
    for (int band = 0; band < 11; ++band)
        bits.Put(static_cast<uint32_t>(band % 4), 2);
    for (int band = 11; band < 21; ++band)
        bits.Put(static_cast<uint32_t>(band % 2), 1);
    const std::vector<uint8_t> bytes = bits.Bytes();
    BitReader reader = ReaderOn(bytes);
    TScaleFactors sf;
    TGranuleInfo gi;
    gi.scalefac_compress = 507;
    TIntensityInfo intensity;
    ReadScaleFactorsMpeg2(reader, sf, gi, false, intensity);
    EXPECT_EQ(gi.preflag, 1);
    EXPECT_EQ(reader.BitsUsed(), bits.Count());
    for (int band = 0; band < 21; ++band)
        EXPECT_EQ(sf.Long[static_cast<size_t>(band)], band < 11 ? band % 4 : band % 2) << band;
}

} // namespace
} // namespace pt4::test
