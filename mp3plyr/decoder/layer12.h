// Layers I and II: set-up for a stream and the frame routines.
#pragma once

#include "mp3plyr/decoder/frame_header.h"
#include "mp3plyr/format/decoder_types.h"

#include <cstdint>

namespace pt4 {

struct DecoderState;

// Called by the decoder initialisation after it stored the output configuration in `state`.
// False when the stream cannot be decoded.
bool SetupLayer1(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength);
bool SetupLayer2(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength);

TDecodeResult DecodeLayer1Frame(DecoderState& state, const uint8_t* frame, uint8_t* pcm);
TDecodeResult DecodeLayer2Frame(DecoderState& state, const uint8_t* frame, uint8_t* pcm);

} // namespace pt4
