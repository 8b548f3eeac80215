// Frame-level steps that Layers I and II share: the header of a frame, and the hand-over of its
// decoded slots to the output routine in the layout the stream was set up for.
#pragma once

#include "mp3plyr/decoder/decoder_types.h"
#include "mp3plyr/decoder/frame_header.h"

#include <cstdint>

namespace pt4
{

struct DecoderState;
struct Layer12State;

struct Layer12Frame {
    TMPFrameHeader Header;
    int32_t PaddedLength = 0; // bytes the frame occupies, its padding included
    int32_t DataOffset = 0;   // bytes before the allocation: header and CRC
    int32_t DataBits = 0;     // bits after them up to the end of the frame
    int32_t Channels = 1;     // of this frame, which may differ from the stream's
    int32_t Bound = 0;        // stereo bound in entries
};

// Parses the frame's own header. False when it is no frame of `layerBits` that can be decoded:
// another sync (MPEG-2.5 included), another layer, a reserved rate, an invalid bit rate.
bool ReadLayer12Header(const Layer12State& state, const uint8_t* frame, int32_t layerBits, Layer12Frame& out);

// Moves the frame's decoded slots into the stream's channel layout (a one-channel frame fills
// both channels of a two-channel stream; a two-channel frame gives its left channel to a
// one-channel stream), clears entries that earlier frames left above this frame's limit, runs
// the output routine and returns the frame's result.
TDecodeResult FinishLayer12Frame(DecoderState& state, const Layer12Frame& frame, int32_t slots, uint8_t* pcm);

} // namespace pt4
