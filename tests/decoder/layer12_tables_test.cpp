// The Layer I/II tables against facts of the standard: which allocation table a frame uses, the
// shape of each table, ungrouping, requantisation factors and the stereo bound.
#include "mp3plyr/decoder/layer12_tables.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pt4 {
namespace {

constexpr int32_t A = 0, B = 1, C = 2, D = 3, Lsf = 4, None = -1;

int32_t TableFor(int32_t id, int32_t mode, int32_t sampleRateIndex, int32_t bitrateIndex)
{
    TMPFrameHeader header;
    header.Sync = 1;
    header.Id = id;
    header.LayerBits = 2;
    header.Mode = mode;
    header.SampleRateIndex = sampleRateIndex;
    header.BitrateIndex = bitrateIndex;
    return Layer2TableIndex(header);
}

// Sample-rate indices: 0 = 44.1 kHz, 1 = 48 kHz, 2 = 32 kHz. Bit-rate indices (MPEG-1 Layer II):
// 1 = 32, 2 = 48, 3 = 56, 4 = 64, 5 = 80, 6 = 96, 7 = 112, 9 = 160, 10 = 192, 11 = 224, 14 = 384.
TEST(Layer2TableChoice, OneChannelFollowsTheBitRate)
{
    EXPECT_EQ(TableFor(1, 3, 0, 1), C);
    EXPECT_EQ(TableFor(1, 3, 1, 2), C);
    EXPECT_EQ(TableFor(1, 3, 2, 1), D);
    EXPECT_EQ(TableFor(1, 3, 2, 2), D);
    EXPECT_EQ(TableFor(1, 3, 0, 3), A);
    EXPECT_EQ(TableFor(1, 3, 2, 5), A);
    EXPECT_EQ(TableFor(1, 3, 0, 6), B);
    EXPECT_EQ(TableFor(1, 3, 2, 10), B);
    EXPECT_EQ(TableFor(1, 3, 1, 6), A);
    EXPECT_EQ(TableFor(1, 3, 1, 10), A);
}

TEST(Layer2TableChoice, TwoChannelsFollowTheBitRatePerChannel)
{
    for (int32_t mode : {0, 1, 2}) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(TableFor(1, mode, 0, 4), C);
        EXPECT_EQ(TableFor(1, mode, 1, 6), C);
        EXPECT_EQ(TableFor(1, mode, 2, 4), D);
        EXPECT_EQ(TableFor(1, mode, 2, 6), D);
        EXPECT_EQ(TableFor(1, mode, 0, 7), A);
        EXPECT_EQ(TableFor(1, mode, 2, 9), A);
        EXPECT_EQ(TableFor(1, mode, 0, 10), B);
        EXPECT_EQ(TableFor(1, mode, 2, 14), B);
        EXPECT_EQ(TableFor(1, mode, 1, 10), A);
        EXPECT_EQ(TableFor(1, mode, 1, 14), A);
    }
}

TEST(Layer2TableChoice, ForbiddenRatesHaveNoTable)
{
    for (int32_t rate = 0; rate < 3; ++rate) {
        for (int32_t mode : {0, 1, 2})
            for (int32_t bitrate : {1, 2, 3, 5, 15})
                EXPECT_EQ(TableFor(1, mode, rate, bitrate), None) << mode << " " << rate << " " << bitrate;
        for (int32_t bitrate : {11, 12, 13, 14, 15})
            EXPECT_EQ(TableFor(1, 3, rate, bitrate), None) << rate << " " << bitrate;
    }
    EXPECT_EQ(TableFor(1, 0, 3, 10), None); // reserved sampling rate
}

TEST(Layer2TableChoice, FreeFormatAndLowerSamplingFrequencies)
{
    EXPECT_EQ(TableFor(1, 0, 0, 0), B);
    EXPECT_EQ(TableFor(1, 3, 2, 0), B);
    EXPECT_EQ(TableFor(1, 0, 1, 0), A);
    for (int32_t bitrate = 0; bitrate < 15; ++bitrate)
        for (int32_t mode = 0; mode < 4; ++mode)
            EXPECT_EQ(TableFor(0, mode, bitrate % 3, bitrate), Lsf);
}

// Bits of all allocation fields of one channel, and the highest number of levels per group.
int32_t AllocationBits(const Layer2AllocationTable& table)
{
    int32_t bits = 0;
    for (int32_t g = 0; g < 4; ++g)
        bits += table.GroupSizes[g] * kLayer2AllocationWidths[g];
    return bits;
}

TEST(Layer2AllocationTables, HaveTheStandardsShape)
{
    const int32_t subbands[] = {27, 30, 8, 12, 30};
    const int32_t allocationBits[] = {88, 94, 26, 38, 75};
    for (int32_t t = 0; t < kLayer2TableCount; ++t) {
        const Layer2AllocationTable& table = Layer2AllocationTableAt(t);
        SCOPED_TRACE(t);
        EXPECT_EQ(table.Subbands, subbands[t]);
        EXPECT_EQ(table.GroupSizes[0] + table.GroupSizes[1] + table.GroupSizes[2] + table.GroupSizes[3], subbands[t]);
        EXPECT_EQ(AllocationBits(table), allocationBits[t]);
        for (int32_t g = 0; g < 4; ++g) {
            if (table.GroupSizes[g] == 0)
                continue;
            // Field value 0 means no samples; the levels rise with the field value.
            EXPECT_EQ(table.Codes[g][0], 0);
            const int32_t values = 1 << kLayer2AllocationWidths[g];
            for (int32_t v = 1; v < values; ++v)
                EXPECT_GT(table.Codes[g][v], table.Codes[g][v - 1]) << "group " << g << " value " << v;
        }
    }
}

TEST(Layer2AllocationTables, FinestQuantisationPerGroup)
{
    // Code 17 = 65535 levels, 16 = 32767, 15 = 16383, 8 = 127, 4 = 9.
    const Layer2AllocationTable& a = Layer2AllocationTableAt(A);
    EXPECT_EQ(a.Codes[0][15], 17);
    EXPECT_EQ(a.Codes[1][15], 17);
    EXPECT_EQ(a.Codes[2][7], 17);
    EXPECT_EQ(a.Codes[3][3], 17);
    EXPECT_EQ(a.Codes[1][14], 14); // 8191 levels, then the jump to 65535
    const Layer2AllocationTable& c = Layer2AllocationTableAt(C);
    EXPECT_EQ(c.Codes[0][15], 16);
    EXPECT_EQ(c.Codes[0][3], 4); // no 7-level step in the narrow tables
    EXPECT_EQ(c.Codes[2][7], 8);
    const Layer2AllocationTable& lsf = Layer2AllocationTableAt(Lsf);
    EXPECT_EQ(lsf.Codes[0][15], 15);
    EXPECT_EQ(lsf.Codes[2][7], 8);
    EXPECT_EQ(lsf.Codes[3][3], 4);
}

TEST(Layer12Tables, UngroupingGivesTheDigitsLeastSignificantFirst)
{
    const Layer12Tables& t = GetLayer12Tables();
    EXPECT_EQ(t.Ungroup3[5][0], 1);
    EXPECT_EQ(t.Ungroup3[5][1], 0);
    EXPECT_EQ(t.Ungroup3[5][2], -1);
    EXPECT_EQ(t.Ungroup5[124][0], 2);
    EXPECT_EQ(t.Ungroup5[124][2], 2);
    EXPECT_EQ(t.Ungroup9[0][1], -4);
    EXPECT_EQ(t.Ungroup9[728][2], 4);

    auto check = [](const auto& table, int32_t levels, int32_t validCodes) {
        const int32_t half = (levels - 1) / 2;
        for (int32_t code = 0; code < int32_t(table.size()); ++code) {
            for (int32_t d = 0; d < 3; ++d) {
                EXPECT_GE(table[code][d], -half);
                EXPECT_LE(table[code][d], half);
            }
            if (code < validCodes)
                EXPECT_EQ((table[code][0] + half) + levels * (table[code][1] + half) +
                              levels * levels * (table[code][2] + half),
                          code);
        }
    };
    check(t.Ungroup3, 3, 27);
    check(t.Ungroup5, 5, 125);
    check(t.Ungroup9, 9, 729);
}

TEST(Layer12Tables, RequantisationFactors)
{
    const Layer12Tables& t = GetLayer12Tables();
    EXPECT_FLOAT_EQ(t.Layer1StepFactors[0], 0.0f);
    EXPECT_FLOAT_EQ(t.Layer1StepFactors[1], 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(t.Layer1StepFactors[3], 2.0f / 15.0f);
    EXPECT_FLOAT_EQ(t.Layer1StepFactors[14], 2.0f / 32767.0f);
    EXPECT_FLOAT_EQ(t.Layer2StepFactors[1], 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(t.Layer2StepFactors[4], 2.0f / 9.0f);
    EXPECT_FLOAT_EQ(t.Layer2StepFactors[5], 2.0f / 15.0f);
    EXPECT_FLOAT_EQ(t.Layer2StepFactors[17], 2.0f / 65535.0f);
    EXPECT_EQ(t.Layer2SampleBits[3], 3);
    EXPECT_EQ(t.Layer2SampleBits[17], 16);
    EXPECT_EQ(t.Layer2SampleOffsets[5], 7);
    EXPECT_EQ(t.Layer2GroupBits[4], 10);
    EXPECT_EQ(t.Layer2GroupBits[17], 48);
    EXPECT_FLOAT_EQ(t.ScaleFactorMultipliers[0], 65536.0f);
    EXPECT_FLOAT_EQ(t.ScaleFactorMultipliers[3], 32768.0f);
    EXPECT_FLOAT_EQ(t.ScaleFactorMultipliers[1], float(65536.0 * std::pow(2.0, -1.0 / 3.0)));
    EXPECT_FLOAT_EQ(t.ScaleFactorMultipliers[63], 65536.0f / 2097152.0f);
}

TEST(Layer12Tables, StereoBoundCountsEntriesOfBothChannels)
{
    const Layer12Tables& t = GetLayer12Tables();
    for (int32_t ext = 0; ext < 4; ++ext) {
        EXPECT_EQ(t.StereoBound[0 * 4 + ext], 64);
        EXPECT_EQ(t.StereoBound[1 * 4 + ext], 8 * (ext + 1)); // subbands 4, 8, 12, 16
        EXPECT_EQ(t.StereoBound[2 * 4 + ext], 64);
        EXPECT_EQ(t.StereoBound[3 * 4 + ext], 32);
    }
}

} // namespace
} // namespace pt4
