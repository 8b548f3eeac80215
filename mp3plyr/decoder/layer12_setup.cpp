// Set-up of a Layer I or Layer II stream: frequency limit, buffer layout and the PCM format the
// frames will produce.
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer12.h"
#include "mp3plyr/decoder/layer12_tables.h"

#include <algorithm>

namespace pt4 {
namespace {

// Only MPEG-1 and MPEG-2 frames carry Layers I and II; every field is checked so that no table
// is indexed out of range.
bool DecodableHeader(const TMPFrameHeader& header)
{
    return header.Sync == 1 && (header.Id == 0 || header.Id == 1) && header.SampleRateIndex >= 0 &&
           header.SampleRateIndex <= 2 && header.BitrateIndex >= 0 && header.BitrateIndex <= 14 &&
           header.Mode >= 0 && header.Mode <= 3 && header.ModeExt >= 0 && header.ModeExt <= 3;
}

// Subbands of one channel below the frequency limit, and no more than the synthesis uses: all
// 32 at the full rate, 0-14 at half rate (its 16-band synthesis takes subband 15 as zero) and
// 0-7 at a quarter.
int32_t SubbandsBelowLimit(const DecoderConfig& config, int32_t sampleRate)
{
    static constexpr int32_t kSynthesisedSubbands[3] = {32, 15, 8};
    const int64_t limit = (int64_t(config.FrequencyLimit) * 64 + sampleRate / 2) / sampleRate;
    return int32_t(std::clamp<int64_t>(limit, 0, kSynthesisedSubbands[config.RateShift]));
}

// Steps common to both layers once the layer's own checks passed. `tableSubbands` is the number
// of subbands the layer codes per channel.
bool SetupStream(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength,
                 int32_t tableSubbands)
{
    DecoderConfig& config = state.Config;
    const int32_t sampleRate = SampleRate(header);
    Layer12State& s = state.Layer12;
    // The output routine reads one-channel slots for a one-channel stream, channel pairs otherwise.
    s.StreamChannels = config.Route == TChannelRoute::Single ? 1 : 2;
    s.SubbandsPerChannel = SubbandsBelowLimit(config, sampleRate);
    s.FrameLength = frameLength;
    s.FrameChannels = Channels(header);
    s.StereoBound = GetLayer12Tables().StereoBound[header.Mode * 4 + header.ModeExt];
    s.EntryLimit = std::min(s.SubbandsPerChannel, tableSubbands) * s.FrameChannels;
    config.SubbandLimit = std::min(s.SubbandsPerChannel, tableSubbands) * s.StreamChannels;

    const int32_t outValues = config.OutputChannels * (SamplesPerFrame(header) >> config.RateShift);
    config.OutputBytes = outValues * (config.EightBit ? 1 : 2);
    config.HalfOutputBytes = config.OutputBytes / 2;
    config.SilenceValue = config.EightBit ? 128 : 0;
    state.Info = TDecoderInfo{config.OutputChannels, outValues, sampleRate >> config.RateShift,
                              config.EightBit ? 8 : 16, frameLength};

    s.SubbandSamples.fill(0.0f);
    s.FilledEntries = 0;
    ResetSynthesis(state.Output.Synthesis);
    return true;
}

} // namespace

bool SetupLayer1(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength)
{
    if (header.LayerBits != 3 || !DecodableHeader(header))
        return false;
    Layer12State& s = state.Layer12;
    s.AllocationTable = nullptr;
    s.CodedEntries = header.Mode == 3 ? 32 : 64;
    return SetupStream(state, header, frameLength, 32);
}

bool SetupLayer2(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength)
{
    if (header.LayerBits != 2 || !DecodableHeader(header))
        return false;
    const int32_t index = Layer2TableIndex(header);
    if (index < 0)
        return false;
    const Layer2AllocationTable& table = Layer2AllocationTableAt(index);
    const int32_t channels = header.Mode == 3 ? 1 : 2;
    Layer12State& s = state.Layer12;
    s.AllocationTable = &table;
    for (int32_t g = 0; g < 4; ++g)
        s.GroupEntries[g] = table.GroupSizes[g] * channels;
    s.CodedEntries = table.Subbands * channels;
    return SetupStream(state, header, frameLength, table.Subbands);
}

} // namespace pt4
