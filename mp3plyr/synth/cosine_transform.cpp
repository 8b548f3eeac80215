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

namespace {

using TPairTransform = void (*)(const float*, const float*, float*, float*);

void CosineTransformTwice32(const float* x0, const float* x1, float* out0, float* out1)
{
    CosineTransform<32>(x0, out0);
    CosineTransform<32>(x1, out1);
}

TPairTransform ChoosePairTransform()
{
#if PT4_X86_COSINE_TRANSFORM
    if (CosinePairKernelSupported())
        return CosineTransform32PairAvx;
#endif
    return CosineTransformTwice32;
}

} // namespace

void CosineTransformPair32(const float* x0, const float* x1, float* out0, float* out1)
{
    static const TPairTransform transform = ChoosePairTransform();
    transform(x0, x1, out0, out1);
}

} // namespace pt4
