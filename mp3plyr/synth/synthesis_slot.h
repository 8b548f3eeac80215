// Steps that every output routine shares: gathering a slot's input, the subband gains, moving
// the ring position and storing samples. Everything is fixed at compile time per routine.
#pragma once

#include "mp3plyr/synth/synthesis_state.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace pt4 {

template <int N>
inline int32_t NextPosition(int32_t position)
{
    return (position - N) & (16 * N - 1);
}

// The N transform inputs from every Stride-th value; with N = 16 subband 15 is never used.
template <int N, int Stride>
inline void GatherSlot(const float* in, float* x)
{
    constexpr int used = N == 16 ? 15 : N;
    for (int n = 0; n < used; ++n)
        x[n] = in[n * Stride];
    for (int n = used; n < N; ++n)
        x[n] = 0.0f;
}

// The mono mix of an interleaved two-channel slot.
template <int N>
inline void GatherMix(const float* in, float* x)
{
    constexpr int used = N == 16 ? 15 : N;
    for (int n = 0; n < used; ++n)
        x[n] = (in[2 * n] + in[2 * n + 1]) * 0.5f;
    for (int n = used; n < N; ++n)
        x[n] = 0.0f;
}

inline bool SubbandGainsOn(const EqualizerGains& equalizer)
{
    return equalizer.SubbandEqualizerOn.load(std::memory_order_relaxed) != 0;
}

inline void ApplySubbandGains(const EqualizerGains& equalizer, float* x)
{
    for (int s = 0; s < 32; ++s)
        x[s] *= equalizer.SubbandEqualizerGains[s].load(std::memory_order_relaxed);
}

// N samples as little-endian PCM, every Stride-th sample position; 8-bit keeps the top byte
// of the 16-bit value, offset by 128.
template <bool EightBit, int Stride, int N>
inline void StoreSamples(const int16_t* samples, uint8_t* out)
{
    if constexpr (EightBit) {
        for (int n = 0; n < N; ++n)
            out[n * Stride] = static_cast<uint8_t>(((samples[n] >> 8) & 255) ^ 128);
    } else if constexpr (std::endian::native == std::endian::little) {
        if constexpr (Stride == 1) {
            std::memcpy(out, samples, N * sizeof(int16_t));
        } else {
            for (int n = 0; n < N; ++n)
                std::memcpy(out + 2 * Stride * n, samples + n, sizeof(int16_t));
        }
    } else {
        for (int n = 0; n < N; ++n) {
            const auto value = static_cast<uint16_t>(samples[n]);
            out[2 * Stride * n] = static_cast<uint8_t>(value & 255);
            out[2 * Stride * n + 1] = static_cast<uint8_t>(value >> 8);
        }
    }
}

} // namespace pt4
