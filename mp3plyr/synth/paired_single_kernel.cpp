// The paired single-precision window kernel: the arithmetic of the processors' packed-float
// extension, written in portable code. Each tap group forms a pair of float products (forward
// tap, backward tap) and adds it to a pair of float partial sums; the two partial sums are
// added at the end and the result is truncated toward zero, then saturated.
#include "mp3plyr/synth/window_lanes.h"
#include "mp3plyr/synth/window_step.h"

#include <array>

namespace pt4 {

namespace {

struct PairedLanes {
    std::array<std::array<float, 32>, 8> LowTaps;
    std::array<std::array<float, 32>, 8> HighTaps;
    std::array<float, 8> Middle;
};

// The same window entries as the floating-point kernel, back in single precision (exactly).
PairedLanes BuildPairedLanes()
{
    const WindowLanes<32>& lanes = WindowLaneCoefficients<32>();
    PairedLanes paired{};
    for (int j = 0; j < 8; ++j) {
        for (int lane = 0; lane < 32; ++lane) {
            paired.LowTaps[j][lane] = static_cast<float>(lanes.LowTaps[j][lane]);
            paired.HighTaps[j][lane] = static_cast<float>(lanes.HighTaps[j][lane]);
        }
        paired.Middle[j] = static_cast<float>(lanes.Middle[j]);
    }
    return paired;
}

const PairedLanes& PairedLaneCoefficients()
{
    static const PairedLanes lanes = BuildPairedLanes();
    return lanes;
}

} // namespace

void WindowStepPairedSingle(const float* ring, int32_t position, int16_t* samples)
{
    constexpr int32_t ringMask = 511;
    const PairedLanes& lanes = PairedLaneCoefficients();

    float lowSums[32] = {};
    float highSums[32] = {};
    float middleSums[2] = {};
    for (int j = 0; j < 8; ++j) {
        const float* low = ring + ((position + 64 * j) & ringMask) + 16;
        const float* block = ring + ((position + 64 * j + 32) & ringMask);
        float lowValues[16];
        float highValues[16];
        for (int i = 0; i < 16; ++i) {
            lowValues[i] = low[i];
            highValues[i] = block[16 - i];
        }
        // Separate statements: each product is rounded to single precision before it is added.
        for (int lane = 0; lane < 32; ++lane) {
            const float lowProduct = lanes.LowTaps[j][lane] * lowValues[lane % 16];
            const float highProduct = lanes.HighTaps[j][lane] * highValues[lane % 16];
            lowSums[lane] += lowProduct;
            highSums[lane] += highProduct;
        }
        // The middle output's eight taps are paired as consecutive tap groups.
        const float middleProduct = lanes.Middle[j] * block[0];
        middleSums[j & 1] += middleProduct;
    }

    for (int n = 0; n < 16; ++n)
        samples[n] = TruncateToSample(lowSums[n] + highSums[n]);
    samples[16] = TruncateToSample(middleSums[0] + middleSums[1]);
    for (int k = 1; k < 16; ++k)
        samples[32 - k] = TruncateToSample(lowSums[16 + k] + highSums[16 + k]);
}

} // namespace pt4
