// Helpers for the Layer III tests: whole streams through the decoder's entries, frame by frame
// along their headers, each frame copied into a buffer of exactly its padded length + 4 bytes.
#pragma once

#include "mp3plyr/decoder/decoder_state.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace pt4::test {

struct Layer3Decoding {
    std::vector<uint8_t> Pcm; // every frame's output bytes, in order
    TDecoderInfo Info;
    int32_t Frames = 0;
    int32_t Failures = 0; // frames whose InBytes or OutBytes was not the expected one
    bool Initialised = false;
};

// Decodes `stream` from its first frame on with the given output configuration; `state` (a
// fresh one when null) is left as the last frame left it.
Layer3Decoding DecodeLayer3Stream(const std::vector<uint8_t>& stream, int32_t reductionCode = 0,
                                  int32_t convertCode = 0, DecoderState* state = nullptr);

// Decodes one frame from a copy that ends with the frame.
TDecodeResult DecodeFrameCopy(DecoderState& state, const uint8_t* frame, int32_t paddedLength, uint8_t* pcm);

std::vector<int16_t> Pcm16(const std::vector<uint8_t>& bytes);

} // namespace pt4::test
