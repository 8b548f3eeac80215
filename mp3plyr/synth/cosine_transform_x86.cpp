// The 32-point transform with four floats per register. The first two butterfly stages run on
// runs of the input; the four 8-point blocks they leave are transposed so that one register
// holds element e of all four blocks, which runs the remaining stages without shuffles; the
// last two recombinations then produce the output in order.
#include "mp3plyr/synth/cosine_transform_x86.h"

#if PT4_X86_COSINE_TRANSFORM

#include "mp3plyr/synth/cosine_butterflies.h"
#include "mp3plyr/synth/dct_cosines.h"

#include <immintrin.h>

namespace pt4 {

namespace {

// Four independent values, so that the shared butterfly code runs four blocks at once.
struct Quad {
    __m128 v;
};

inline Quad operator+(Quad a, Quad b)
{
    return {_mm_add_ps(a.v, b.v)};
}
inline Quad operator-(Quad a, Quad b)
{
    return {_mm_sub_ps(a.v, b.v)};
}
inline Quad operator*(Quad a, float factor)
{
    return {_mm_mul_ps(a.v, _mm_set1_ps(factor))};
}

inline __m128 Reversed(__m128 v)
{
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
}

// One butterfly stage of block size 4 * quads over values held in `quads` registers.
template <int Quads>
inline void SplitBlock(const __m128* u, const float* cosines, __m128* sums, __m128* differences)
{
#pragma GCC unroll 16
    for (int k = 0; k < Quads / 2; ++k) {
        const __m128 mirrored = Reversed(u[Quads - 1 - k]);
        sums[k] = _mm_add_ps(u[k], mirrored);
        differences[k] = _mm_mul_ps(_mm_sub_ps(u[k], mirrored), _mm_loadu_ps(cosines + 4 * k));
    }
}

} // namespace

void CosineTransform32Sse(const float* x, float* out)
{
    const float* cosines = DctCosines().data();
    __m128 u[8];
#pragma GCC unroll 16
    for (int k = 0; k < 8; ++k)
        u[k] = _mm_loadu_ps(x + 4 * k);

    // Block sizes 32 and 16.
    __m128 sums[4];
    __m128 differences[4];
    SplitBlock<8>(u, cosines + DctCosineGroup(32), sums, differences);
    __m128 blocks[4][2]; // sums of sums, differences of sums, sums of differences, differences of differences
    SplitBlock<4>(sums, cosines + DctCosineGroup(16), blocks[0], blocks[1]);
    SplitBlock<4>(differences, cosines + DctCosineGroup(16), blocks[2], blocks[3]);

    // lanes[e] = element e of the four 8-point blocks.
    Quad lanes[9];
#pragma GCC unroll 16
    for (int h = 0; h < 2; ++h) {
        __m128 r0 = blocks[0][h], r1 = blocks[1][h], r2 = blocks[2][h], r3 = blocks[3][h];
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        lanes[4 * h] = {r0};
        lanes[4 * h + 1] = {r1};
        lanes[4 * h + 2] = {r2};
        lanes[4 * h + 3] = {r3};
    }
    Butterflies<8>(lanes, cosines);
    lanes[8] = {_mm_setzero_ps()};

    // With A, B, C, D the 8-point outputs (lanes 0-3), B' and D' their adjacent sums:
    // X[4e] = A[e], X[4e + 1] = C[e] + D'[e], X[4e + 2] = B'[e], X[4e + 3] = D'[e] + C[e + 1].
    const __m128 oddLanes = _mm_castsi128_ps(_mm_set_epi32(-1, 0, -1, 0));
#pragma GCC unroll 16
    for (int e = 0; e < 8; ++e) {
        const __m128 here = lanes[e].v;
        const __m128 next = lanes[e + 1].v;
        const __m128 adjacent = _mm_add_ps(here, next);
        const __m128 first = _mm_shuffle_ps(here, adjacent, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128 second = _mm_and_ps(_mm_shuffle_ps(adjacent, next, _MM_SHUFFLE(2, 0, 3, 0)), oddLanes);
        _mm_storeu_ps(out + 4 * e, _mm_add_ps(first, second));
    }
}

} // namespace pt4

#endif
