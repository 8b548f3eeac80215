// One Layer III granule from main data to PCM: scale factors and Huffman values per channel,
// then requantisation, stereo, antialias, the line equalizer and the transform routine.
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer3_stages.h"

#include <algorithm>
#include <atomic>

namespace pt4 {
namespace {

void DecodeChannelData(Layer3State& l3, size_t g, size_t ch, bool mpeg1)
{
    Layer3SideInfo& side = l3.Side;
    TGranuleInfo& gi = side.Granule[g][ch];
    BitReader reader;
    const int32_t bitOffset = PositionGranuleChannel(l3.Reservoir, reader, gi.part2_3_length);
    if (mpeg1)
        ReadScaleFactorsMpeg1(reader, l3.ScaleFactors[g][ch], l3.ScaleFactors[0][ch], gi, side.scfsi[ch],
                              static_cast<int>(g));
    else
        ReadScaleFactorsMpeg2(reader, l3.ScaleFactors[g][ch], gi, side.IntensityStereo && ch == 1,
                              l3.Intensity);
    l3.OverlapExtent[ch][g] = DecodeSpectrum(reader, l3.Quantized[ch].data(), gi, l3.Layout, bitOffset);
}

void JointStereo(Layer3State& l3, size_t g)
{
    const Layer3SideInfo& side = l3.Side;
    float* left = l3.Lines[0][g].data();
    float* right = l3.Lines[1][g].data();
    int32_t& leftCount = l3.OverlapExtent[0][g];
    int32_t& rightCount = l3.OverlapExtent[1][g];
    if (side.MsStereo) {
        const int32_t count = side.IntensityStereo ? IntensityStart(l3.BandInfo[1], l3.Layout)
                                                   : std::max(leftCount, rightCount);
        MidSide(left, right, count);
    }
    if (side.IntensityStereo) {
        if (side.Id == 0)
            IntensityStereoMpeg2(left, right, l3.ScaleFactors[g][1], l3.BandInfo[0], l3.BandInfo[1],
                                 leftCount, side.MsStereo, l3.Intensity, l3.Layout);
        else
            IntensityStereoMpeg1(left, right, l3.ScaleFactors[g][1], l3.BandInfo[0], l3.BandInfo[1],
                                 leftCount, side.MsStereo, l3.Layout);
    }
    if (side.ModeExt != 0)
        leftCount = rightCount = std::max(leftCount, rightCount);
}

void AntialiasChannel(Layer3State& l3, size_t g, size_t ch)
{
    if (l3.BandInfo[ch].LongBandCount == 0)
        return;
    const TGranuleInfo& gi = l3.Side.Granule[g][ch];
    int32_t& count = l3.OverlapExtent[ch][g];
    const int32_t boundaries =
        (gi.block_type == 2 && gi.mixed_block_flag) ? 1 : std::min((count + 7) / 18, 31);
    Antialias(l3.Lines[ch][g].data(), boundaries);
    count = std::max(count, 18 * boundaries + 8);
}

void EqualizeLines(Layer3State& l3, const EqualizerGains& equalizer, size_t g, size_t ch)
{
    float* lines = l3.Lines[ch][g].data();
    const int32_t count = l3.OverlapExtent[ch][g];
    for (int32_t i = 0; i < count; ++i)
        lines[i] *= equalizer.FrequencyEqualizerGains[static_cast<size_t>(i)].load(std::memory_order_relaxed);
}

// A one-channel frame in a two-channel stream: the second channel hears the first, and its
// buffers keep their own overlap history.
void DuplicateFirstChannel(Layer3State& l3, size_t g)
{
    l3.Lines[1][g] = l3.Lines[0][g];
    l3.OverlapExtent[1][g] = l3.OverlapExtent[0][g];
    l3.BandInfo[1] = l3.BandInfo[0];
    l3.Side.Granule[g][1] = l3.Side.Granule[g][0];
}

} // namespace

void DecodeGranule(DecoderState& state, int granule, uint8_t* pcm)
{
    Layer3State& l3 = state.Layer3;
    const bool mpeg1 = l3.Mpeg1;
    const auto g = static_cast<size_t>(granule);
    const auto channels = static_cast<size_t>(l3.Side.Channels);

    for (size_t ch = 0; ch < channels; ++ch)
        DecodeChannelData(l3, g, ch, mpeg1);
    const float outputGain = state.Output.Equalizer.OutputGain.load(std::memory_order_relaxed);
    for (size_t ch = 0; ch < channels; ++ch)
        Requantize(l3.Quantized[ch].data(), l3.Lines[ch][g].data(), l3.OverlapExtent[ch][g],
                   l3.ScaleFactors[g][ch], l3.Side.Granule[g][ch], l3.BandInfo[ch], l3.Layout,
                   l3.ReorderScratch.data(), outputGain);
    if (channels == 2)
        JointStereo(l3, g);
    for (size_t ch = 0; ch < channels; ++ch)
        AntialiasChannel(l3, g, ch);
    if (state.Output.Equalizer.FrequencyEqualizerOn.load(std::memory_order_relaxed) != 0)
        for (size_t ch = 0; ch < channels; ++ch)
            EqualizeLines(l3, state.Output.Equalizer, g, ch);
    if (channels == 1 && state.Config.Route != TChannelRoute::Single)
        DuplicateFirstChannel(l3, g);
    l3.TransformRoutine(state, pcm, granule);
}

} // namespace pt4
