#include "decoder/support/layer3_streams.h"

#include "decoder/support/layer12_streams.h"
#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/decoder/frame_header.h"

#include <cstring>

namespace pt4::test {

TDecodeResult DecodeFrameCopy(DecoderState& state, const uint8_t* frame, int32_t paddedLength, uint8_t* pcm)
{
    const std::vector<uint8_t> copy(frame, frame + paddedLength);
    return DecodeFrame(state, copy.data(), pcm);
}

Layer3Decoding DecodeLayer3Stream(const std::vector<uint8_t>& stream, int32_t reductionCode,
                                  int32_t convertCode, DecoderState* state)
{
    std::unique_ptr<DecoderState> own;
    if (state == nullptr) {
        own = std::make_unique<DecoderState>();
        state = own.get();
    }
    Layer3Decoding result;
    std::vector<uint8_t> pcm(8192);
    size_t position = 0;
    while (position + 4 <= stream.size()) {
        TMPFrameHeader header;
        const int32_t length = ParseFrameHeader(stream.data() + position, 0, header);
        const int32_t padded = PaddedFrameLength(header, length);
        if (length < 1 || position + static_cast<size_t>(padded) > stream.size())
            break;
        if (!result.Initialised) {
            if (DecoderInit(*state, header, length, OutputOptions(reductionCode, convertCode)) != 1)
                break;
            GetDecoderInfo(*state, result.Info);
            result.Initialised = true;
        }
        const int32_t frameBytes = result.Info.OutValues * result.Info.Bits / 8;
        const TDecodeResult decoded = DecodeFrameCopy(*state, stream.data() + position, padded, pcm.data());
        if (decoded.InBytes != padded || decoded.OutBytes != frameBytes)
            ++result.Failures;
        result.Pcm.insert(result.Pcm.end(), pcm.begin(), pcm.begin() + frameBytes);
        ++result.Frames;
        position += static_cast<size_t>(padded);
    }
    return result;
}

std::vector<int16_t> Pcm16(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return samples;
}

} // namespace pt4::test
