// The decoder's entries: initialise for a stream, decode one frame, report the PCM format.
#pragma once

#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/decoder_types.h"
#include "mp3plyr/decoder/frame_header.h"

#include <cstdint>

namespace pt4 {

// The process-wide decoder that the player uses.
DecoderState& SharedDecoder();

// Returns 1 on success, 0 when the stream cannot be decoded. `frameLength` is without padding.
int32_t DecoderInit(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength,
                    int32_t reductionCode, int32_t transformCode, int32_t convertCode, int32_t frequencyLimit);

// `frame` starts at the header's first byte and holds the whole padded frame plus 4 readable
// bytes; `pcm` has room for the frame's output bytes.
TDecodeResult DecodeFrame(DecoderState& state, const uint8_t* frame, uint8_t* pcm);

void GetDecoderInfo(const DecoderState& state, TDecoderInfo& info);

// The same entries on the shared decoder.
int32_t DecoderInit(const TMPFrameHeader& header, int32_t frameLength, int32_t reductionCode,
                    int32_t transformCode, int32_t convertCode, int32_t frequencyLimit);
TDecodeResult DecodeFrame(const uint8_t* frame, uint8_t* pcm);
void GetDecoderInfo(TDecoderInfo& info);

} // namespace pt4
