// Two 32-point transforms at once with eight floats per register: the lower half of each
// register runs the first transform and the upper half the second, through the steps of
// CosineTransform32Sse, whose instructions all work within 128-bit halves. Each transform thus
// sees the same operations in the same order as alone, and gives the same values.
#include "mp3plyr/synth/cosine_transform_x86.h"

#if PT4_X86_COSINE_TRANSFORM

#include "mp3plyr/synth/cosine_butterflies.h"
#include "mp3plyr/synth/dct_cosines.h"

#include <immintrin.h>

#define PT4_AVX __attribute__((target("avx")))

namespace pt4 {

namespace {

// Four values of each transform, so that the shared butterfly code runs eight blocks at once.
struct Octet {
    __m256 v;
};

PT4_AVX inline Octet operator+(Octet a, Octet b)
{
    return {_mm256_add_ps(a.v, b.v)};
}
PT4_AVX inline Octet operator-(Octet a, Octet b)
{
    return {_mm256_sub_ps(a.v, b.v)};
}
PT4_AVX inline Octet operator*(Octet a, float factor)
{
    return {_mm256_mul_ps(a.v, _mm256_set1_ps(factor))};
}

PT4_AVX inline __m256 Reversed(__m256 v)
{
    return _mm256_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}

// One butterfly stage of block size 4 * Quads over the values held in `Quads` registers.
template <int Quads>
PT4_AVX inline void SplitBlock(const __m256* u, const float* cosines, __m256* sums, __m256* differences)
{
#pragma GCC unroll 16
    for (int k = 0; k < Quads / 2; ++k) {
        const __m256 mirrored = Reversed(u[Quads - 1 - k]);
        sums[k] = _mm256_add_ps(u[k], mirrored);
        differences[k] = _mm256_mul_ps(_mm256_sub_ps(u[k], mirrored),
                                       _mm256_broadcast_ps(reinterpret_cast<const __m128*>(cosines + 4 * k)));
    }
}

// Four values of each input side by side.
PT4_AVX inline __m256 LoadPair(const float* first, const float* second)
{
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm_loadu_ps(first)), _mm_loadu_ps(second), 1);
}

PT4_AVX inline void Transpose(__m256& r0, __m256& r1, __m256& r2, __m256& r3)
{
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1);
    const __m256 t1 = _mm256_unpacklo_ps(r2, r3);
    const __m256 t2 = _mm256_unpackhi_ps(r0, r1);
    const __m256 t3 = _mm256_unpackhi_ps(r2, r3);
    r0 = _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(t0), _mm256_castps_pd(t1)));
    r1 = _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(t0), _mm256_castps_pd(t1)));
    r2 = _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(t2), _mm256_castps_pd(t3)));
    r3 = _mm256_castpd_ps(_mm256_unpackhi_pd(_mm256_castps_pd(t2), _mm256_castps_pd(t3)));
}

} // namespace

PT4_AVX void CosineTransform32PairAvx(const float* x0, const float* x1, float* out0, float* out1)
{
    const float* cosines = DctCosines().data();
    __m256 u[8];
#pragma GCC unroll 16
    for (int k = 0; k < 8; ++k)
        u[k] = LoadPair(x0 + 4 * k, x1 + 4 * k);

    __m256 sums[4];
    __m256 differences[4];
    SplitBlock<8>(u, cosines + DctCosineGroup(32), sums, differences);
    __m256 blocks[4][2];
    SplitBlock<4>(sums, cosines + DctCosineGroup(16), blocks[0], blocks[1]);
    SplitBlock<4>(differences, cosines + DctCosineGroup(16), blocks[2], blocks[3]);

    Octet lanes[9];
#pragma GCC unroll 16
    for (int h = 0; h < 2; ++h) {
        __m256 r0 = blocks[0][h], r1 = blocks[1][h], r2 = blocks[2][h], r3 = blocks[3][h];
        Transpose(r0, r1, r2, r3);
        lanes[4 * h] = {r0};
        lanes[4 * h + 1] = {r1};
        lanes[4 * h + 2] = {r2};
        lanes[4 * h + 3] = {r3};
    }
    Butterflies<8>(lanes, cosines);
    lanes[8] = {_mm256_setzero_ps()};

    const __m256 oddLanes = _mm256_castsi256_ps(_mm256_set_epi32(-1, 0, -1, 0, -1, 0, -1, 0));
#pragma GCC unroll 16
    for (int e = 0; e < 8; ++e) {
        const __m256 here = lanes[e].v;
        const __m256 next = lanes[e + 1].v;
        const __m256 adjacent = _mm256_add_ps(here, next);
        const __m256 first = _mm256_shuffle_ps(here, adjacent, _MM_SHUFFLE(3, 1, 2, 0));
        const __m256 second =
            _mm256_and_ps(_mm256_shuffle_ps(adjacent, next, _MM_SHUFFLE(2, 0, 3, 0)), oddLanes);
        const __m256 result = _mm256_add_ps(first, second);
        _mm_storeu_ps(out0 + 4 * e, _mm256_castps256_ps128(result));
        _mm_storeu_ps(out1 + 4 * e, _mm256_extractf128_ps(result, 1));
    }
}

bool CosinePairKernelSupported()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx");
}

} // namespace pt4

#endif
