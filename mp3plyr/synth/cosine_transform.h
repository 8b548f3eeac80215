// The transform step of the synthesis: an unnormalised type-II cosine transform of one slot.
#pragma once

namespace pt4 {

// out[k] = sum over n of x[n] cos(pi (2n + 1) k / 2N), k = 0 ... N - 1, for N = 32, 16 or 8,
// computed with single-precision butterflies. x and out may not overlap.
template <int N> void CosineTransform(const float* x, float* out);

extern template void CosineTransform<32>(const float*, float*);
extern template void CosineTransform<16>(const float*, float*);
extern template void CosineTransform<8>(const float*, float*);

// Two independent transforms of N = 32 (the two channels of a slot, or two slots of one
// channel) with the results of two calls of CosineTransform<32>; where the processor has wider
// registers, both run at once. The vector form is chosen once per process.
void CosineTransformPair32(const float* x0, const float* x1, float* out0, float* out1);

// The same operations one value at a time; CosineTransform may use a vector form of them,
// which gives identical results.
template <int N> void CosineTransformPortable(const float* x, float* out);

extern template void CosineTransformPortable<32>(const float*, float*);
extern template void CosineTransformPortable<16>(const float*, float*);
extern template void CosineTransformPortable<8>(const float*, float*);

} // namespace pt4
