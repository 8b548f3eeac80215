// The decoder's entries: initialise for a stream, decode one frame, report the PCM format. Each
// works on the decoder state its caller owns, so streams decode side by side.
#pragma once

#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/frame_header.h"
#include "mp3plyr/format/decoder_types.h"

#include <cstdint>

namespace pt4 {

// Returns 1 on success, 0 when the stream cannot be decoded (frames are then refused until an
// initialisation succeeds). `frameLength` is without padding.
int32_t DecoderInit(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength,
                    const TOutputOptions& options = {});

// `frame` starts at the header's first byte and holds the whole padded frame; nothing past it
// is read. `pcm` has room for the frame's output bytes.
TDecodeResult DecodeFrame(DecoderState& state, const uint8_t* frame, uint8_t* pcm);

void GetDecoderInfo(const DecoderState& state, TDecoderInfo& info);

} // namespace pt4
