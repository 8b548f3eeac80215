// The window step of the synthesis: N PCM values from the history ring of one channel.
//
// The ring holds 16N values; each slot's transform output sits at its position, and positions
// move down by N per slot. The step reads 8 pairs of taps per output from the 16 most recent
// slots and converts each sum to a 16-bit value; callers store or narrow the values.
#pragma once

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace pt4 {

// position: where the slot just transformed was stored; samples: N values, clipped.
using TWindowKernel = void (*)(const float* ring, int32_t position, int16_t* samples);

// Floating-point kernel, portable form: double accumulation, round half to even, clip.
template <int N> void WindowStepFloat(const float* ring, int32_t position, int16_t* samples);

extern template void WindowStepFloat<32>(const float*, int32_t, int16_t*);
extern template void WindowStepFloat<16>(const float*, int32_t, int16_t*);
extern template void WindowStepFloat<8>(const float*, int32_t, int16_t*);

// The fastest floating-point kernel for N = 32 that this processor runs, chosen once per process.
// Every form gives the same values as WindowStepFloat<32>.
TWindowKernel FloatKernel32();

// Paired single-precision kernel for N = 32: two float partial sums, truncation toward zero.
void WindowStepPairedSingle(const float* ring, int32_t position, int16_t* samples);

// The full-rate 16-bit kernel for a set of active capabilities, looked up at every slot.
TWindowKernel FullRateKernel(uint32_t activeCapabilities);

// Full-rate kernels indexed by the active capabilities (low four bits). A stream's set-up picks
// the table for its sample width; the output routine looks its kernel up at every slot, so a
// change of capabilities takes effect in the middle of a stream.
using TWindowKernelTable = std::array<TWindowKernel, 16>;
const TWindowKernelTable& CapabilityKernels(); // 16-bit output: FullRateKernel for each set
const TWindowKernelTable& FloatKernels();      // 8-bit output: always the floating-point kernel

// Conversions of a finished sum to a sample (NaN gives -32768).
inline int16_t RoundToSample(double sum)
{
    if (!(sum >= -32768.0))
        return -32768;
    if (sum >= 32767.0)
        return 32767;
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
    // Adding 1.5 * 2^52 leaves no fraction bits, so the addition rounds half to even.
    constexpr double shifter = 6755399441055744.0;
    return static_cast<int16_t>((sum + shifter) - shifter);
#else
    return static_cast<int16_t>(std::nearbyint(sum));
#endif
}

inline int16_t TruncateToSample(float sum)
{
    if (!(sum >= -32768.0f))
        return -32768;
    if (sum >= 32767.0f)
        return 32767;
    return static_cast<int16_t>(sum);
}

} // namespace pt4
