// The Layer I/II tables against facts of the standard: which allocation table a frame uses, the
// shape of each table, ungrouping, requantisation factors and the stereo bound.
#include "mp3plyr/decoder/layer12_tables.h"

#include <gtest/gtest.h>

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

// The standard's choice by bit rate per channel. Sample-rate indices: 0 = 44.1, 1 = 48, 2 = 32 kHz.
// Bit-rate indices: 1 = 32, 2 = 48, 3 = 56, 4 = 64, 5 = 80, 6 = 96, 7 = 112, 9 = 160, 10 = 192,
// 11 = 224, 14 = 384 kbit/s; 0 = free format.
TEST(Layer2TableChoice, FollowsTheBitRatePerChannel)
{
    struct Case {
        int32_t Rate, Bitrate, OneChannel, TwoChannels;
    };
    const Case cases[] = {
        {0, 1, C, None},  {1, 2, C, None},  {2, 1, D, None},  {2, 2, D, None},     {0, 3, A, None},
        {2, 5, A, None},  {0, 4, A, C},     {1, 6, A, C},     {2, 4, A, D},        {2, 6, B, D},
        {0, 7, B, A},     {2, 9, B, A},     {0, 10, B, B},    {2, 10, B, B},       {1, 10, A, A},
        {0, 11, None, B}, {1, 14, None, A}, {2, 14, None, B}, {0, 15, None, None}, {0, 0, B, B},
        {1, 0, A, A},     {2, 0, B, B},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "rate " << c.Rate << " bitrate " << c.Bitrate);
        EXPECT_EQ(TableFor(1, 3, c.Rate, c.Bitrate), c.OneChannel);
        for (int32_t mode : {0, 1, 2})
            EXPECT_EQ(TableFor(1, mode, c.Rate, c.Bitrate), c.TwoChannels);
    }
    EXPECT_EQ(TableFor(1, 0, 3, 10), None); // reserved sampling rate
    for (int32_t bitrate = 0; bitrate < 15; ++bitrate)
        EXPECT_EQ(TableFor(0, bitrate % 4, bitrate % 3, bitrate), Lsf);
}

TEST(Layer2AllocationTables, HaveTheStandardsShape)
{
    // Subbands and bits of all allocation fields of one channel.
    const int32_t subbands[] = {27, 30, 8, 12, 30};
    const int32_t allocationBits[] = {88, 94, 26, 38, 75};
    for (int32_t t = 0; t < kLayer2TableCount; ++t) {
        const Layer2AllocationTable& table = Layer2AllocationTableAt(t);
        SCOPED_TRACE(t);
        int32_t bits = 0, total = 0;
        for (int32_t g = 0; g < 4; ++g) {
            bits += table.GroupSizes[g] * kLayer2AllocationWidths[g];
            total += table.GroupSizes[g];
            if (table.GroupSizes[g] == 0)
                continue;
            EXPECT_EQ(table.Codes[g][0], 0); // no samples
            for (int32_t v = 1; v < (1 << kLayer2AllocationWidths[g]); ++v)
                EXPECT_GT(table.Codes[g][v], table.Codes[g][v - 1]) << "group " << g << " value " << v;
        }
        EXPECT_EQ(table.Subbands, subbands[t]);
        EXPECT_EQ(total, subbands[t]);
        EXPECT_EQ(bits, allocationBits[t]);
    }
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
            if (code < validCodes) {
                EXPECT_EQ((table[code][0] + half) + levels * (table[code][1] + half) +
                              levels * levels * (table[code][2] + half),
                          code);
            }
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
    EXPECT_FLOAT_EQ(t.Layer1StepFactors[3], 2.0f / 15.0f);
    EXPECT_FLOAT_EQ(t.Layer1StepFactors[14], 2.0f / 32767.0f);
    EXPECT_FLOAT_EQ(t.Layer2StepFactors[4], 2.0f / 9.0f);
    EXPECT_FLOAT_EQ(t.Layer2StepFactors[17], 2.0f / 65535.0f);
    EXPECT_FLOAT_EQ(t.ScaleFactorMultipliers[0], 65536.0f);
    EXPECT_FLOAT_EQ(t.ScaleFactorMultipliers[3], 32768.0f);
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
