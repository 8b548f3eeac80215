#include "mp3plyr/synth/window_step.h"

#include "mp3plyr/synth/window_lanes.h"
#include "mp3plyr/synth/window_step_x86.h"

#include <array>

namespace pt4 {

template <int N> void WindowStepFloat(const float* ring, int32_t position, int16_t* samples)
{
    constexpr int half = N / 2;
    constexpr int32_t ringMask = 16 * N - 1;
    const WindowLanes<N>& lanes = WindowLaneCoefficients<N>();

    double sums[N] = {};
    double middle = 0.0;
    for (int j = 0; j < 8; ++j) {
        const float* low = ring + ((position + 2 * N * j) & ringMask) + half;
        const float* block = ring + ((position + 2 * N * j + N) & ringMask);
        double lowValues[half];
        double highValues[half];
        for (int i = 0; i < half; ++i) {
            lowValues[i] = low[i];
            highValues[i] = block[half - i];
        }
        for (int i = 0; i < half; ++i) {
            sums[i] += lanes.LowTaps[j][i] * lowValues[i];
            sums[i] += lanes.HighTaps[j][i] * highValues[i];
        }
        for (int i = 0; i < half; ++i) {
            sums[half + i] += lanes.LowTaps[j][half + i] * lowValues[i];
            sums[half + i] += lanes.HighTaps[j][half + i] * highValues[i];
        }
        middle += lanes.Middle[j] * block[0];
    }

    for (int n = 0; n < half; ++n)
        samples[n] = RoundToSample(sums[n]);
    samples[half] = RoundToSample(middle);
    for (int k = 1; k < half; ++k)
        samples[N - k] = RoundToSample(sums[half + k]);
}

template void WindowStepFloat<32>(const float*, int32_t, int16_t*);
template void WindowStepFloat<16>(const float*, int32_t, int16_t*);
template void WindowStepFloat<8>(const float*, int32_t, int16_t*);

namespace {

TWindowKernel ChooseFloatKernel32()
{
#if PT4_X86_WINDOW_KERNELS
    if (AvxFmaKernelSupported())
        return WindowStepFloatAvxFma;
    return WindowStepFloatSse2;
#else
    return WindowStepFloat<32>;
#endif
}

// Bit 1 of the active set (the paired single-precision extension) picks the paired kernel.
std::array<TWindowKernel, 16> BuildFullRateKernels()
{
    std::array<TWindowKernel, 16> kernels{};
    for (uint32_t capabilities = 0; capabilities < kernels.size(); ++capabilities)
        kernels[capabilities] = (capabilities & 2u) != 0 ? WindowStepPairedSingle : FloatKernel32();
    return kernels;
}

} // namespace

TWindowKernel FloatKernel32()
{
    static const TWindowKernel kernel = ChooseFloatKernel32();
    return kernel;
}

const TWindowKernelTable& CapabilityKernels()
{
    static const TWindowKernelTable kernels = BuildFullRateKernels();
    return kernels;
}

const TWindowKernelTable& FloatKernels()
{
    static const TWindowKernelTable kernels = [] {
        TWindowKernelTable table{};
        table.fill(FloatKernel32());
        return table;
    }();
    return kernels;
}

TWindowKernel FullRateKernel(uint32_t activeCapabilities)
{
    return CapabilityKernels()[activeCapabilities & 15u];
}

} // namespace pt4
