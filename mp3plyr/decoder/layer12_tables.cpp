#include "mp3plyr/decoder/layer12_tables.h"

#include <cmath>

namespace pt4 {
namespace {

// Allocation codes per group (code = levels index: 1 = 3, 2 = 5, 3 = 7, 4 = 9, 5 = 15, 6 = 31 ...
// 17 = 65535 levels).
constexpr std::array<int8_t, 16> kHighLow = {0, 1, 3, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
constexpr std::array<int8_t, 16> kHighMid = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 17};
constexpr std::array<int8_t, 16> kHighUpper = {0, 1, 2, 3, 4, 5, 6, 17};
constexpr std::array<int8_t, 16> kHighTop = {0, 1, 2, 17};
constexpr std::array<int8_t, 16> kLowLow = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
constexpr std::array<int8_t, 16> kLowUpper = {0, 1, 2, 4, 5, 6, 7, 8};
constexpr std::array<int8_t, 16> kLsfLow = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
constexpr std::array<int8_t, 16> kLsfUpper = {0, 1, 2, 4, 5, 6, 7, 8};
constexpr std::array<int8_t, 16> kLsfTop = {0, 1, 2, 4};
constexpr std::array<int8_t, 16> kUnused = {};

constexpr std::array<Layer2AllocationTable, kLayer2TableCount> kAllocationTables = {{
    {{3, 8, 12, 4}, {kHighLow, kHighMid, kHighUpper, kHighTop}, 27}, // A
    {{3, 8, 12, 7}, {kHighLow, kHighMid, kHighUpper, kHighTop}, 30}, // B
    {{2, 0, 6, 0}, {kLowLow, kUnused, kLowUpper, kUnused}, 8},       // C
    {{2, 0, 10, 0}, {kLowLow, kUnused, kLowUpper, kUnused}, 12},     // D
    {{4, 0, 7, 19}, {kLsfLow, kUnused, kLsfUpper, kLsfTop}, 30},     // lower sampling frequencies
}};

// MPEG-1 Layer II bit rates in kbit/s by index.
constexpr std::array<int32_t, 16> kLayer2Kbps = {0,   32,  48,  56,  64,  80,  96,  112,
                                                 128, 160, 192, 224, 256, 320, 384, 0};

// The standard's choice by bit rate per channel: up to 48 kbit/s the narrow tables (D at 32 kHz),
// up to 80 kbit/s table A, above it table B (A at 48 kHz). Mono above 192 kbit/s and two channels
// at 32, 48, 56 or 80 kbit/s are not allowed. Free format takes B, or A at 48 kHz.
constexpr int8_t ChooseTable(int32_t mode, int32_t sampleRateIndex, int32_t bitrateIndex)
{
    const bool mono = mode == 3;
    if (bitrateIndex == 15)
        return -1;
    if (bitrateIndex == 0)
        return sampleRateIndex == 1 ? 0 : 1;
    const int32_t kbps = kLayer2Kbps[bitrateIndex];
    if (mono && kbps > 192)
        return -1;
    if (!mono && (kbps == 32 || kbps == 48 || kbps == 56 || kbps == 80))
        return -1;
    const int32_t perChannel = mono ? kbps : kbps / 2;
    if (perChannel <= 48)
        return sampleRateIndex == 2 ? 3 : 2;
    if (perChannel <= 80)
        return 0;
    return sampleRateIndex == 1 ? 0 : 1;
}

using TableChoice = std::array<std::array<std::array<int8_t, 16>, 3>, 4>;

constexpr TableChoice BuildTableChoice()
{
    TableChoice choice{};
    for (int32_t mode = 0; mode < 4; ++mode)
        for (int32_t rate = 0; rate < 3; ++rate)
            for (int32_t bitrate = 0; bitrate < 16; ++bitrate)
                choice[mode][rate][bitrate] = ChooseTable(mode, rate, bitrate);
    return choice;
}

constexpr TableChoice kTableChoice = BuildTableChoice(); // [Mode][SampleRateIndex][BitrateIndex]

template <typename Digit, size_t Codes>
void BuildUngrouping(std::array<std::array<Digit, 3>, Codes>& table, int32_t levels)
{
    for (size_t code = 0; code < Codes; ++code) {
        int32_t rest = int32_t(code);
        for (auto& digit : table[code]) {
            digit = Digit(rest % levels - (levels - 1) / 2);
            rest /= levels;
        }
    }
}

Layer12Tables BuildTables()
{
    Layer12Tables t{};
    constexpr std::array<int32_t, kLayer2Codes> levels = {
        0, 3, 5, 7, 9, 15, 31, 63, 127, 255, 511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};
    constexpr std::array<int32_t, kLayer2Codes> sampleBits = {0, 0, 0,  3,  0,  4,  5,  6,  7,
                                                              8, 9, 10, 11, 12, 13, 14, 15, 16};
    constexpr std::array<int32_t, kLayer2Codes> groupBits = {0,  5,  7,  9,  10, 12, 15, 18, 21,
                                                             24, 27, 30, 33, 36, 39, 42, 45, 48};
    for (int32_t code = 0; code < kLayer2Codes; ++code) {
        t.Layer2StepFactors[code] = code == 0 ? 0.0f : float(2.0 / levels[code]);
        t.Layer2GroupBits[code] = groupBits[code];
        t.Layer2SampleBits[code] = sampleBits[code];
        t.Layer2SampleOffsets[code] = sampleBits[code] == 0 ? 0 : (1 << (sampleBits[code] - 1)) - 1;
    }
    for (int32_t i = 0; i < 64; ++i)
        t.ScaleFactorMultipliers[i] = float(std::pow(2.0, -i / 3.0) * 65536.0);
    BuildUngrouping(t.Ungroup3, 3);
    BuildUngrouping(t.Ungroup5, 5);
    BuildUngrouping(t.Ungroup9, 9);
    for (int32_t a = 0; a < 16; ++a) {
        t.Layer1StepFactors[a] = a == 0 ? 0.0f : float(2.0 / ((1 << (a + 1)) - 1));
        t.Layer1SampleOffsets[a] = (1 << a) - 1;
    }
    for (int32_t modeExt = 0; modeExt < 4; ++modeExt) {
        t.StereoBound[0 * 4 + modeExt] = 64;
        t.StereoBound[1 * 4 + modeExt] = 8 * (modeExt + 1);
        t.StereoBound[2 * 4 + modeExt] = 64;
        t.StereoBound[3 * 4 + modeExt] = 32;
    }
    return t;
}

} // namespace

const Layer2AllocationTable& Layer2AllocationTableAt(int32_t index)
{
    return kAllocationTables[index];
}

int32_t Layer2TableIndex(const TMPFrameHeader& header)
{
    if (header.SampleRateIndex < 0 || header.SampleRateIndex > 2 || header.Mode < 0 || header.Mode > 3 ||
        header.BitrateIndex < 0 || header.BitrateIndex > 15)
        return -1;
    if (header.Id == 0)
        return kLayer2LowRateTable;
    return kTableChoice[header.Mode][header.SampleRateIndex][header.BitrateIndex];
}

const Layer12Tables& GetLayer12Tables()
{
    static const Layer12Tables tables = BuildTables();
    return tables;
}

} // namespace pt4
