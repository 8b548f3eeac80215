// Everything the decoder keeps between calls, in one object. Every player and every decoding
// tool owns one; nothing of it is shared between two streams.
#pragma once

#include "mp3plyr/decoder/layer12_state.h"
#include "mp3plyr/decoder/layer3_state.h"
#include "mp3plyr/format/decoder_types.h"
#include "mp3plyr/synth/output_routines.h"
#include "mp3plyr/synth/synthesis_state.h"

#include <cstdint>

namespace pt4 {

struct DecoderState;
using TFrameRoutine = TDecodeResult (*)(DecoderState& state, const uint8_t* frame, uint8_t* pcm);

// The output configuration fixed by each initialisation.
struct DecoderConfig {
    TRateReduction Reduction = TRateReduction::Full;
    int32_t RateShift = 0; // the output rate is the stream's divided by 2^RateShift
    TSampleWidth Width = TSampleWidth::Bits16;
    bool EightBit = false;
    int32_t FrequencyLimit = 24000;
    TChannelRoute Route = TChannelRoute::Single;
    int32_t OutputChannels = 1;
    int32_t SubbandLimit = 0;
    int32_t OutputBytes = 0;     // PCM bytes per frame
    int32_t HalfOutputBytes = 0; // where an MPEG-1 Layer III frame's second granule starts
    uint8_t SilenceValue = 0;    // 0 for 16-bit, 128 for 8-bit
};

struct DecoderState {
    TFrameRoutine FrameRoutine = nullptr;
    DecoderConfig Config;
    TDecoderInfo Info;
    TLayer12OutputRoutine Layer12Output = nullptr;
    TLayer3OutputRoutine Layer3Output = nullptr;
    SynthesisContext Output;
    Layer12State Layer12;
    Layer3State Layer3;
};

} // namespace pt4
