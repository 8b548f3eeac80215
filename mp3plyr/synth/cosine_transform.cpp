#include "mp3plyr/synth/cosine_transform.h"

#include "mp3plyr/synth/dct_cosines.h"

namespace pt4 {

namespace {

// One block of size M in place: split into sums and scaled differences, transform both halves,
// then interleave; X[2j] comes from the sums, X[2j + 1] from adjacent differences.
template <int M>
[[gnu::always_inline]] inline void Butterflies(float* u, const float* cosines)
{
    if constexpr (M == 2) {
        const float sum = u[0] + u[1];
        const float difference = (u[0] - u[1]) * cosines[DctCosineGroup(2)];
        u[0] = sum;
        u[1] = difference;
    } else {
        constexpr int half = M / 2;
        const float* c = cosines + DctCosineGroup(M);
        float sums[half];
        float differences[half];
        for (int j = 0; j < half; ++j) {
            sums[j] = u[j] + u[M - 1 - j];
            differences[j] = (u[j] - u[M - 1 - j]) * c[j];
        }
        Butterflies<half>(sums, cosines);
        Butterflies<half>(differences, cosines);
        for (int j = 0; j < half; ++j)
            u[2 * j] = sums[j];
        for (int j = 0; j < half - 1; ++j)
            u[2 * j + 1] = differences[j] + differences[j + 1];
        u[M - 1] = differences[half - 1];
    }
}

} // namespace

template <int N>
void CosineTransform(const float* x, float* out)
{
    static_assert(N == 32 || N == 16 || N == 8);
    for (int n = 0; n < N; ++n)
        out[n] = x[n];
    Butterflies<N>(out, DctCosines().data());
}

template void CosineTransform<32>(const float*, float*);
template void CosineTransform<16>(const float*, float*);
template void CosineTransform<8>(const float*, float*);

} // namespace pt4
