// Any bytes as a Layer I/II stream: the first byte picks the output configuration, the decoder
// is initialised from the first frame header, and every frame the headers lead to is decoded
// from a copy of exactly its length, into a PCM buffer of exactly
// the frame's output size, so that any access beyond either is caught.
#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/decoder/frame_header.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    const uint8_t selector = data[0];
    pt4::TOutputOptions options;
    options.Reduction = pt4::TRateReduction(selector % 3);
    options.Conversion = pt4::TChannelConversion(selector >> 2 & 3);
    options.Width = selector & 0x10 ? pt4::TSampleWidth::Bits8 : pt4::TSampleWidth::Bits16;
    options.FrequencyLimit = selector & 0x20 ? 1000 + 500 * (selector >> 6) : 24000;
    const uint8_t* stream = data + 1;
    const size_t length = size - 1;

    static auto state = std::make_unique<pt4::DecoderState>();
    bool initialised = false;
    size_t position = 0;
    while (position + 4 <= length) {
        pt4::TMPFrameHeader header;
        const int32_t frameLength = pt4::ParseFrameHeader(stream + position, 0, header);
        if (frameLength < 1 || (header.LayerBits != 2 && header.LayerBits != 3)) {
            ++position;
            continue;
        }
        const size_t padded = size_t(pt4::PaddedFrameLength(header, frameLength));
        if (!initialised) {
            if (pt4::DecoderInit(*state, header, frameLength, options) != 1)
                return 0;
            initialised = true;
        }
        // Exactly the frame: the decoder reads nothing behind it.
        std::vector<uint8_t> frame(padded, 0);
        for (size_t i = 0; i < padded && position + i < length; ++i)
            frame[i] = stream[position + i];
        std::vector<uint8_t> pcm(size_t(state->Config.OutputBytes));
        const pt4::TDecodeResult result = pt4::DecodeFrame(*state, frame.data(), pcm.data());
        if (result.InBytes != 0 &&
            (size_t(result.InBytes) != padded || result.OutBytes != state->Config.OutputBytes))
            __builtin_trap();
        position += padded;
    }
    return 0;
}
