// Layer III set-up for a stream: band layout and line limits, PCM format, and an empty
// reservoir and silent history.
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer3.h"
#include "mp3plyr/decoder/layer3_stages.h"
#include "mp3plyr/decoder/layer3_tables.h"
#include "mp3plyr/synth/imdct.h"

#include <algorithm>

namespace pt4 {

bool SetupLayer3(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength)
{
    // A reserved sampling rate has no band layout.
    if (header.LayerBits != 1 || header.SampleRateIndex < 0 || header.SampleRateIndex > 2)
        return false;
    DecoderConfig& config = state.Config;
    Layer3State& l3 = state.Layer3;
    const bool mpeg1 = header.Id == 1;
    const bool mpeg25 = !mpeg1 && (header.Sync & 1) == 0;

    l3.Reservoir.WritePosition = 0;
    l3.Reservoir.DecodeStart = 0;
    l3.Reservoir.MainPosition = 0;

    Layer3Layout& layout = l3.Layout;
    FillBandLayout(layout, mpeg1 ? 0 : (mpeg25 ? 2 : 1), header.SampleRateIndex);
    layout.MixedLongBands = mpeg1 ? 8 : 6;
    // Every version decodes its top band (coded values without a scale factor of their own)
    // up to the last line: stopping at the last scale-factor boundary of MPEG-2 and MPEG-2.5
    // would drop everything above it.
    const int32_t longLimit = layout.LongBandEnd[21];
    const int32_t shortLimit = layout.ShortBandEnd3[12];
    // Eight lines above the last band leave room for the antialias butterflies.
    layout.BandLimit = std::min(longLimit + 8, 18 * config.SubbandLimit);
    layout.LongLimit = std::min(longLimit, layout.BandLimit);
    layout.ShortLimit = std::min(shortLimit, layout.BandLimit);
    layout.GainAdjustment = config.Route == TChannelRoute::Mix ? -4 : 0;

    const int32_t outputChannels = config.OutputChannels;
    const int32_t outValues = outputChannels * (SamplesPerFrame(header) >> config.RateShift);
    config.OutputBytes = outValues * (config.EightBit ? 1 : 2);
    config.HalfOutputBytes = config.OutputBytes / 2;

    state.Info = {outputChannels, outValues, SampleRate(header) >> config.RateShift, config.EightBit ? 8 : 16,
                  frameLength};

    GetLayer3Tables();
    BuildImdctTables();
    ResetSynthesis(state.Output.Synthesis);
    l3.Transform.fill(0.0f);
    for (auto& channel : l3.Lines)
        for (auto& buffer : channel)
            buffer.fill(0.0f);
    l3.OverlapExtent = {};
    l3.Side.FrameLength = frameLength;
    l3.Mpeg1 = mpeg1;
    return true;
}

} // namespace pt4
