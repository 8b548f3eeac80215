#include "mp3plyr/synth/window_lanes.h"

#include "mp3plyr/synth/synthesis_window.h"

namespace pt4 {

namespace {

template <int N> WindowLanes<N> BuildLanes()
{
    constexpr int half = N / 2;
    constexpr int rowStep = 32 / N;
    const auto& w = SynthesisWindow;
    WindowLanes<N> lanes{};
    for (int j = 0; j < 8; ++j) {
        // First half of the outputs: the forward tap and the negated backward tap of row n.
        for (int n = 0; n < half; ++n) {
            const int row = 16 * n * rowStep;
            lanes.LowTaps[j][n] = w[row + 2 * j];
            lanes.HighTaps[j][n] = -w[row + 2 * j + 1];
        }
        // Second half: the same rows read backwards, output N - k from row k.
        for (int k = 1; k < half; ++k) {
            const int row = 16 * k * rowStep;
            lanes.LowTaps[j][half + k] = w[row + 15 - 2 * j];
            lanes.HighTaps[j][half + k] = w[row + 14 - 2 * j];
        }
        lanes.Middle[j] = w[256 + j];
    }
    return lanes;
}

} // namespace

template <int N> const WindowLanes<N>& WindowLaneCoefficients()
{
    static const WindowLanes<N> lanes = BuildLanes<N>();
    return lanes;
}

template const WindowLanes<32>& WindowLaneCoefficients<32>();
template const WindowLanes<16>& WindowLaneCoefficients<16>();
template const WindowLanes<8>& WindowLaneCoefficients<8>();

} // namespace pt4
