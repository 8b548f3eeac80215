// The decoder's entries, the output configuration and the one place where a stream's frame,
// transform, output and kernel routines are chosen.
#include "mp3plyr/decoder/decoder.h"

#include "mp3plyr/decoder/layer12.h"
#include "mp3plyr/decoder/layer3.h"
#include "mp3plyr/decoder/layer3_stages.h"
#include "mp3plyr/synth/output_routines.h"

#include <algorithm>

namespace pt4 {
namespace {

enum class TFrameLayer : uint8_t { Layer1, Layer2, Layer3 };

TRateReduction ClampedReduction(TRateReduction reduction)
{
    return static_cast<uint8_t>(reduction) > static_cast<uint8_t>(TRateReduction::Quarter)
               ? TRateReduction::Quarter
               : reduction;
}

TChannelRoute RouteOf(const TMPFrameHeader& header, TChannelConversion conversion)
{
    if (header.Mode == 3)
        return TChannelRoute::Single;
    switch (conversion) {
    case TChannelConversion::Mix: return TChannelRoute::Mix;
    case TChannelConversion::Left: return TChannelRoute::Left;
    case TChannelConversion::Right: return TChannelRoute::Right;
    case TChannelConversion::AsCoded: break;
    }
    return TChannelRoute::Both;
}

void ConfigureOutput(DecoderConfig& config, const TMPFrameHeader& header, const TOutputOptions& options)
{
    config.Reduction = ClampedReduction(options.Reduction);
    config.RateShift = static_cast<int32_t>(config.Reduction);
    config.Width = options.Width == TSampleWidth::Bits8 ? TSampleWidth::Bits8 : TSampleWidth::Bits16;
    config.EightBit = config.Width == TSampleWidth::Bits8;
    config.FrequencyLimit = std::max(options.FrequencyLimit, 1000);
    config.Route = RouteOf(header, options.Conversion);
    config.OutputChannels = config.Route == TChannelRoute::Both ? 2 : 1;
    config.SilenceValue = config.EightBit ? 128 : 0;

    // A reserved rate fails the layer's set-up later; 1 keeps the division defined until then.
    const int64_t rate = std::max(SampleRate(header), 1);
    const int64_t limit = (int64_t{config.FrequencyLimit} * 64 + rate / 2) / rate;
    // All 32 subbands at the full rate (the top one carries coded lines too); 15 at half rate,
    // whose 16-band synthesis takes subband 15 as zero; 8 at a quarter.
    int32_t cap = 32 >> config.RateShift;
    if (cap == 16)
        --cap;
    config.SubbandLimit = static_cast<int32_t>(std::min<int64_t>(limit, cap));
}

// Until a set-up succeeds, every frame is refused.
void ForgetRoutines(DecoderState& state)
{
    state.FrameRoutine = nullptr;
    state.Layer12Output = nullptr;
    state.Layer3Output = nullptr;
    state.Layer3.TransformRoutine = nullptr;
}

void ChooseRoutines(DecoderState& state, TFrameLayer layer)
{
    const DecoderConfig& config = state.Config;
    state.Output.Kernels = config.EightBit ? &FloatKernels() : &CapabilityKernels();
    switch (layer) {
    case TFrameLayer::Layer1:
    case TFrameLayer::Layer2:
        state.FrameRoutine = layer == TFrameLayer::Layer1 ? DecodeLayer1Frame : DecodeLayer2Frame;
        state.Layer12Output = Layer12OutputRoutine(config.Width, config.Reduction, config.Route);
        break;
    case TFrameLayer::Layer3:
        state.FrameRoutine = DecodeLayer3Frame;
        state.Layer3Output = Layer3OutputRoutine(config.Width, config.Reduction, config.OutputChannels);
        state.Layer3.TransformRoutine = Layer3TransformRoutine(config.Route);
        break;
    }
}

} // namespace

int32_t DecoderInit(DecoderState& state, const TMPFrameHeader& header, int32_t frameLength,
                    const TOutputOptions& options)
{
    ForgetRoutines(state);
    ConfigureOutput(state.Config, header, options);
    TFrameLayer layer;
    bool ok;
    switch (header.LayerBits) {
    case 3:
        layer = TFrameLayer::Layer1;
        ok = SetupLayer1(state, header, frameLength);
        break;
    case 2:
        layer = TFrameLayer::Layer2;
        ok = SetupLayer2(state, header, frameLength);
        break;
    case 1:
        layer = TFrameLayer::Layer3;
        ok = SetupLayer3(state, header, frameLength);
        break;
    default: return 0;
    }
    if (!ok)
        return 0;
    ChooseRoutines(state, layer);
    return 1;
}

TDecodeResult DecodeFrame(DecoderState& state, const uint8_t* frame, uint8_t* pcm)
{
    if (state.FrameRoutine == nullptr) // never initialised, or the last set-up failed
        return {};
    return state.FrameRoutine(state, frame, pcm);
}

void GetDecoderInfo(const DecoderState& state, TDecoderInfo& info)
{
    info = state.Info;
}

} // namespace pt4
