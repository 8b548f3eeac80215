// The 12 Layer III output routines: one per sample width, rate reduction and output channels.
#include "mp3plyr/synth/cosine_transform.h"
#include "mp3plyr/synth/output_routines.h"
#include "mp3plyr/synth/synthesis_slot.h"
#include "mp3plyr/synth/window_step.h"

#include <array>
#include <cstring>
#include <utility>

namespace pt4 {

namespace {

constexpr int kSlotsPerGranule = 18;

// Two-channel rows keep a ring and a position per channel, since each channel of a granule
// arrives in its own call.
template <bool EightBit, int Reduction, int Channels>
void Layer3Output(SynthesisContext& context, const float* transformOutput, uint8_t* pcm, int channel)
{
    constexpr int N = 32 >> Reduction;
    constexpr int sampleBytes = EightBit ? 1 : 2;

    SynthesisState& state = context.Synthesis;
    const bool secondChannel = Channels == 2 && channel != 0;
    float* const ring = state.History.data() + (secondChannel ? 512 : 0);
    int32_t& positionHeld = secondChannel ? state.Position1 : state.Position0;

    int32_t position = positionHeld;
    // The window step and the store of slot t, whose transform output is in the ring.
    const auto finishSlot = [&](int t) {
        int16_t samples[N];
        TWindowKernel kernel = WindowStepFloat<N>;
        if constexpr (N == 32)
            kernel = (*context.Kernels)[context.ActiveCapabilities.load(std::memory_order_relaxed) & 15u];
        kernel(ring, position, samples);
        uint8_t* const block = pcm + t * N * Channels * sampleBytes;
        if constexpr (Channels == 2)
            StoreChannelOfTwo<EightBit, N>(samples, block, secondChannel ? 1 : 0);
        else
            StoreSamples<EightBit, 1, N>(samples, block);
        position = NextPosition<N>(position);
    };

    if constexpr (N == 32) {
        // Two slots' transforms at once. The second one's place in the ring still holds values
        // the first one's window step reads, so it waits in `next` until that step is done.
        for (int t = 0; t < kSlotsPerGranule; t += 2) {
            const float* first = transformOutput + 32 * t;
            const float* second = first + 32;
            alignas(32) float gained[2][32];
            if (SubbandGainsOn(context.Equalizer)) {
                GatherSlot<32, 1>(first, gained[0]);
                GatherSlot<32, 1>(second, gained[1]);
                ApplySubbandGains(context.Equalizer, gained[0]);
                ApplySubbandGains(context.Equalizer, gained[1]);
                first = gained[0];
                second = gained[1];
            }
            alignas(32) float next[32];
            CosineTransformPair32(first, second, ring + position, next);
            finishSlot(t);
            std::memcpy(ring + position, next, sizeof(next));
            finishSlot(t + 1);
        }
    } else {
        for (int t = 0; t < kSlotsPerGranule; ++t) {
            const float* slot = transformOutput + 32 * t;
            if constexpr (N == 16) {
                alignas(16) float x[16];
                GatherSlot<16, 1>(slot, x);
                CosineTransform<16>(x, ring + position);
            } else {
                CosineTransform<8>(slot, ring + position);
            }
            finishSlot(t);
        }
    }
    positionHeld = position;
}

template <std::size_t... Rows>
constexpr std::array<TLayer3OutputRoutine, sizeof...(Rows)> MakeLayer3Table(std::index_sequence<Rows...>)
{
    return {&Layer3Output<(Rows >= 6), (Rows % 6) / 2, static_cast<int>(Rows % 2) + 1>...};
}

constexpr auto kLayer3Routines = MakeLayer3Table(std::make_index_sequence<12>());

} // namespace

TLayer3OutputRoutine Layer3OutputRoutine(TSampleWidth width, TRateReduction reduction, int32_t channels)
{
    const auto shift = static_cast<int>(reduction);
    if (shift < 0 || shift > 2 || channels < 1 || channels > 2)
        return nullptr;
    return kLayer3Routines[(width == TSampleWidth::Bits8 ? 6 : 0) + 2 * shift + (channels - 1)];
}

} // namespace pt4
