// Results the decoder's entries hand back to their caller.
#pragma once

#include <cstdint>

namespace pt4 {

struct TDecodeResult {
    int32_t InBytes = 0;  // input consumed: the padded frame length; 0 = frame not decoded
    int32_t OutBytes = 0; // PCM bytes written
};

struct TDecoderInfo {
    int32_t Channels = 0;
    int32_t OutValues = 0; // PCM values per frame, all channels together
    int32_t SampleRate = 0;
    int32_t Bits = 0;
    int32_t FrameBytes = 0;
    int32_t DecoderType = 0;
};

} // namespace pt4
