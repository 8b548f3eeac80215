// The decoder's entries and the steps of the initialisation common to all layers.
#include "mp3plyr/decoder/decoder.h"

#include "mp3plyr/decoder/layer12.h"
#include "mp3plyr/decoder/layer3.h"

#include <algorithm>

namespace pt4
{
namespace
{

// Indexed by the raw layer code: 0 (reserved) and 2 Layer II, 1 Layer III, 3 Layer I.
constexpr TFrameRoutine kFrameRoutines[4] = {DecodeLayer2Frame, DecodeLayer3FrameMpeg1, DecodeLayer2Frame,
                                             DecodeLayer1Frame};

int32_t StreamSampleRate(const TMPFrameHeader& header)
{
    static constexpr int32_t kRates[2][4] = {{22050, 24000, 16000, 1}, {44100, 48000, 32000, 1}};
    int32_t rate = kRates[header.Id & 1][header.SampleRateIndex & 3];
    if (header.LayerBits == 1 && (header.Sync & 1) == 0)
        rate /= 2;
    return rate;
}

} // namespace

DecoderState& SharedDecoder()
{
    static DecoderState state;
    return state;
}

int32_t DecoderInit(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength,
                    int32_t reductionCode, int32_t /*transformCode*/, int32_t convertCode,
                    int32_t frequencyLimit)
{
    DecoderConfig& config = state.Config;
    config.ReductionCode = std::clamp(reductionCode, 0, 2);
    config.ConvertCode = convertCode;
    config.EightBit = (convertCode & 8) != 0;
    config.FrequencyLimit = std::max(frequencyLimit, 1000);
    config.ChannelChoice = header.Mode == 3 ? 0 : (convertCode & 3) + 1;
    config.OutputChannels = config.ChannelChoice == 1 ? 2 : 1;
    config.SilenceValue = config.EightBit ? 128 : 0;

    const int64_t rate = StreamSampleRate(header);
    const int64_t limit = (int64_t{config.FrequencyLimit} * 64 + rate / 2) / rate;
    // All 32 subbands at the full rate (the top one carries coded lines too); 15 at half rate,
    // whose 16-band synthesis takes subband 15 as zero; 8 at a quarter.
    int32_t cap = 32 >> config.ReductionCode;
    if (cap == 16)
        --cap;
    config.SubbandLimit = static_cast<int32_t>(std::min<int64_t>(limit, cap));

    state.FrameRoutine = kFrameRoutines[header.LayerBits & 3];
    bool ok;
    switch (header.LayerBits & 3) {
    case 3:
        ok = SetupLayer1(state, header, frameLength);
        break;
    case 1:
        ok = SetupLayer3(state, header, frameLength);
        break;
    default:
        ok = SetupLayer2(state, header, frameLength);
        break;
    }
    if (!ok)
        state.FrameRoutine = nullptr; // frames are refused until an initialisation succeeds
    return ok ? 1 : 0;
}

TDecodeResult DecodeFrame(DecoderState& state, const uint8_t* frame, uint8_t* pcm)
{
    if (state.FrameRoutine == nullptr) // never initialised
        return {};
    return state.FrameRoutine(state, frame, pcm);
}

void GetDecoderInfo(const DecoderState& state, TDecoderInfo& info)
{
    info = state.Info;
}

int32_t DecoderInit(const TMPFrameHeader& header, int32_t frameLength, int32_t reductionCode,
                    int32_t transformCode, int32_t convertCode, int32_t frequencyLimit)
{
    return DecoderInit(SharedDecoder(), header, frameLength, reductionCode, transformCode, convertCode,
                       frequencyLimit);
}

TDecodeResult DecodeFrame(const uint8_t* frame, uint8_t* pcm)
{
    return DecodeFrame(SharedDecoder(), frame, pcm);
}

void GetDecoderInfo(TDecoderInfo& info)
{
    GetDecoderInfo(SharedDecoder(), info);
}

} // namespace pt4
