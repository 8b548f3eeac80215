// The synthesis window rearranged so that the window step runs across outputs, not taps.
//
// For tap group j (j = 0 ... 7) the step reads two runs of N/2 ring values from the block at
// base = position + 2Nj: Low[i] = ring[base + N/2 + i] and High[i] = ring[base + 3N/2 - i].
// Lane i < N/2 is output i; lane N/2 + k is output N - k (k = 1 ... N/2 - 1). Lane N/2 is unused
// (zero) and the middle output, ring[base + N] times Middle[j], is summed on its own.
// Each lane adds its Low product first and its High product second, which is the order of the
// taps in the direct form of the step, so every form of the kernel sums identically.
#pragma once

namespace pt4 {

template <int N> struct WindowLanes {
    alignas(64) double LowTaps[8][N];
    alignas(64) double HighTaps[8][N];
    double Middle[8];
};

template <int N> const WindowLanes<N>& WindowLaneCoefficients();

extern template const WindowLanes<32>& WindowLaneCoefficients<32>();
extern template const WindowLanes<16>& WindowLaneCoefficients<16>();
extern template const WindowLanes<8>& WindowLaneCoefficients<8>();

} // namespace pt4
