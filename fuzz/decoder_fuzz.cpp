// Arbitrary bytes through the decoder's entries, the way the player feeds them: a stream is
// initialised for a header, then every position that parses as a frame of that stream is
// decoded from a buffer of exactly its padded length + 4 bytes into a buffer of exactly one
// frame of PCM, so that any read or write beyond them is caught.
//
// Input: byte 0 picks the stream header (0: the first frame of the data, else one of the
// variants below), byte 1 the output configuration (bits 0-1 sample-rate reduction, bits 2-3
// channel conversion, bit 4 8-bit output), then the stream.
#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/decoder/frame_header.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr std::array<std::array<uint8_t, 4>, 12> kVariants = {{
    {0xFF, 0xFB, 0x90, 0x04}, // Layer III MPEG-1 44.1 kHz stereo
    {0xFF, 0xFB, 0x90, 0xC4}, // Layer III MPEG-1 44.1 kHz mono
    {0xFF, 0xFA, 0x94, 0x74}, // Layer III MPEG-1 48 kHz joint stereo, CRC
    {0xFF, 0xFB, 0x98, 0x84}, // Layer III MPEG-1 32 kHz dual channel
    {0xFF, 0xF3, 0x80, 0x44}, // Layer III MPEG-2 22.05 kHz joint stereo
    {0xFF, 0xF3, 0x84, 0xC4}, // Layer III MPEG-2 24 kHz mono
    {0xFF, 0xE3, 0x80, 0x74}, // Layer III MPEG-2.5 11.025 kHz joint stereo
    {0xFF, 0xE3, 0x88, 0xC4}, // Layer III MPEG-2.5 8 kHz mono
    {0xFF, 0xFD, 0xA0, 0x04}, // Layer II MPEG-1 44.1 kHz stereo
    {0xFF, 0xF5, 0x80, 0xC4}, // Layer II MPEG-2 22.05 kHz mono
    {0xFF, 0xFF, 0x90, 0x44}, // Layer I MPEG-1 44.1 kHz joint stereo
    {0xFF, 0xFF, 0x94, 0xC4}, // Layer I MPEG-1 48 kHz mono
}};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6)
        return 0;
    const uint8_t variant = data[0] % (kVariants.size() + 1);
    const uint8_t config = data[1];
    const uint8_t* stream = data + 2;
    const size_t streamSize = size - 2;

    std::array<uint8_t, 4> reference{};
    if (variant == 0)
        std::memcpy(reference.data(), stream, 4);
    else
        reference = kVariants[variant - 1];
    pt4::TMPFrameHeader header;
    const int32_t length = pt4::ParseFrameHeader(reference.data(), 0, header);
    if (length < 1 || header.LayerBits == 0)
        return 0;

    auto state = std::make_unique<pt4::DecoderState>();
    pt4::TOutputOptions options;
    options.Reduction = pt4::TRateReduction(config & 3); // 3 is out of range: acts as a quarter
    options.Conversion = pt4::TChannelConversion((config >> 2) & 3);
    options.Width = (config & 16) ? pt4::TSampleWidth::Bits8 : pt4::TSampleWidth::Bits16;
    if (pt4::DecoderInit(*state, header, length, options) != 1)
        return 0;
    pt4::TDecoderInfo info;
    pt4::GetDecoderInfo(*state, info);
    std::vector<uint8_t> pcm(static_cast<size_t>(info.OutValues * info.Bits / 8));

    size_t position = 0;
    while (position + 4 <= streamSize) {
        pt4::TMPFrameHeader frameHeader;
        const int32_t frameLength = pt4::ParseFrameHeader(stream + position, 0, frameHeader);
        if (frameLength < 1 || frameHeader.LayerBits != header.LayerBits ||
            !pt4::SameStreamHeader(reference.data(), stream + position)) {
            ++position;
            continue;
        }
        const auto padded = static_cast<size_t>(pt4::PaddedFrameLength(frameHeader, frameLength));
        if (position + padded > streamSize)
            break;
        // Exactly the frame: the decoder reads nothing behind it.
        const std::vector<uint8_t> frame(stream + position, stream + position + padded);
        const pt4::TDecodeResult result = pt4::DecodeFrame(*state, frame.data(), pcm.data());
        if (result.OutBytes > static_cast<int32_t>(pcm.size()) ||
            result.InBytes > static_cast<int32_t>(padded))
            __builtin_trap();
        position += padded;
    }
    return 0;
}
