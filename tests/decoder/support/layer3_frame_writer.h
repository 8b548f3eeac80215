// Builds Layer III frames from a description: header, side information, scale factors and
// spectral values coded as count-1 quads with table B (so no Huffman code table is needed).
#pragma once

#include "mp3plyr/decoder/layer3_state.h"

#include <array>
#include <cstdint>
#include <vector>

namespace pt4::test {

struct GranuleChannelSpec {
    int32_t GlobalGain = 180;
    int32_t ScalefacCompress = 0; // MPEG-1: slen1/slen2 of the standard's table; MPEG-2: 0 = no bits
    int32_t BlockType = 0;        // window switching when not 0
    int32_t MixedBlock = 0;
    std::array<int32_t, 3> TableSelect{};
    int32_t BigValues = 0;                      // only with `RawSpectrumBits`
    int32_t Part23Extra = 0;                    // bits added to the written part2_3_length
    std::array<int32_t, 22> LongScaleFactors{}; // MPEG-1 long blocks, written with slen1/slen2
    std::vector<int32_t> Quads;                 // line values -1, 0, 1 from line 0 on, coded as count-1 quads
};

struct FrameSpec {
    bool Mpeg1 = true;
    bool Mpeg25 = false;
    int32_t BitrateIndex = 9; // 128 kbit/s (MPEG-1)
    int32_t SampleRateIndex = 0;
    int32_t Padding = 0;
    bool Crc = false;
    int32_t Mode = 3;
    int32_t ModeExt = 0;
    int32_t MainDataBegin = 0;
    std::array<int32_t, 2> Scfsi{};
    std::array<std::array<GranuleChannelSpec, 2>, 2> Granules{}; // [granule][channel]
    std::vector<uint8_t> MainDataPrefix; // bytes placed before the granules' main data
};

// The whole padded frame. Throws std::length_error when the main data does not fit.
std::vector<uint8_t> BuildLayer3Frame(const FrameSpec& spec);

// A frame spec whose channels carry the given quads in every granule.
FrameSpec ToneFrame(int32_t mode, const std::vector<int32_t>& left, const std::vector<int32_t>& right = {});

// The quads of a recognisable signal: `lines` values of -1, 0, 1 from a seed.
std::vector<int32_t> PatternQuads(int32_t lines, uint32_t seed);

} // namespace pt4::test
