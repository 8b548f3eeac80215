// A constant gain for the whole output (loudness normalisation), carried by the equalizer's gain
// tables so that it costs no pass of its own over the PCM.
#pragma once

#include "mp3plyr/synth/synthesis_state.h"

#include <cstdint>

namespace pt4 {

// Multiplies the table in use by `scale`; with both equalizers off, switches on the one that acts
// in every output configuration of `layer` (the line gains for Layer III, the subband gains
// otherwise) with every gain at `scale`. A scale of exactly 1 changes nothing. Call it right
// after the tables were written for the current settings.
void FoldOutputGain(EqualizerGains& gains, float scale, int32_t layer);

} // namespace pt4
