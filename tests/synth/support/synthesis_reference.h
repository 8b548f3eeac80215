// Direct, unoptimised evaluations of the synthesis that the tests compare the decoder against.
#pragma once

#include <cstdint>
#include <vector>

namespace pt4::test {

// The standard's synthesis window D[0 ... 511], read from the shared tables folder.
const std::vector<double>& StandardWindow();

// X[k] = sum x[n] cos(pi (2n + 1) k / 2N) in double.
std::vector<double> DirectCosineTransform(const float* x, int n);

// The standard's synthesis (matrixing, 1024-value FIFO, window D) generalised to N bands:
// 2N matrix outputs per slot, a 32N-value FIFO and the window D[(32 / N) i]. N = 32 is the
// standard's own filter bank.
class StandardSynthesis {
public:
    explicit StandardSynthesis(int bands);
    // N subband samples in, N output values (unrounded) out.
    std::vector<double> Slot(const std::vector<double>& subbands);

private:
    int bands_;
    std::vector<double> fifo_;
    std::vector<double> window_;
};

// One term of a window-step sum: ring index (already wrapped) and the window factor with its sign.
struct WindowTap {
    int32_t RingIndex;
    float Factor;
};

// The taps of output n in summation order, as the step's direct form walks them (two a/b pointers
// moving through the ring, rows of the stored window read forwards then backwards).
std::vector<WindowTap> DirectWindowTaps(int bands, int32_t position, int n);

// The direct form's sums for all N outputs, accumulated in double in tap order.
std::vector<double> DirectWindowSums(const float* ring, int32_t position, int bands);

// The floating-point kernel's conversion: round half to even, clip.
int16_t RoundAndClip(double sum);

} // namespace pt4::test
