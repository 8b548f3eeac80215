// A constant gain for the whole output (loudness normalisation), carried by the scaling the
// decoder already applies, so that it costs no pass of its own over the PCM.
#pragma once

#include "mp3plyr/synth/synthesis_state.h"

namespace pt4 {

// Layer III takes `scale` with each granule's global gain, Layers I and II with each frame's
// step factors: a few products per frame, in every output configuration. 1 leaves the output
// exactly as without it.
inline void SetOutputGain(EqualizerGains& gains, float scale)
{
    gains.OutputGain.store(scale, std::memory_order_relaxed);
}

} // namespace pt4
