// PCM output routines: subband samples in, PCM out, through the polyphase synthesis.
// A decoder initialisation picks one routine per stream; nothing is tested per sample.
#pragma once

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

// row = (eightBit ? 6 : 0) + 2 * reductionCode + (outputChannels - 1), 0 ... 11
TLayer3OutputRoutine Layer3OutputRoutine(int row);

// row = (eightBit ? 15 : 0) + 5 * reductionCode + channelChoice, 0 ... 29
TLayer12OutputRoutine Layer12OutputRoutine(int row);

} // namespace pt4
