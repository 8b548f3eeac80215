#include "decoder/support/layer12_streams.h"

#include "mp3plyr/decoder/decoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace pt4::test {

std::vector<uint8_t> ReadBinaryFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::vector<int16_t> ReadPcm16(const std::string& path)
{
    const std::vector<uint8_t> bytes = ReadBinaryFile(path);
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return samples;
}

std::unique_ptr<DecoderState> NewDecoderState()
{
    return std::make_unique<DecoderState>();
}

TOutputOptions OutputOptions(int32_t reduction, int32_t convert, int32_t frequencyLimit)
{
    TOutputOptions options;
    options.Reduction = TRateReduction(reduction); // past Quarter: the decoder clamps
    options.Conversion = TChannelConversion(convert & 3);
    options.Width = (convert & 8) != 0 ? TSampleWidth::Bits8 : TSampleWidth::Bits16;
    options.FrequencyLimit = frequencyLimit;
    return options;
}

int32_t InitLayer12(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength,
                    int32_t reductionCode, int32_t convertCode, int32_t frequencyLimit)
{
    return DecoderInit(state, header, frameLength, OutputOptions(reductionCode, convertCode, frequencyLimit));
}

TDecodeResult DecodeCopiedFrame(DecoderState& state, const uint8_t* frame, int32_t paddedLength,
                                std::vector<uint8_t>& pcm)
{
    const std::vector<uint8_t> copy(frame, frame + paddedLength);
    pcm.assign(5120, 0);
    return DecodeFrame(state, copy.data(), pcm.data());
}

DecodedStream DecodeStream(const std::vector<uint8_t>& stream, int32_t reductionCode, int32_t convertCode)
{
    DecodedStream result;
    auto state = NewDecoderState();
    std::vector<uint8_t> pcm;
    size_t position = 0;
    while (position + 4 <= stream.size()) {
        TMPFrameHeader header;
        const int32_t length = ParseFrameHeader(stream.data() + position, 0, header);
        const int32_t padded = PaddedFrameLength(header, length);
        if (length < 1 || position + size_t(padded) > stream.size())
            break;
        if (!result.Initialised) {
            if (InitLayer12(*state, header, length, reductionCode, convertCode) != 1)
                break;
            result.Initialised = true;
            result.Channels = state->Info.Channels;
            result.SampleRate = state->Info.SampleRate;
        }
        const TDecodeResult decoded = DecodeCopiedFrame(*state, stream.data() + position, padded, pcm);
        const int32_t frameBytes = state->Info.OutValues * state->Info.Bits / 8;
        if (decoded.InBytes != padded || decoded.OutBytes != frameBytes)
            ++result.Failures;
        for (int32_t i = 0; i + 1 < frameBytes; i += 2)
            result.Pcm.push_back(int16_t(pcm[i] | pcm[i + 1] << 8));
        ++result.Frames;
        position += size_t(padded);
    }
    return result;
}

PcmComparison ComparePcm(const std::vector<int16_t>& decoded, const std::vector<int16_t>& reference)
{
    PcmComparison result;
    result.Compared = std::min(decoded.size(), reference.size());
    double squares = 0;
    for (size_t i = 0; i < result.Compared; ++i) {
        const int32_t difference = int32_t(decoded[i]) - int32_t(reference[i]);
        result.MaxDifference = std::max(result.MaxDifference, std::abs(difference));
        squares += double(difference) * difference;
    }
    const double mean = result.Compared ? squares / double(result.Compared) : 0;
    result.Psnr = mean > 0 ? 10 * std::log10(32767.0 * 32767.0 / mean) : 200;
    return result;
}

} // namespace pt4::test
