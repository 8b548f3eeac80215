// Steps that every output routine shares: gathering a slot's input, the subband gains, moving
// the ring position and storing samples. Everything is fixed at compile time per routine.
#pragma once

#include "mp3plyr/synth/synthesis_state.h"

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pt4 {

template <int N> inline int32_t NextPosition(int32_t position)
{
    return (position - N) & (16 * N - 1);
}

// The N transform inputs from every Stride-th value; with N = 16 subband 15 is never used.
template <int N, int Stride> inline void GatherSlot(const float* in, float* x)
{
    constexpr int used = N == 16 ? 15 : N;
#pragma GCC unroll 32
    for (int n = 0; n < used; ++n)
        x[n] = in[n * Stride];
    for (int n = used; n < N; ++n)
        x[n] = 0.0f;
}

// Both channels of an interleaved two-channel slot of 32 subbands (left at 2s, right at 2s + 1).
inline void GatherBoth32(const float* in, float* left, float* right)
{
#if defined(__SSE2__)
#pragma GCC unroll 8
    for (int q = 0; q < 8; ++q) {
        const __m128 low = _mm_loadu_ps(in + 8 * q);
        const __m128 high = _mm_loadu_ps(in + 8 * q + 4);
        _mm_storeu_ps(left + 4 * q, _mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(right + 4 * q, _mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
    }
#else
    GatherSlot<32, 2>(in, left);
    GatherSlot<32, 2>(in + 1, right);
#endif
}

// The mono mix of an interleaved two-channel slot.
template <int N> inline void GatherMix(const float* in, float* x)
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
template <bool EightBit, int Stride, int N> inline void StoreSamples(const int16_t* samples, uint8_t* out)
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

// One channel of a two-channel block: channel 0 at the even sample positions, channel 1 at the
// odd ones; `block` is the slot's first byte, whichever channel is written.
template <bool EightBit, int N>
inline void StoreChannelOfTwo(const int16_t* samples, uint8_t* block, int channel)
{
#if defined(__SSE2__)
    if constexpr (!EightBit) {
        // Four sample frames per 16 bytes: spread the channel's values over both halves of each
        // frame, keep the other channel's half as it is.
        const __m128i ownHalves = _mm_set1_epi32(channel == 0 ? 0x0000ffff : static_cast<int>(0xffff0000u));
        for (int c = 0; c < N / 4; ++c) {
            const __m128i values = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples + 4 * c));
            const __m128i spread = _mm_unpacklo_epi16(values, values);
            auto* target = reinterpret_cast<__m128i*>(block + 16 * c);
            const __m128i other = _mm_andnot_si128(ownHalves, _mm_loadu_si128(target));
            _mm_storeu_si128(target, _mm_or_si128(_mm_and_si128(spread, ownHalves), other));
        }
        return;
    }
#endif
    StoreSamples<EightBit, 2, N>(samples, block + (channel != 0 ? (EightBit ? 1 : 2) : 0));
}

// Both channels of a two-channel block at once.
template <bool EightBit, int N>
inline void StoreBothChannels(const int16_t* left, const int16_t* right, uint8_t* block)
{
#if defined(__SSE2__)
    if constexpr (!EightBit) {
        for (int c = 0; c < N / 8; ++c) {
            const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(left + 8 * c));
            const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(right + 8 * c));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 32 * c), _mm_unpacklo_epi16(l, r));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 32 * c + 16), _mm_unpackhi_epi16(l, r));
        }
        return;
    }
#endif
    StoreSamples<EightBit, 2, N>(left, block);
    StoreSamples<EightBit, 2, N>(right, block + (EightBit ? 1 : 2));
}

} // namespace pt4
