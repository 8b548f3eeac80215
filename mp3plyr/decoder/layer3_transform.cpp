// The per-granule transform routines, one per channel route: which channels go through the
// hybrid filter bank and into which output channel.
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer3_stages.h"
#include "mp3plyr/synth/hybrid_synthesis.h"

#include <algorithm>

namespace pt4 {
namespace {

struct ChannelLimits {
    int32_t BlockType;
    int32_t LongLimit;
    int32_t ShortLimit;
    int32_t NormalWindowLines;
};

// The mixed-block flag gives the lowest subbands long blocks with the normal window, whatever
// the block type; with block type 2 the rest is short.
ChannelLimits LimitsOf(const Layer3State& l3, int channel, int parity, bool lowerToBandLimit)
{
    const TGranuleInfo& gi = l3.Side.Granule[static_cast<size_t>(parity)][static_cast<size_t>(channel)];
    const int32_t extent = l3.OverlapExtent[static_cast<size_t>(channel)][static_cast<size_t>(parity)];
    const int32_t mixedLines =
        gi.mixed_block_flag ? l3.Layout.LongBandEnd[static_cast<size_t>(l3.Layout.MixedLongBands - 1)] : 0;
    int32_t longLimit = gi.block_type == 2 ? mixedLines : extent;
    int32_t shortLimit = extent;
    if (lowerToBandLimit) {
        longLimit = std::min(longLimit, l3.Layout.BandLimit);
        shortLimit = std::min(shortLimit, l3.Layout.BandLimit);
    }
    return {gi.block_type, longLimit, shortLimit, mixedLines};
}

bool IsMixed(const TGranuleInfo& gi)
{
    return gi.mixed_block_flag != 0;
}

void TransformChannel(DecoderState& state, int channel, int parity, uint8_t* pcm, int outputChannel)
{
    Layer3State& l3 = state.Layer3;
    const ChannelLimits limits = LimitsOf(l3, channel, parity, true);
    auto& buffers = l3.Lines[static_cast<size_t>(channel)];
    auto& extents = l3.OverlapExtent[static_cast<size_t>(channel)];
    const int32_t extent = HybridSynthesis(
        buffers[static_cast<size_t>(parity)].data(), buffers[static_cast<size_t>(parity ^ 1)].data(),
        l3.Transform.data(), limits.BlockType, limits.LongLimit, limits.ShortLimit,
        extents[static_cast<size_t>(parity ^ 1)], limits.NormalWindowLines);
    extents[static_cast<size_t>(parity)] = extent;
    InvertOddSubbands(l3.Transform.data(), extent);
    state.Layer3Output(state.Output, l3.Transform.data(), pcm, outputChannel);
}

void TransformLeft(DecoderState& state, uint8_t* pcm, int parity)
{
    TransformChannel(state, 0, parity, pcm, 0);
}

void TransformRight(DecoderState& state, uint8_t* pcm, int parity)
{
    TransformChannel(state, 1, parity, pcm, 0);
}

void TransformBoth(DecoderState& state, uint8_t* pcm, int parity)
{
    TransformChannel(state, 0, parity, pcm, 0);
    TransformChannel(state, 1, parity, pcm, 1);
}

// Both channels were halved by the requantiser; their sum goes to output channel 0.
void TransformMix(DecoderState& state, uint8_t* pcm, int parity)
{
    Layer3State& l3 = state.Layer3;
    const auto p = static_cast<size_t>(parity);
    const TGranuleInfo& gi0 = l3.Side.Granule[p][0];
    const TGranuleInfo& gi1 = l3.Side.Granule[p][1];
    float* lines0 = l3.Lines[0][p].data();
    float* lines1 = l3.Lines[1][p].data();
    const float* previous0 = l3.Lines[0][p ^ 1].data();
    int32_t extent;
    if (gi0.block_type == gi1.block_type && !IsMixed(gi0) && !IsMixed(gi1)) {
        // Same windows: the transform is linear, so transform the sum once.
        const int32_t n =
            std::min(std::max(l3.OverlapExtent[0][p], l3.OverlapExtent[1][p]), l3.Layout.BandLimit);
        AddLines(lines0, lines1, n);
        extent = HybridSynthesis(lines0, previous0, l3.Transform.data(), gi0.block_type,
                                 gi0.block_type == 2 ? 0 : n, n, l3.OverlapExtent[0][p ^ 1]);
    } else {
        const ChannelLimits first = LimitsOf(l3, 0, parity, false);
        const ChannelLimits second = LimitsOf(l3, 1, parity, false);
        extent = HybridSynthesis(lines0, previous0, l3.Transform.data(), first.BlockType, first.LongLimit,
                                 first.ShortLimit, l3.OverlapExtent[0][p ^ 1], first.NormalWindowLines);
        const int32_t secondExtent =
            HybridAccumulate(lines1, lines0, l3.Transform.data(), second.BlockType, second.LongLimit,
                             second.ShortLimit, second.NormalWindowLines);
        l3.OverlapExtent[1][p] = secondExtent;
        // The mix reaches as far as either channel: the inversion and the next granule's
        // overlap must cover the second channel's subbands too.
        extent = std::max(extent, secondExtent);
    }
    l3.OverlapExtent[0][p] = extent;
    InvertOddSubbands(l3.Transform.data(), extent);
    state.Layer3Output(state.Output, l3.Transform.data(), pcm, 0);
}

} // namespace

TTransformRoutine Layer3TransformRoutine(TChannelRoute route)
{
    switch (route) {
    case TChannelRoute::Both: return TransformBoth;
    case TChannelRoute::Mix: return TransformMix;
    case TChannelRoute::Right: return TransformRight;
    case TChannelRoute::Single:
    case TChannelRoute::Left: break;
    }
    return TransformLeft;
}

} // namespace pt4
