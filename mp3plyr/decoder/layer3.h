// Layer III: set-up for a stream and the frame routine.
#pragma once

#include "mp3plyr/decoder/frame_header.h"
#include "mp3plyr/format/decoder_types.h"

#include <cstdint>

namespace pt4 {

struct DecoderState;

// Called by the decoder initialisation after it stored the output configuration in `state`.
// False when the stream cannot be decoded.
bool SetupLayer3(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength);

// `frame` holds the whole padded frame; nothing past it is read.
TDecodeResult DecodeLayer3Frame(DecoderState& state, const uint8_t* frame, uint8_t* pcm);

} // namespace pt4
