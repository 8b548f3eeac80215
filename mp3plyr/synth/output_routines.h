// PCM output routines: subband samples in, PCM out, through the polyphase synthesis.
// A decoder initialisation picks one routine per stream; nothing is tested per sample.
#pragma once

#include "mp3plyr/format/decoder_types.h"
#include "mp3plyr/synth/synthesis_state.h"

#include <cstdint>

namespace pt4 {

// Layer III: 18 slots of 32 subband samples of one channel (value (t, s) at 32t + s) into the
// granule's PCM block; `channel` picks ring 0 or 1 for two-channel output.
using TLayer3OutputRoutine = void (*)(SynthesisContext& context, const float* transformOutput, uint8_t* pcm,
                                      int channel);

// Layers I and II: `slotCount` slots of 64 values (one channel: subbands 0-31; two channels:
// left at 2s, right at 2s + 1) into the frame's PCM block.
using TLayer12OutputRoutine = void (*)(SynthesisContext& context, const float* subbandSamples, uint8_t* pcm,
                                       int slotCount);

// The routine for a sample width, rate and number of output channels (1 or 2); nullptr for
// values outside the enumerations.
TLayer3OutputRoutine Layer3OutputRoutine(TSampleWidth width, TRateReduction reduction, int32_t channels);

// The routine for a sample width, rate and channel route; nullptr outside the enumerations.
TLayer12OutputRoutine Layer12OutputRoutine(TSampleWidth width, TRateReduction reduction, TChannelRoute route);

} // namespace pt4
