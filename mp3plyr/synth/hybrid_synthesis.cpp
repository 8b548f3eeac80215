// Hybrid filter bank. Subbands are walked in order through four regions: long blocks, short
// blocks, subbands that only carry the previous overlap, and silent ones.
#include "mp3plyr/synth/hybrid_synthesis.h"

#include <algorithm>

namespace pt4 {
namespace {

constexpr int kSlots = 18;
constexpr int kSubbands = 32;

inline int32_t Subbands(int32_t lines) { return (lines + 17) / 18; }

// The window of long subband s: the normal one below the mixed part's end and for the long
// part of a short block, the block type's otherwise.
inline const float* LongWindow(const ImdctTables& tables, int32_t blockType, int32_t s, int32_t normalSubbands)
{
    const int32_t row = (s < normalSubbands || blockType == 2) ? 0 : (blockType & 3);
    return tables.ImdctWindowTable[static_cast<size_t>(row)].data();
}

// The windowed long transform of one subband: `first` for output slots, `second` for overlap.
inline void LongSubband(const float* lines, const float* window, float* first, float* second,
                        const ImdctTables& tables)
{
    float a[kSlots], b[kSlots];
    Imdct36(lines, a, b, tables);
    for (int t = 0; t < kSlots; ++t) {
        first[t] = a[t] * window[t];
        second[t] = b[t] * window[kSlots + t];
    }
}

// The three short windows of one subband overlapped within the 36-position block: positions
// 6 ... 17 land in `first[6 ...]`, positions 18 ... 29 in `second[0 ... 11]`.
inline void ShortSubband(const float* lines, float* first, float* second, const ImdctTables& tables)
{
    float w0[12], w1[12], w2[12];
    Imdct12(lines, w0, tables);
    Imdct12(lines + 1, w1, tables);
    Imdct12(lines + 2, w2, tables);
    for (int i = 0; i < 6; ++i) {
        first[i] = 0.0f;
        first[6 + i] = w0[i];
        first[12 + i] = w0[6 + i] + w1[i];
        second[i] = w1[6 + i] + w2[i];
        second[6 + i] = w2[6 + i];
        second[12 + i] = 0.0f;
    }
}

} // namespace

int32_t HybridSynthesis(float* current, const float* previous, float* output, int32_t blockType,
                        int32_t longLimit, int32_t shortLimit, int32_t previousExtent, int32_t normalWindowLines)
{
    const ImdctTables& tables = BuildImdctTables();
    const int32_t longEnd = std::min(Subbands(longLimit), kSubbands);
    const int32_t shortEnd = std::min(Subbands(shortLimit), kSubbands);
    const int32_t previousEnd = std::min(Subbands(previousExtent), kSubbands);
    const int32_t normalSubbands = Subbands(normalWindowLines);

    int32_t s = 0;
    float first[kSlots], second[kSlots];
    for (; s < longEnd; ++s) {
        float* lines = current + kSlots * s;
        const float* overlap = previous + kSlots * s;
        LongSubband(lines, LongWindow(tables, blockType, s, normalSubbands), first, second, tables);
        for (int t = 0; t < kSlots; ++t) {
            output[kSubbands * t + s] = overlap[t] + first[t];
            lines[t] = second[t];
        }
    }
    for (; s < shortEnd; ++s) {
        float* lines = current + kSlots * s;
        const float* overlap = previous + kSlots * s;
        ShortSubband(lines, first, second, tables);
        for (int t = 0; t < kSlots; ++t) {
            output[kSubbands * t + s] = overlap[t] + first[t];
            lines[t] = second[t];
        }
    }
    for (; s < previousEnd; ++s) {
        const float* overlap = previous + kSlots * s;
        for (int t = 0; t < kSlots; ++t)
            output[kSubbands * t + s] = overlap[t];
    }
    // Silent up to the last subband, not only the decoded ones: a mixed granule may have
    // reached further, and its values must not linger.
    const int32_t extent = kSlots * s;
    for (; s < kSubbands; ++s)
        for (int t = 0; t < kSlots; ++t)
            output[kSubbands * t + s] = 0.0f;
    return extent;
}

int32_t HybridAccumulate(const float* second, float* overlap, float* output, int32_t blockType, int32_t longLimit,
                         int32_t shortLimit, int32_t normalWindowLines)
{
    const ImdctTables& tables = BuildImdctTables();
    const int32_t longEnd = std::min(Subbands(longLimit), kSubbands);
    const int32_t shortEnd = std::min(Subbands(shortLimit), kSubbands);
    const int32_t normalSubbands = Subbands(normalWindowLines);

    int32_t s = 0;
    float a[kSlots], b[kSlots];
    for (; s < shortEnd || s < longEnd; ++s) {
        if (s < longEnd)
            LongSubband(second + kSlots * s, LongWindow(tables, blockType, s, normalSubbands), a, b, tables);
        else
            ShortSubband(second + kSlots * s, a, b, tables);
        for (int t = 0; t < kSlots; ++t) {
            output[kSubbands * t + s] += a[t];
            overlap[kSlots * s + t] += b[t];
        }
    }
    return kSlots * s;
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
