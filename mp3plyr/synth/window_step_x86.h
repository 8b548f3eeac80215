// Vector forms of the floating-point window kernel (N = 32) for x86 processors.
#pragma once

#include <cstdint>

#if defined(__SSE2__) && (defined(__x86_64__) || defined(__i386__))
#define PT4_X86_WINDOW_KERNELS 1
#else
#define PT4_X86_WINDOW_KERNELS 0
#endif

namespace pt4 {

#if PT4_X86_WINDOW_KERNELS
void WindowStepFloatSse2(const float* ring, int32_t position, int16_t* samples);
// Only when AvxFmaKernelSupported(): the processor and the system both enable AVX and FMA.
void WindowStepFloatAvxFma(const float* ring, int32_t position, int16_t* samples);
bool AvxFmaKernelSupported();
// Both channels of a slot, rings at ring0 and ring0 + 512, with the samples of two calls of
// WindowStepFloatAvxFma.
void WindowStepFloatAvxFmaPair(const float* ring0, int32_t position, int16_t* samples0, int16_t* samples1);
#endif

} // namespace pt4
