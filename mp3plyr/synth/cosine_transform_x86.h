// Vector form of the 32-point synthesis cosine transform for x86 processors with SSE.
#pragma once

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define PT4_X86_COSINE_TRANSFORM 1
#else
#define PT4_X86_COSINE_TRANSFORM 0
#endif

namespace pt4 {

#if PT4_X86_COSINE_TRANSFORM
// Same operations, same results as CosineTransformPortable<32>.
void CosineTransform32Sse(const float* x, float* out);
// Two of them at once; only when CosinePairKernelSupported().
void CosineTransform32PairAvx(const float* x0, const float* x1, float* out0, float* out1);
bool CosinePairKernelSupported();
#endif

} // namespace pt4
