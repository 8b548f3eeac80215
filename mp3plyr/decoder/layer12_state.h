// Decoder state of Layers I and II.
#pragma once

#include <array>
#include <cstdint>

namespace pt4 {

struct Layer2AllocationTable;

// Subbands and channels are one list of entries: for one channel entry k is subband k, for two
// channels entry k is subband k / 2 of channel k % 2.
inline constexpr int32_t kLayer12Entries = 64;
inline constexpr int32_t kLayer1Slots = 12;
inline constexpr int32_t kLayer2Slots = 36;

struct Layer12State {
    // Fixed by the set-up for the stream.
    int32_t StreamChannels = 1;     // layout of the subband sample buffer that the output reads
    int32_t SubbandsPerChannel = 0; // frequency limit in subbands of one channel
    int32_t FrameLength = 0;        // given at set-up; the length of free-format frames

    // What the current frame uses (first filled by the set-up from the stream's first header).
    int32_t FrameChannels = 1;
    int32_t StereoBound = 0;  // entries coded per channel before joint stereo starts
    int32_t CodedEntries = 0; // Layer I: 32 or 64; Layer II: the table's subbands times channels
    int32_t EntryLimit = 0;   // entries at and above it are not dequantised
    const Layer2AllocationTable* AllocationTable = nullptr;
    std::array<int32_t, 4> GroupEntries{}; // Layer II group sizes times channels

    // Per entry, rewritten by every frame.
    std::array<int32_t, kLayer12Entries> Allocation{};
    std::array<int32_t, kLayer12Entries + 1> SampleAction{};
    std::array<float, kLayer12Entries> StepFactor{};
    std::array<int32_t, kLayer12Entries + 1> ScaleFactorSelection{};
    std::array<std::array<float, 3>, kLayer12Entries> SampleScale{}; // Layer I uses part 0 only
    int32_t SkipBits = 0; // bits of the entries above EntryLimit in one slot or group of three slots

    // Kept between frames: entries of each slot that may hold non-zero values, and the samples.
    int32_t FilledEntries = 0;
    alignas(64) std::array<float, kLayer2Slots * kLayer12Entries> SubbandSamples{};
};

} // namespace pt4
