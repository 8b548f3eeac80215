#include "mp3plyr/synth/cosine_transform.h"

#include "mp3plyr/synth/cosine_butterflies.h"
#include "mp3plyr/synth/cosine_transform_x86.h"

namespace pt4 {

template <int N> void CosineTransformPortable(const float* x, float* out)
{
    static_assert(N == 32 || N == 16 || N == 8);
    for (int n = 0; n < N; ++n)
        out[n] = x[n];
    Butterflies<N>(out, DctCosines().data());
}

template void CosineTransformPortable<32>(const float*, float*);
template void CosineTransformPortable<16>(const float*, float*);
template void CosineTransformPortable<8>(const float*, float*);

template <int N> void CosineTransform(const float* x, float* out)
{
#if PT4_X86_COSINE_TRANSFORM
    if constexpr (N == 32) {
        CosineTransform32Sse(x, out);
        return;
    }
#endif
    CosineTransformPortable<N>(x, out);
}

template void CosineTransform<32>(const float*, float*);
template void CosineTransform<16>(const float*, float*);
template void CosineTransform<8>(const float*, float*);

} // namespace pt4
