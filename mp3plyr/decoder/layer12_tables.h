// Tables of Layers I and II: requantisation factors, ungrouping of grouped codes, the stereo
// bound and the Layer II bit-allocation tables with the rule that picks one for a frame.
#pragma once

#include "mp3plyr/decoder/frame_header.h"

#include <array>
#include <cstdint>

namespace pt4 {

// Layer II allocation codes: 0 = no samples, 1 ... 17 = 3, 5, 7, 9, 15, 31 ... 65535 levels.
inline constexpr int32_t kLayer2Codes = 18;

// Number of groups of subbands in a Layer II allocation table, by the width of their
// allocation field.
inline constexpr std::array<int32_t, 4> kLayer2AllocationWidths = {4, 4, 3, 2};

struct Layer2AllocationTable {
    std::array<int32_t, 4> GroupSizes;           // subbands of one channel in each group
    std::array<std::array<int8_t, 16>, 4> Codes; // allocation code by field value, per group
    int32_t Subbands;                            // sum of the group sizes
};

// The standard's tables A, B, C, D (MPEG-1) and the lower-sampling-frequency table, in that order.
inline constexpr int32_t kLayer2TableCount = 5;
inline constexpr int32_t kLayer2LowRateTable = 4;
const Layer2AllocationTable& Layer2AllocationTableAt(int32_t index);

// The table for a frame: 0 ... 3 for MPEG-1 by mode, sampling rate and bit rate, 4 for the
// lower sampling frequencies; -1 for a bit rate that the mode does not allow, for bit-rate
// index 15 and for a reserved sampling rate.
int32_t Layer2TableIndex(const TMPFrameHeader& header);

struct Layer12Tables {
    // Layer II, by allocation code: 2 / levels (0 for code 0), bits of a group of three samples,
    // bits of one sample when ungrouped (0 for the grouped codes 1, 2 and 4) and the offset that
    // centres such a sample on 0.
    std::array<float, kLayer2Codes> Layer2StepFactors;
    std::array<int32_t, kLayer2Codes> Layer2GroupBits;
    std::array<int32_t, kLayer2Codes> Layer2SampleBits;
    std::array<int32_t, kLayer2Codes> Layer2SampleOffsets;

    // 2^(-i/3) * 65536: full scale of Layers I and II is 65536.
    std::array<float, 64> ScaleFactorMultipliers;

    // Digits of a grouped code, least significant first, centred on 0. Every code the field
    // width can hold has an entry, valid or not.
    // Held as floats, so that the most frequent reads of a frame only load them.
    std::array<std::array<float, 3>, 32> Ungroup3;
    std::array<std::array<float, 3>, 128> Ungroup5;
    std::array<std::array<float, 3>, 1024> Ungroup9;

    // Layer I by allocation value a: 2 / (2^(a+1) - 1), 0 for a = 0; and 2^a - 1, the offset
    // that centres an (a+1)-bit sample on 0.
    std::array<float, 16> Layer1StepFactors;
    std::array<int32_t, 16> Layer1SampleOffsets;

    // Entries (subbands of both channels) coded per channel before joint stereo starts, by
    // Mode * 4 + ModeExt.
    std::array<int32_t, 16> StereoBound;
};

// Built on first use, then shared for the life of the process.
const Layer12Tables& GetLayer12Tables();

} // namespace pt4
