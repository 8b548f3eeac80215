// The Layer III hybrid filter bank: per subband an IMDCT, the block type's window and the
// overlap-add with the previous granule, then the frequency inversion of odd subbands.
#pragma once

#include "mp3plyr/synth/imdct.h"

#include <cstdint>

namespace pt4 {

// Transforms one channel's granule. `current` holds its lines and receives the overlap for the
// next granule in place; `previous` is the overlap of the granule before; `output` receives
// 18 slots of 32 subbands (value (t, s) at 32t + s). Limits and extents count lines; the
// subbands above the processed ones come out silent. Returns the number of lines whose new
// overlap may be non-zero. The first `normalWindowLines` lines (the long part of a block coded
// with the mixed-block flag) use the normal window whatever the block type.
int32_t HybridSynthesis(float* current, const float* previous, float* output, int32_t blockType,
                        int32_t longLimit, int32_t shortLimit, int32_t previousExtent,
                        int32_t normalWindowLines = 0);

// Adds a second channel's windowed IMDCT into `output` and into the first channel's new
// overlap `overlap` (mixing to one channel). Returns 18 x the subbands it processed.
int32_t HybridAccumulate(const float* second, float* overlap, float* output, int32_t blockType,
                         int32_t longLimit, int32_t shortLimit, int32_t normalWindowLines = 0);

// target[i] += source[i] for i < n.
void AddLines(float* target, const float* source, int32_t n);

// Negates the odd slots of the odd subbands below the extent (sign flip, zeros included).
void InvertOddSubbands(float* output, int32_t extent);

} // namespace pt4
