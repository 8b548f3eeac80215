// The output options a stream is decoded with, and the results the decoder's entries hand back;
// shared by the decoder and the synthesis below it.
#pragma once

#include <cstdint>

namespace pt4 {

enum class TRateReduction : uint8_t { Full = 0, Half = 1, Quarter = 2 };
enum class TChannelConversion : uint8_t { AsCoded = 0, Mix = 1, Left = 2, Right = 3 };
enum class TSampleWidth : uint8_t { Bits16 = 0, Bits8 = 1 };

// How the decoder shapes its output. The player always plays the stream as coded.
struct TOutputOptions {
    TRateReduction Reduction = TRateReduction::Full;
    TChannelConversion Conversion = TChannelConversion::AsCoded;
    TSampleWidth Width = TSampleWidth::Bits16;
    int32_t FrequencyLimit = 24000; // Hz; below 1000 counts as 1000
    // Leave out the encoder's delay and padding (and the decoder's own delay) when the stream
    // says how long they are, so that consecutive files join without a gap. Read by the frame
    // source, not by the decoder.
    bool Gapless = true;
};

// Which coded channels reach the output: fixed by the stream's mode and the conversion.
enum class TChannelRoute : uint8_t {
    Single = 0, // a one-channel stream
    Both = 1,   // two channels as coded
    Mix = 2,    // both channels summed into one
    Left = 3,   // the left channel alone
    Right = 4,  // the right channel alone
};

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
};

} // namespace pt4
