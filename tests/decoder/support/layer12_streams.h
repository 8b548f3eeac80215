// Helpers for the Layer I/II tests: whole-stream decoding through the decoder's entries and
// comparison of PCM against a reference decoding.
#pragma once

#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/frame_header.h"
#include "mp3plyr/format/decoder_types.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pt4::test {

std::vector<uint8_t> ReadBinaryFile(const std::string& path);
std::vector<int16_t> ReadPcm16(const std::string& path);

// Output options from the numbers the test tables use: reduction 0 full, 1 half, 2 quarter; convert bits 0-1
// 0 as coded, 1 mix, 2 left, 3 right, bit 3 8-bit samples.
TOutputOptions OutputOptions(int32_t reduction, int32_t convert, int32_t frequencyLimit = 24000);

// The decoder's initialisation for a stream whose first frame has `header`: by default the
// player's configuration. Returns what the initialisation returns.
int32_t InitLayer12(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength,
                    int32_t reductionCode = 0, int32_t convertCode = 0, int32_t frequencyLimit = 24000);

// Decodes one frame at `frame`, copied to a buffer that ends with its padded length.
TDecodeResult DecodeCopiedFrame(DecoderState& state, const uint8_t* frame, int32_t paddedLength,
                                std::vector<uint8_t>& pcm);

struct DecodedStream {
    std::vector<int16_t> Pcm;
    int32_t Channels = 0;
    int32_t SampleRate = 0;
    int32_t Frames = 0;
    int32_t Failures = 0; // frames whose InBytes or OutBytes was not what their header gives
    bool Initialised = false;
};

// Walks the stream frame by frame with the header parse and decodes every frame.
DecodedStream DecodeStream(const std::vector<uint8_t>& stream, int32_t reductionCode = 0,
                           int32_t convertCode = 0);

struct PcmComparison {
    size_t Compared = 0;
    int32_t MaxDifference = 0;
    double Psnr = 0; // dB; 200 when identical
};

PcmComparison ComparePcm(const std::vector<int16_t>& decoded, const std::vector<int16_t>& reference);

std::unique_ptr<DecoderState> NewDecoderState();

} // namespace pt4::test
