// The 30 Layer I/II output routines: one per sample width, rate reduction and channel choice.
#include "mp3plyr/synth/cosine_transform.h"
#include "mp3plyr/synth/output_routines.h"
#include "mp3plyr/synth/synthesis_slot.h"
#include "mp3plyr/synth/window_step.h"
#include "mp3plyr/synth/window_step_x86.h"

#include <array>
#include <utility>

namespace pt4 {

namespace {

// Choice is a TChannelRoute: 0 one-channel stream, 1 both channels, 2 mix, 3 left only, 4 right only.
template <bool EightBit, int Reduction, int Choice>
void Layer12Output(SynthesisContext& context, const float* subbandSamples, uint8_t* pcm, int slotCount)
{
    constexpr int N = 32 >> Reduction;
    constexpr bool twoChannels = Choice == 1;
    constexpr int stride = twoChannels ? 2 : 1;
    constexpr int sampleBytes = EightBit ? 1 : 2;
    constexpr bool gainsApply = Reduction == 0 && Choice != 2;

    SynthesisState& state = context.Synthesis;
    float* const ring0 = state.History.data();
    float* const ring1 = ring0 + 512;

    int32_t position = state.Position0;
    for (int t = 0; t < slotCount; ++t) {
        const float* slot = subbandSamples + 64 * t;
        uint8_t* out = pcm + t * N * stride * sampleBytes;
        const bool gains = gainsApply && SubbandGainsOn(context.Equalizer);

        alignas(32) float x[32];
        [[maybe_unused]] alignas(32) float y[32];
        if constexpr (Choice == 1 && N == 32)
            GatherBoth32(slot, x, y);
        else if constexpr (Choice == 0)
            GatherSlot<N, 1>(slot, x);
        else if constexpr (Choice == 1 || Choice == 3)
            GatherSlot<N, 2>(slot, x);
        else if constexpr (Choice == 4)
            GatherSlot<N, 2>(slot + 1, x);
        else
            GatherMix<N>(slot, x);
        if (gains)
            ApplySubbandGains(context.Equalizer, x);
        if constexpr (twoChannels) {
            if constexpr (N != 32)
                GatherSlot<N, 2>(slot + 1, y);
            if (gains)
                ApplySubbandGains(context.Equalizer, y);
            if constexpr (N == 32) {
                CosineTransformPair32(x, y, ring0 + position, ring1 + position);
            } else {
                CosineTransform<N>(x, ring0 + position);
                CosineTransform<N>(y, ring1 + position);
            }
        } else {
            CosineTransform<N>(x, ring0 + position);
        }

        int16_t samples[N];
        TWindowKernel kernel = WindowStepFloat<N>;
        if constexpr (N == 32)
            kernel = (*context.Kernels)[context.ActiveCapabilities.load(std::memory_order_relaxed) & 15u];
        if constexpr (twoChannels) {
            // One kernel for both channels of the slot.
            int16_t rightSamples[N];
#if PT4_X86_WINDOW_KERNELS
            if (N == 32 && kernel == WindowStepFloatAvxFma) {
                WindowStepFloatAvxFmaPair(ring0, position, samples, rightSamples); // ring1 = ring0 + 512
            } else
#endif
            {
                kernel(ring0, position, samples);
                kernel(ring1, position, rightSamples);
            }
            StoreBothChannels<EightBit, N>(samples, rightSamples, out);
        } else {
            kernel(ring0, position, samples);
            StoreSamples<EightBit, 1, N>(samples, out);
        }
        position = NextPosition<N>(position);
    }
    state.Position0 = position;
}

template <std::size_t... Rows>
constexpr std::array<TLayer12OutputRoutine, sizeof...(Rows)> MakeLayer12Table(std::index_sequence<Rows...>)
{
    return {&Layer12Output<(Rows >= 15), (Rows % 15) / 5, static_cast<int>(Rows % 5)>...};
}

constexpr auto kLayer12Routines = MakeLayer12Table(std::make_index_sequence<30>());

} // namespace

TLayer12OutputRoutine Layer12OutputRoutine(TSampleWidth width, TRateReduction reduction, TChannelRoute route)
{
    const auto shift = static_cast<int>(reduction);
    const auto choice = static_cast<int>(route);
    if (shift < 0 || shift > 2 || choice < 0 || choice > 4)
        return nullptr;
    return kLayer12Routines[(width == TSampleWidth::Bits8 ? 15 : 0) + 5 * shift + choice];
}

} // namespace pt4
