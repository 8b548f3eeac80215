// Decoder state of Layer III: reservoir, side information, granule buffers, overlap and the
// per-stream band layout.
#pragma once

#include <array>
#include <cstdint>

namespace pt4 {

struct DecoderState;

inline constexpr int kGranuleLines = 576;
inline constexpr int kReservoirCapacity = 8192;
inline constexpr int kReservoirCompactAt = kReservoirCapacity - 1500;

struct MainDataReservoir {
    std::array<uint8_t, kReservoirCapacity> Buffer{}; // readers end at the capacity
    int32_t WritePosition = 0;                        // bytes
    int32_t DecodeStart = 0;  // bytes; negative when the frame's main data is not all here
    int32_t MainPosition = 0; // bits: where the next granule-channel's data starts
};

struct TGranuleInfo {
    int32_t part2_3_length = 0;
    int32_t big_values = 0;
    int32_t global_gain = 0; // with the stream's gain adjustment and the mid/side reduction
    int32_t scalefac_compress = 0;
    int32_t window_switching_flag = 0;
    int32_t block_type = 0;
    int32_t mixed_block_flag = 0;
    std::array<int32_t, 3> table_select{};
    std::array<int32_t, 3> subblock_gain{};
    int32_t region0_count = 0;
    int32_t region1_count = 0;
    int32_t preflag = 0;
    int32_t scalefac_scale = 0;
    int32_t count1table_select = 0;
};

// Long bands 0-22 (21 and 22 stay 0), then short bands [window][band] (band 12 stays 0).
struct TScaleFactors {
    std::array<int32_t, 23> Long{};
    std::array<std::array<int32_t, 13>, 3> Short{};
};

// MPEG-2 intensity stereo: what the right channel's scale-factor partitions looked like.
struct TIntensityInfo {
    std::array<int32_t, 3> BandCount{};
    std::array<int32_t, 3> Length{};
    int32_t intensity_scale = 0;
};

// Where the non-zero values of a granule-channel lie, in bands.
struct TBandInfo {
    int32_t ShortFlag = 0;
    int32_t LastNonZeroBand = 0;
    int32_t FirstShortBand = 12;
    int32_t LongBandCount = 22;
    std::array<int32_t, 3> LastNonZeroShortBand{};
};

// The frame being decoded, rewritten by every frame.
struct Layer3SideInfo {
    int32_t Id = 1;
    int32_t SampleRateIndex = 0;
    int32_t Padding = 0;
    int32_t Mode = 0;
    int32_t ModeExt = 0;
    bool MsStereo = false;
    bool IntensityStereo = false;
    int32_t CrcBytes = 0;
    int32_t FrameLength = 0; // without padding
    int32_t main_data_begin = 0;
    int32_t private_bits = 0;
    int32_t Channels = 2;
    std::array<int32_t, 2> scfsi{};
    std::array<std::array<TGranuleInfo, 2>, 2> Granule{}; // [granule][channel]
};

// Band layout and limits of the stream, fixed by the initialisation.
struct Layer3Layout {
    // End of long band k for k = 0 ... 21, then 576 for every index past the last band.
    std::array<int32_t, 24> LongBandEnd{};
    std::array<int32_t, 22> LongBandWidth{};
    std::array<int32_t, 13> ShortBandEnd3{}; // end of short band k, times 3
    std::array<int32_t, 13> ShortBandWidth{};
    int32_t MixedLongBands = 8; // long bands of a mixed block
    int32_t LongLimit = 576;    // lines a long block may use
    int32_t ShortLimit = 576;   // lines a short block may use
    int32_t BandLimit = 576;    // lines decoded at all
    int32_t GainAdjustment = 0; // -4 when two channels are mixed into one
};

using GranuleLines = std::array<float, kGranuleLines>;
// [channel][parity]: the lines of the current granule, then the overlap for the next one.
using GranuleBuffers = std::array<std::array<GranuleLines, 2>, 2>;
// 18 slots of 32 subband samples, value (t, s) at 32t + s.
using TransformOutput = GranuleLines;

using TTransformRoutine = void (*)(DecoderState& state, uint8_t* pcm, int parity);

struct Layer3State {
    MainDataReservoir Reservoir;
    Layer3SideInfo Side;
    Layer3Layout Layout;
    TTransformRoutine TransformRoutine = nullptr; // nullptr until a Layer III set-up succeeds
    bool Mpeg1 = true;                            // two granules per frame, else one

    // Huffman output of the current granule, one row per channel (the slack row keeps a
    // decoder's last pair inside the array).
    std::array<std::array<int32_t, kGranuleLines + 4>, 2> Quantized{};
    alignas(64) GranuleBuffers Lines{};
    alignas(64) TransformOutput Transform{};
    alignas(64) GranuleLines ReorderScratch{};
    // [channel][parity]: lines that may be non-zero before the transform, lines whose overlap
    // may be non-zero after it.
    std::array<std::array<int32_t, 2>, 2> OverlapExtent{};

    std::array<std::array<TScaleFactors, 2>, 2> ScaleFactors{}; // [granule][channel]
    TIntensityInfo Intensity;
    std::array<TBandInfo, 2> BandInfo{}; // per channel of the current granule

    int32_t GranuleToggle = 0; // MPEG-2/2.5: the granule slot of the next frame
};

} // namespace pt4
