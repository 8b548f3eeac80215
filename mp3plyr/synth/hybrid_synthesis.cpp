// Hybrid filter bank. Subbands are walked in order through four regions: long blocks, short
// blocks, subbands that only carry the previous overlap, and silent ones. Where four
// neighbouring subbands share a region and a window they are transformed together, one
// subband per vector lane.
#include "mp3plyr/synth/hybrid_synthesis.h"

#include <algorithm>
#include <cstring>

namespace pt4 {
namespace {

constexpr int kSlots = 18;
constexpr int kSubbands = 32;

#if defined(__GNUC__) || defined(__clang__)
using Float4 = float __attribute__((vector_size(16)));
#define PT4_HYBRID_LANES 1
#endif

inline int32_t Subbands(int32_t lines)
{
    return (lines + 17) / 18;
}

// Loads and stores of one subband's value (float) or of four neighbouring subbands' values
// (Float4): `stride` is the distance between neighbouring subbands.
template <typename T> struct Lanes;

template <> struct Lanes<float> {
    static float Load(const float* p, int /*stride*/) { return *p; }
    static void Store(float* p, int /*stride*/, float value) { *p = value; }
};

#ifdef PT4_HYBRID_LANES
template <> struct Lanes<Float4> {
    static Float4 Load(const float* p, int stride)
    {
        if (stride == 1) {
            Float4 value;
            std::memcpy(&value, p, sizeof value);
            return value;
        }
        return Float4{p[0], p[stride], p[2 * stride], p[3 * stride]};
    }
    static void Store(float* p, int stride, Float4 value)
    {
        if (stride == 1) {
            std::memcpy(p, &value, sizeof value);
            return;
        }
        p[0] = value[0];
        p[stride] = value[1];
        p[2 * stride] = value[2];
        p[3 * stride] = value[3];
    }
};
#endif

// Where a subband's results go. Synthesis: output = previous overlap + first half, and the
// second half becomes the new overlap in place. Accumulation (mixing a second channel):
// both halves are added to what output and overlap already hold.
struct Target {
    float* Output;         // TransformOutput
    float* Overlap;        // where the new overlap goes (and, accumulating, what it adds to)
    const float* Previous; // the previous overlap; null when accumulating
};

template <typename T>
inline void Emit(const Target& target, int32_t s, const T* first, const T* second, const float* window)
{
    for (int t = 0; t < kSlots; ++t) {
        float* out = target.Output + kSubbands * t + s;
        float* overlap = target.Overlap + kSlots * s + t;
        T o = first[t] * window[t];
        T n = second[t] * window[kSlots + t];
        if (target.Previous != nullptr) {
            o += Lanes<T>::Load(target.Previous + kSlots * s + t, kSlots);
        } else {
            o += Lanes<T>::Load(out, 1);
            n += Lanes<T>::Load(overlap, kSlots);
        }
        Lanes<T>::Store(out, 1, o);
        Lanes<T>::Store(overlap, kSlots, n);
    }
}

template <typename T>
inline void LongSubbands(const float* lines, const Target& target, int32_t s, const float* window,
                         const ImdctTables& tables)
{
    T x[kSlots], first[kSlots], second[kSlots];
    for (int k = 0; k < kSlots; ++k)
        x[k] = Lanes<T>::Load(lines + kSlots * s + k, kSlots);
    Imdct36(x, first, second, tables);
    Emit(target, s, first, second, window);
}

// The three short windows overlapped within the 36-position block: window j covers positions
// 6 + 6j ... 17 + 6j; positions 0 ... 17 go to the output, 18 ... 35 to the overlap.
template <typename T>
inline void ShortSubbands(const float* lines, const Target& target, int32_t s, const ImdctTables& tables)
{
    static const std::array<float, 36> kUnit = [] {
        std::array<float, 36> unit{};
        unit.fill(1.0f);
        return unit;
    }();
    T x[kSlots], w0[12], w1[12], w2[12];
    for (int k = 0; k < kSlots; ++k)
        x[k] = Lanes<T>::Load(lines + kSlots * s + k, kSlots);
    Imdct12(x, w0, tables);
    Imdct12(x + 1, w1, tables);
    Imdct12(x + 2, w2, tables);
    T first[kSlots], second[kSlots];
    for (int i = 0; i < 6; ++i) {
        first[i] = T{};
        first[6 + i] = w0[i];
        first[12 + i] = w0[6 + i] + w1[i];
        second[i] = w1[6 + i] + w2[i];
        second[6 + i] = w2[6 + i];
        second[12 + i] = T{};
    }
    Emit(target, s, first, second, kUnit.data());
}

struct Regions {
    int32_t LongEnd, ShortEnd, NormalSubbands, BlockType;
};

inline const float* LongWindow(const ImdctTables& tables, const Regions& r, int32_t s)
{
    // The long part of a short block and the mixed part of any block use the normal window.
    const int32_t row = (s < r.NormalSubbands || r.BlockType == 2) ? 0 : (r.BlockType & 3);
    return tables.ImdctWindowTable[static_cast<size_t>(row)].data();
}

// Regions 1 and 2 (long, then short subbands); returns the subband after them.
int32_t TransformSubbands(const float* lines, const Target& target, const Regions& r,
                          const ImdctTables& tables)
{
    const int32_t end = std::max(r.LongEnd, r.ShortEnd);
    int32_t s = 0;
    while (s < end) {
#ifdef PT4_HYBRID_LANES
        if (s % 4 == 0 && s + 4 <= r.LongEnd && LongWindow(tables, r, s) == LongWindow(tables, r, s + 3)) {
            LongSubbands<Float4>(lines, target, s, LongWindow(tables, r, s), tables);
            s += 4;
            continue;
        }
        if (s % 4 == 0 && s >= r.LongEnd && s + 4 <= r.ShortEnd) {
            ShortSubbands<Float4>(lines, target, s, tables);
            s += 4;
            continue;
        }
#endif
        if (s < r.LongEnd)
            LongSubbands<float>(lines, target, s, LongWindow(tables, r, s), tables);
        else
            ShortSubbands<float>(lines, target, s, tables);
        ++s;
    }
    return end;
}

Regions MakeRegions(int32_t blockType, int32_t longLimit, int32_t shortLimit, int32_t normalWindowLines)
{
    return {std::min(Subbands(longLimit), kSubbands), std::min(Subbands(shortLimit), kSubbands),
            Subbands(normalWindowLines), blockType};
}

} // namespace

int32_t HybridSynthesis(float* current, const float* previous, float* output, int32_t blockType,
                        int32_t longLimit, int32_t shortLimit, int32_t previousExtent,
                        int32_t normalWindowLines)
{
    const ImdctTables& tables = BuildImdctTables();
    const Regions regions = MakeRegions(blockType, longLimit, shortLimit, normalWindowLines);
    int32_t s = TransformSubbands(current, Target{output, current, previous}, regions, tables);
    // Overlap only: the current lines there are zero and stay as the next overlap.
    for (const int32_t end = std::min(Subbands(previousExtent), kSubbands); s < end; ++s)
        for (int t = 0; t < kSlots; ++t)
            output[kSubbands * t + s] = previous[kSlots * s + t];
    const int32_t extent = kSlots * s;
    // Silent up to the last subband, not only the decoded ones: a mixed granule may have
    // reached further, and its values must not linger.
    for (; s < kSubbands; ++s)
        for (int t = 0; t < kSlots; ++t)
            output[kSubbands * t + s] = 0.0f;
    return extent;
}

int32_t HybridAccumulate(const float* second, float* overlap, float* output, int32_t blockType,
                         int32_t longLimit, int32_t shortLimit, int32_t normalWindowLines)
{
    const ImdctTables& tables = BuildImdctTables();
    const Regions regions = MakeRegions(blockType, longLimit, shortLimit, normalWindowLines);
    return kSlots * TransformSubbands(second, Target{output, overlap, nullptr}, regions, tables);
}

void AddLines(float* target, const float* source, int32_t n)
{
    for (int32_t i = 0; i < n; ++i)
        target[i] = source[i] + target[i];
}

void InvertOddSubbands(float* output, int32_t extent)
{
    const int32_t pairs = Subbands(extent) / 2;
    for (int t = 1; t < kSlots; t += 2)
        for (int32_t s = 1; s < 2 * pairs; s += 2)
            output[kSubbands * t + s] = -output[kSubbands * t + s];
}

} // namespace pt4
