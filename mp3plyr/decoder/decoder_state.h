// Everything the decoder keeps between calls, in one object. The entries work on a shared
// instance by default; tests and tools may make their own.
#pragma once

#include "mp3plyr/decoder/decoder_types.h"
#include "mp3plyr/decoder/layer12_state.h"
#include "mp3plyr/decoder/layer3_state.h"
#include "mp3plyr/synth/output_routines.h"
#include "mp3plyr/synth/synthesis_state.h"

#include <cstdint>

namespace pt4 {

struct DecoderState;
using TFrameRoutine = TDecodeResult (*)(DecoderState& state, const uint8_t* frame, uint8_t* pcm);

// The output configuration fixed by each initialisation.
struct DecoderConfig {
    int32_t ReductionCode = 0;   // 0 full rate, 1 half, 2 quarter
    int32_t ConvertCode = 0;     // bits 0-1 channel conversion, bit 3 8-bit output
    bool EightBit = false;
    int32_t FrequencyLimit = 24000;
    int32_t ChannelChoice = 0;   // 0 one-channel stream, 1 as coded, 2 mix, 3 left, 4 right
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
