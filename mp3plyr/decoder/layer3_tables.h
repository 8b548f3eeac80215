// Constant tables of Layer III: band layouts of every sampling rate, gains, the power-4/3 table,
// antialias coefficients and intensity-stereo factors. Built once, shared read-only.
#pragma once

#include "mp3plyr/decoder/layer3_state.h"

#include <array>
#include <cstdint>

namespace pt4 {

struct Layer3Tables {
    std::array<float, 262> GlobalGain;                                   // gain g at g + 6
    std::array<std::array<std::array<float, 32>, 4>, 2> ScaleFactorGain; // [scale][pretab][sf]
    std::array<float, 64> Power43;                                       // x |x|^(1/3) at x + 32
    std::array<float, 8> SubblockGain;
    std::array<float, 8> AntialiasCs;
    std::array<float, 8> AntialiasCa;
    // [ms][position] = {left factor, right factor}
    std::array<std::array<std::array<float, 2>, 8>, 2> Mpeg1Intensity;
    // [intensity_scale][ms][entry] = {left factor, right factor}
    std::array<std::array<std::array<std::array<float, 2>, 64>, 2>, 2> Mpeg2Intensity;
};

const Layer3Tables& GetLayer3Tables();

inline constexpr std::array<int32_t, 22> kPretab = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                    1, 1, 1, 1, 2, 2, 3, 3, 3, 2, 0};

// MPEG-1 scale-factor lengths by scalefac_compress.
inline constexpr std::array<std::array<int32_t, 2>, 16> kMpeg1ScaleFactorLengths = {{
    {0, 0},
    {0, 1},
    {0, 2},
    {0, 3},
    {3, 0},
    {1, 1},
    {1, 2},
    {1, 3},
    {2, 1},
    {2, 2},
    {2, 3},
    {3, 1},
    {3, 2},
    {3, 3},
    {4, 2},
    {4, 3},
}};

// Fills the band layout of a stream: version 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5; rate index 0-2.
void FillBandLayout(Layer3Layout& layout, int version, int sampleRateIndex);

} // namespace pt4
