// Joint stereo: mid/side, and intensity stereo by the MPEG-1 and the MPEG-2 rules. The right
// channel's intensity region begins above its last non-zero band.
#include "mp3plyr/decoder/layer3_stages.h"
#include "mp3plyr/decoder/layer3_tables.h"

#include <algorithm>
#include <cstring>

namespace pt4 {

void MidSide(float* PT4_RESTRICT left, float* PT4_RESTRICT right, int32_t count)
{
    int32_t i = 0;
#if defined(__GNUC__) || defined(__clang__)
    using Float4 = float __attribute__((vector_size(16)));
    for (; i + 4 <= count; i += 4) {
        Float4 mid, side;
        std::memcpy(&mid, left + i, sizeof mid);
        std::memcpy(&side, right + i, sizeof side);
        const Float4 sum = mid + side, difference = mid - side;
        std::memcpy(left + i, &sum, sizeof sum);
        std::memcpy(right + i, &difference, sizeof difference);
    }
#endif
    for (; i < count; ++i) {
        const float mid = left[i], side = right[i];
        left[i] = mid + side;
        right[i] = mid - side;
    }
}

int32_t IntensityStart(const TBandInfo& right, const Layer3Layout& layout)
{
    if (right.ShortFlag)
        return layout.ShortBandEnd3[static_cast<size_t>(right.LastNonZeroBand)];
    return layout.LongBandEnd[static_cast<size_t>(right.LastNonZeroBand)];
}

namespace {

inline int32_t LongBandStart(const Layer3Layout& layout, int32_t band)
{
    return band == 0 ? 0 : layout.LongBandEnd[static_cast<size_t>(band - 1)];
}

inline int32_t ShortBandStart3(const Layer3Layout& layout, int32_t band)
{
    return band == 0 ? 0 : layout.ShortBandEnd3[static_cast<size_t>(band - 1)];
}

// Scales one long band's lines, at most `budget` of them; returns the budget left.
int32_t ApplyLongBand(float* left, float* right, int32_t start, int32_t width, int32_t budget,
                      const std::array<float, 2>& factors)
{
    const int32_t count = std::min(width, budget);
    for (int32_t i = start; i < start + count; ++i) {
        const float value = left[i];
        right[i] = factors[1] * value;
        left[i] = factors[0] * value;
    }
    return budget - count;
}

// Scales one short band's line triples (windows interleaved), at most budget / 3 of them.
int32_t ApplyShortBand(float* left, float* right, int32_t start3, int32_t width, int32_t budget,
                       const std::array<const std::array<float, 2>*, 3>& factors)
{
    const int32_t count = std::min(width, budget / 3);
    for (int32_t j = 0; j < count; ++j) {
        for (int w = 0; w < 3; ++w) {
            const int32_t i = start3 + 3 * j + w;
            const float value = left[i];
            right[i] = (*factors[static_cast<size_t>(w)])[1] * value;
            left[i] = (*factors[static_cast<size_t>(w)])[0] * value;
        }
    }
    return budget - 3 * count;
}

} // namespace

void IntensityStereoMpeg1(float* left, float* right, const TScaleFactors& rightSf,
                          const TBandInfo& /*leftInfo*/, const TBandInfo& rightInfo, int32_t leftNonZero,
                          bool ms, const Layer3Layout& layout)
{
    const auto& ratios = GetLayer3Tables().Mpeg1Intensity[ms ? 1 : 0];
    // Positions above 7 cannot be coded by a conforming encoder; they act like the illegal 7.
    auto ratio = [&](int32_t position) -> const std::array<float, 2>& {
        return ratios[static_cast<size_t>(std::clamp(position, 0, 7))];
    };
    int32_t budget = leftNonZero - IntensityStart(rightInfo, layout);
    if (!rightInfo.ShortFlag) {
        for (int32_t band = rightInfo.LastNonZeroBand + 1; band <= 20 && budget > 0; ++band)
            budget = ApplyLongBand(left, right, LongBandStart(layout, band),
                                   layout.LongBandWidth[static_cast<size_t>(band)], budget,
                                   ratio(rightSf.Long[static_cast<size_t>(band)]));
        return;
    }
    for (int32_t band = rightInfo.LastNonZeroBand + 1; band <= 11 && budget >= 3; ++band) {
        const std::array<const std::array<float, 2>*, 3> factors = {
            &ratio(rightSf.Short[0][static_cast<size_t>(band)]),
            &ratio(rightSf.Short[1][static_cast<size_t>(band)]),
            &ratio(rightSf.Short[2][static_cast<size_t>(band)])};
        budget = ApplyShortBand(left, right, ShortBandStart3(layout, band),
                                layout.ShortBandWidth[static_cast<size_t>(band)], budget, factors);
    }
}

void IntensityStereoMpeg2(float* left, float* right, const TScaleFactors& rightSf, const TBandInfo& leftInfo,
                          const TBandInfo& rightInfo, int32_t leftNonZero, bool ms,
                          const TIntensityInfo& intensity, const Layer3Layout& layout)
{
    const auto& factors =
        GetLayer3Tables().Mpeg2Intensity[static_cast<size_t>(intensity.intensity_scale & 1)][ms ? 1 : 0];
    // The illegal position of each band follows the length of the partition it was coded in.
    std::array<int32_t, 23> longBase{};
    std::array<int32_t, 13> shortBase{};
    {
        const bool mixed = rightInfo.ShortFlag && rightInfo.FirstShortBand != 0;
        int32_t longBand = 0, shortBand = rightInfo.FirstShortBand;
        for (int p = 0; p < 3; ++p) {
            const int32_t base = (1 << std::clamp(intensity.Length[static_cast<size_t>(p)], 0, 5)) - 1;
            for (int32_t b = 0; b < intensity.BandCount[static_cast<size_t>(p)]; ++b) {
                if (!rightInfo.ShortFlag || (mixed && p == 0)) {
                    if (longBand < 23)
                        longBase[static_cast<size_t>(longBand++)] = base;
                } else if (shortBand < 13) {
                    shortBase[static_cast<size_t>(shortBand++)] = base;
                }
            }
        }
    }
    auto entry = [&](int32_t base, int32_t position) -> const std::array<float, 2>& {
        return factors[static_cast<size_t>(std::clamp(base + position, 0, 63))];
    };

    if (!rightInfo.ShortFlag) {
        int32_t budget = leftNonZero - IntensityStart(rightInfo, layout);
        for (int32_t band = rightInfo.LastNonZeroBand + 1; band <= 20 && budget > 0; ++band)
            budget = ApplyLongBand(
                left, right, LongBandStart(layout, band), layout.LongBandWidth[static_cast<size_t>(band)],
                budget, entry(longBase[static_cast<size_t>(band)], rightSf.Long[static_cast<size_t>(band)]));
        return;
    }
    for (int w = 0; w < 3; ++w) {
        const int32_t last = std::min(leftInfo.LastNonZeroShortBand[static_cast<size_t>(w)], 12);
        for (int32_t band = rightInfo.LastNonZeroShortBand[static_cast<size_t>(w)] + 1; band <= last;
             ++band) {
            const auto& f = entry(shortBase[static_cast<size_t>(band)],
                                  rightSf.Short[static_cast<size_t>(w)][static_cast<size_t>(band)]);
            const int32_t start = ShortBandStart3(layout, band) + w;
            for (int32_t j = 0; j < layout.ShortBandWidth[static_cast<size_t>(band)]; ++j) {
                const int32_t i = start + 3 * j;
                const float value = left[i];
                right[i] = f[1] * value;
                left[i] = f[0] * value;
            }
        }
    }
}

} // namespace pt4
