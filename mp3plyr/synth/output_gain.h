// A constant gain for the whole output (loudness normalisation), carried by scaling the decoder
// already applies, so that it costs no pass of its own over the PCM.
#pragma once

#include "mp3plyr/synth/synthesis_state.h"

#include <cstdint>

namespace pt4 {

// Layer III: the requantiser's global gain takes `scale` (one product per granule and channel).
// Layers I and II: the subband gains in use are multiplied by `scale`, or, with both equalizers
// off, switched on with every gain at `scale`; a scale of exactly 1 leaves them alone, and they
// act only at full rate without a mix. Call it right after the tables were written for the
// current settings.
void FoldOutputGain(EqualizerGains& gains, float scale, int32_t layer);

} // namespace pt4
