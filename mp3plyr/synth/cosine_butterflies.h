// The butterfly decomposition of the type-II cosine transform, written once for any value type
// with +, - and * by a float: plain floats for one transform, or vectors of floats for several
// independent transforms at once. Every form performs the same single-precision operations.
#pragma once

#include "mp3plyr/synth/dct_cosines.h"

namespace pt4 {

// One block of size M in place: split into sums and scaled differences, transform both halves,
// then interleave; X[2j] comes from the sums, X[2j + 1] from adjacent differences.
template <int M, typename T> [[gnu::always_inline]] inline void Butterflies(T* u, const float* cosines)
{
    if constexpr (M == 2) {
        const T sum = u[0] + u[1];
        const T difference = (u[0] - u[1]) * cosines[DctCosineGroup(2)];
        u[0] = sum;
        u[1] = difference;
    } else {
        constexpr int half = M / 2;
        const float* c = cosines + DctCosineGroup(M);
        T sums[half];
        T differences[half];
#pragma GCC unroll 16
        for (int j = 0; j < half; ++j) {
            sums[j] = u[j] + u[M - 1 - j];
            differences[j] = (u[j] - u[M - 1 - j]) * c[j];
        }
        Butterflies<half>(sums, cosines);
        Butterflies<half>(differences, cosines);
#pragma GCC unroll 16
        for (int j = 0; j < half; ++j)
            u[2 * j] = sums[j];
#pragma GCC unroll 16
        for (int j = 0; j < half - 1; ++j)
            u[2 * j + 1] = differences[j] + differences[j + 1];
        u[M - 1] = differences[half - 1];
    }
}

} // namespace pt4
