// Vector forms of the floating-point window kernel. Lanes, taps and the order of the additions
// are those of WindowStepFloat<32>: products of two floats are exact in double, so fused and
// separate multiply-adds, and every lane width, give the same sums.
#include "mp3plyr/synth/window_step_x86.h"

#if PT4_X86_WINDOW_KERNELS

#include "mp3plyr/synth/window_lanes.h"
#include "mp3plyr/synth/window_step.h"

#include <immintrin.h>

namespace pt4 {

namespace {

constexpr int32_t kRingMask = 511;

// Ring values of tap group j: `low` starts the forward run, `block` is the block whose
// element 16 - i is the backward run's element i.
inline const float* LowRun(const float* ring, int32_t position, int j)
{
    return ring + ((position + 64 * j) & kRingMask) + 16;
}

inline const float* HighBlock(const float* ring, int32_t position, int j)
{
    return ring + ((position + 64 * j + 32) & kRingMask);
}

// Four backward-run values i = 4b ... 4b + 3 in lane order.
inline __m128 HighQuad(const float* block, int b)
{
    const __m128 stored = _mm_loadu_ps(block + 13 - 4 * b);
    return _mm_shuffle_ps(stored, stored, _MM_SHUFFLE(0, 1, 2, 3));
}

inline __m128i RoundQuadSse2(__m128d first, __m128d second)
{
    const __m128d lowest = _mm_set1_pd(-32768.0);
    const __m128d highest = _mm_set1_pd(32767.0);
    // max returns its second operand for NaN, so NaN becomes -32768 as in RoundToSample.
    first = _mm_min_pd(_mm_max_pd(first, lowest), highest);
    second = _mm_min_pd(_mm_max_pd(second, lowest), highest);
    return _mm_unpacklo_epi64(_mm_cvtpd_epi32(first), _mm_cvtpd_epi32(second));
}

// Eight 16-bit values in reverse order.
inline __m128i Reversed16(__m128i v)
{
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(0, 1, 2, 3));
    v = _mm_shufflehi_epi16(v, _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2));
}

// rounded: lanes 0-15 are outputs 0-15, lane 16 + k is output 32 - k (lane 16 unused).
inline void StoreLanes(const __m128i rounded[4], double middle, int16_t* samples)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(samples), rounded[0]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 8), rounded[1]);
    // Outputs 25-31 are lanes 23 down to 17; the byte shift drops the unused lane 16 and the
    // store's first value (output 24) is rewritten by the next store.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 24), _mm_slli_si128(Reversed16(rounded[2]), 2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(samples + 17), Reversed16(rounded[3]));
    samples[16] = RoundToSample(middle);
}

} // namespace

void WindowStepFloatSse2(const float* ring, int32_t position, int16_t* samples)
{
    const WindowLanes<32>& lanes = WindowLaneCoefficients<32>();
    __m128i rounded[4];
    double middle = 0.0;

    // Two passes of 16 lanes keep the accumulators in registers.
    for (int pass = 0; pass < 2; ++pass) {
        __m128d sums[8];
#pragma GCC unroll 8
        for (auto& sum : sums)
            sum = _mm_setzero_pd();
        const int first = 16 * pass;
        for (int j = 0; j < 8; ++j) {
            const float* low = LowRun(ring, position, j);
            const float* block = HighBlock(ring, position, j);
            const double* lowTaps = lanes.LowTaps[j] + first;
            const double* highTaps = lanes.HighTaps[j] + first;
#pragma GCC unroll 4
            for (int b = 0; b < 4; ++b) {
                const __m128 lowQuad = _mm_loadu_ps(low + 4 * b);
                const __m128 highQuad = HighQuad(block, b);
                const __m128d low01 = _mm_cvtps_pd(lowQuad);
                const __m128d low23 = _mm_cvtps_pd(_mm_movehl_ps(lowQuad, lowQuad));
                const __m128d high01 = _mm_cvtps_pd(highQuad);
                const __m128d high23 = _mm_cvtps_pd(_mm_movehl_ps(highQuad, highQuad));
                __m128d& sum01 = sums[2 * b];
                __m128d& sum23 = sums[2 * b + 1];
                sum01 = _mm_add_pd(sum01, _mm_mul_pd(_mm_load_pd(lowTaps + 4 * b), low01));
                sum01 = _mm_add_pd(sum01, _mm_mul_pd(_mm_load_pd(highTaps + 4 * b), high01));
                sum23 = _mm_add_pd(sum23, _mm_mul_pd(_mm_load_pd(lowTaps + 4 * b + 2), low23));
                sum23 = _mm_add_pd(sum23, _mm_mul_pd(_mm_load_pd(highTaps + 4 * b + 2), high23));
            }
            if (pass == 0)
                middle += lanes.Middle[j] * static_cast<double>(block[0]);
        }
#pragma GCC unroll 2
        for (int b = 0; b < 2; ++b) {
            const __m128i low = RoundQuadSse2(sums[4 * b], sums[4 * b + 1]);
            const __m128i high = RoundQuadSse2(sums[4 * b + 2], sums[4 * b + 3]);
            rounded[2 * pass + b] = _mm_packs_epi32(low, high);
        }
    }
    StoreLanes(rounded, middle, samples);
}

__attribute__((target("avx,fma"))) void WindowStepFloatAvxFma(const float* ring, int32_t position,
                                                              int16_t* samples)
{
    const WindowLanes<32>& lanes = WindowLaneCoefficients<32>();
    __m256d lowSums[4];
    __m256d highSums[4];
#pragma GCC unroll 4
    for (int b = 0; b < 4; ++b) {
        lowSums[b] = _mm256_setzero_pd();
        highSums[b] = _mm256_setzero_pd();
    }
    double middle = 0.0;

    for (int j = 0; j < 8; ++j) {
        const float* low = LowRun(ring, position, j);
        const float* block = HighBlock(ring, position, j);
        const double* lowTaps = lanes.LowTaps[j];
        const double* highTaps = lanes.HighTaps[j];
#pragma GCC unroll 4
        for (int b = 0; b < 4; ++b) {
            const __m256d lowValues = _mm256_cvtps_pd(_mm_loadu_ps(low + 4 * b));
            const __m256d highValues = _mm256_cvtps_pd(HighQuad(block, b));
            lowSums[b] = _mm256_fmadd_pd(_mm256_load_pd(lowTaps + 4 * b), lowValues, lowSums[b]);
            lowSums[b] = _mm256_fmadd_pd(_mm256_load_pd(highTaps + 4 * b), highValues, lowSums[b]);
            highSums[b] = _mm256_fmadd_pd(_mm256_load_pd(lowTaps + 16 + 4 * b), lowValues, highSums[b]);
            highSums[b] = _mm256_fmadd_pd(_mm256_load_pd(highTaps + 16 + 4 * b), highValues, highSums[b]);
        }
        middle += lanes.Middle[j] * static_cast<double>(block[0]);
    }

    const __m256d lowest = _mm256_set1_pd(-32768.0);
    const __m256d highest = _mm256_set1_pd(32767.0);
    __m128i rounded[4];
#pragma GCC unroll 2
    for (int b = 0; b < 2; ++b) {
        __m128i quads[2][2];
#pragma GCC unroll 2
        for (int q = 0; q < 2; ++q) {
            const __m256d lowClipped = _mm256_min_pd(_mm256_max_pd(lowSums[2 * b + q], lowest), highest);
            const __m256d highClipped = _mm256_min_pd(_mm256_max_pd(highSums[2 * b + q], lowest), highest);
            quads[0][q] = _mm256_cvtpd_epi32(lowClipped);
            quads[1][q] = _mm256_cvtpd_epi32(highClipped);
        }
        rounded[b] = _mm_packs_epi32(quads[0][0], quads[0][1]);
        rounded[2 + b] = _mm_packs_epi32(quads[1][0], quads[1][1]);
    }
    StoreLanes(rounded, middle, samples);
}

// Four sums clipped and rounded to 32-bit integers, as in WindowStepFloatAvxFma.
__attribute__((target("avx"))) inline __m128i RoundQuadAvx(__m256d sum, __m256d lowest, __m256d highest)
{
    return _mm256_cvtpd_epi32(_mm256_min_pd(_mm256_max_pd(sum, lowest), highest));
}

// Both channels of a slot at once (ring1 = ring0 + 512): each tap is loaded once for the two
// channels' products, which leaves the kernel fewer loads per multiply-add. Per lane and channel
// the sums are those of WindowStepFloatAvxFma. Two passes of eight lanes keep the accumulators in
// registers.
__attribute__((target("avx,fma"))) void WindowStepFloatAvxFmaPair(const float* ring0, int32_t position,
                                                                  int16_t* samples0, int16_t* samples1)
{
    const WindowLanes<32>& lanes = WindowLaneCoefficients<32>();
    const __m256d lowest = _mm256_set1_pd(-32768.0);
    const __m256d highest = _mm256_set1_pd(32767.0);
    __m128i rounded0[4];
    __m128i rounded1[4];

    double middle0 = 0.0;
    double middle1 = 0.0;
    for (int j = 0; j < 8; ++j) {
        const float* block = HighBlock(ring0, position, j);
        middle0 += lanes.Middle[j] * static_cast<double>(block[0]);
        middle1 += lanes.Middle[j] * static_cast<double>(block[512]);
    }

#pragma GCC unroll 1
    for (int pass = 0; pass < 2; ++pass) {
        __m256d low00 = _mm256_setzero_pd(), low01 = low00, high00 = low00, high01 = low00; // channel 0
        __m256d low10 = low00, low11 = low00, high10 = low00, high11 = low00;               // channel 1
#pragma GCC unroll 8
        for (int j = 0; j < 8; ++j) {
            const float* low = LowRun(ring0, position, j) + 8 * pass;
            const float* block = HighBlock(ring0, position, j);
            const double* lowTaps = lanes.LowTaps[j] + 8 * pass;
            const double* highTaps = lanes.HighTaps[j] + 8 * pass;
            // Lanes 8 * pass ... + 3 and their mirrored lanes.
            __m256d lowTap = _mm256_load_pd(lowTaps);
            __m256d highTap = _mm256_load_pd(highTaps);
            __m256d mirroredLowTap = _mm256_load_pd(lowTaps + 16);
            __m256d mirroredHighTap = _mm256_load_pd(highTaps + 16);
            __m256d lowValues = _mm256_cvtps_pd(_mm_loadu_ps(low));
            __m256d highValues = _mm256_cvtps_pd(HighQuad(block, 2 * pass));
            low00 = _mm256_fmadd_pd(lowTap, lowValues, low00);
            low00 = _mm256_fmadd_pd(highTap, highValues, low00);
            high00 = _mm256_fmadd_pd(mirroredLowTap, lowValues, high00);
            high00 = _mm256_fmadd_pd(mirroredHighTap, highValues, high00);
            lowValues = _mm256_cvtps_pd(_mm_loadu_ps(low + 512));
            highValues = _mm256_cvtps_pd(HighQuad(block + 512, 2 * pass));
            low10 = _mm256_fmadd_pd(lowTap, lowValues, low10);
            low10 = _mm256_fmadd_pd(highTap, highValues, low10);
            high10 = _mm256_fmadd_pd(mirroredLowTap, lowValues, high10);
            high10 = _mm256_fmadd_pd(mirroredHighTap, highValues, high10);
            // Lanes 8 * pass + 4 ... + 7 and their mirrored lanes.
            lowTap = _mm256_load_pd(lowTaps + 4);
            highTap = _mm256_load_pd(highTaps + 4);
            mirroredLowTap = _mm256_load_pd(lowTaps + 20);
            mirroredHighTap = _mm256_load_pd(highTaps + 20);
            lowValues = _mm256_cvtps_pd(_mm_loadu_ps(low + 4));
            highValues = _mm256_cvtps_pd(HighQuad(block, 2 * pass + 1));
            low01 = _mm256_fmadd_pd(lowTap, lowValues, low01);
            low01 = _mm256_fmadd_pd(highTap, highValues, low01);
            high01 = _mm256_fmadd_pd(mirroredLowTap, lowValues, high01);
            high01 = _mm256_fmadd_pd(mirroredHighTap, highValues, high01);
            lowValues = _mm256_cvtps_pd(_mm_loadu_ps(low + 516));
            highValues = _mm256_cvtps_pd(HighQuad(block + 512, 2 * pass + 1));
            low11 = _mm256_fmadd_pd(lowTap, lowValues, low11);
            low11 = _mm256_fmadd_pd(highTap, highValues, low11);
            high11 = _mm256_fmadd_pd(mirroredLowTap, lowValues, high11);
            high11 = _mm256_fmadd_pd(mirroredHighTap, highValues, high11);
        }
        rounded0[pass] =
            _mm_packs_epi32(RoundQuadAvx(low00, lowest, highest), RoundQuadAvx(low01, lowest, highest));
        rounded0[2 + pass] =
            _mm_packs_epi32(RoundQuadAvx(high00, lowest, highest), RoundQuadAvx(high01, lowest, highest));
        rounded1[pass] =
            _mm_packs_epi32(RoundQuadAvx(low10, lowest, highest), RoundQuadAvx(low11, lowest, highest));
        rounded1[2 + pass] =
            _mm_packs_epi32(RoundQuadAvx(high10, lowest, highest), RoundQuadAvx(high11, lowest, highest));
    }
    StoreLanes(rounded0, middle0, samples0);
    StoreLanes(rounded1, middle1, samples1);
}

bool AvxFmaKernelSupported()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") && __builtin_cpu_supports("fma");
}

} // namespace pt4

#endif
