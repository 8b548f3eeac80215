// Requantisation: quantised integers to lines on the 16-bit PCM scale, band by band with the
// global gain, scale factors, pretab and subblock gains; short bands are reordered on the way.
#include "mp3plyr/decoder/layer3_stages.h"
#include "mp3plyr/decoder/layer3_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace pt4 {
namespace {

constexpr int32_t kLargestValue = 15 + 8191; // escape 15 plus 13 linbits

// |v|^(4/3) for the values beyond the small table, in double precision. The exponent 1/3 is
// the nearest single-precision value, which is what the stored gains were tuned against.
const std::vector<double>& LargePowers()
{
    static const std::vector<double> powers = [] {
        std::vector<double> table(kLargestValue + 1);
        for (int32_t v = 0; v <= kLargestValue; ++v)
            table[static_cast<size_t>(v)] = v * std::pow(static_cast<double>(v), 0.3333333432674408);
        return table;
    }();
    return powers;
}

// Writes `count` requantised lines; returns whether any of them was non-zero.
inline bool RequantizeRun(const int32_t* in, float* out, int32_t count, float amplitude, const float* power43,
                          const double* large)
{
    int32_t any = 0;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t v = in[i];
        any |= v;
        if (static_cast<uint32_t>(v + 32) < 64) {
            out[i] = power43[v + 32] * amplitude;
        } else {
            const int32_t magnitude = std::min(std::abs(v), kLargestValue);
            const auto value = static_cast<float>(large[magnitude] * amplitude);
            out[i] = v < 0 ? -value : value;
        }
    }
    return any != 0;
}

} // namespace

void Requantize(const int32_t* quantized, float* lines, int32_t& nonZeroCount, const TScaleFactors& sf,
                const TGranuleInfo& gi, TBandInfo& bandInfo, const Layer3Layout& layout, float* scratch,
                float outputGain)
{
    const Layer3Tables& tables = GetLayer3Tables();
    const float* power43 = tables.Power43.data();
    const double* large = LargePowers().data();
    const float globalGain =
        tables.GlobalGain[static_cast<size_t>(std::clamp(gi.global_gain + 6, 0, 261))] * outputGain;
    const auto& sfGain = tables.ScaleFactorGain[static_cast<size_t>(gi.scalefac_scale & 1)];
    const bool shortBlock = gi.block_type == 2;
    const bool mixed = shortBlock && gi.mixed_block_flag;

    bandInfo.ShortFlag = shortBlock ? 1 : 0;
    bandInfo.LongBandCount = shortBlock ? (mixed ? layout.MixedLongBands : 0) : 22;
    bandInfo.FirstShortBand = shortBlock ? (mixed ? 3 : 0) : 12;
    bandInfo.LastNonZeroBand = 0;
    bandInfo.LastNonZeroShortBand.fill(bandInfo.FirstShortBand);

    int32_t line = 0;
    bool done = false;
    for (int32_t band = 0; band < bandInfo.LongBandCount && !done; ++band) {
        const int32_t width = layout.LongBandWidth[static_cast<size_t>(band)];
        const int32_t pre = gi.preflag ? kPretab[static_cast<size_t>(band)] : 0;
        const float amplitude =
            globalGain *
            sfGain[static_cast<size_t>(pre)][static_cast<size_t>(sf.Long[static_cast<size_t>(band)] & 31)];
        if (RequantizeRun(quantized + line, lines + line, width, amplitude, power43, large))
            bandInfo.LastNonZeroBand = band;
        line += width;
        done = line >= nonZeroCount;
    }

    if (shortBlock && !done) {
        // Short bands arrive window by window; the scratch buffer takes them interleaved.
        const int32_t shortStart = line;
        for (int32_t band = bandInfo.FirstShortBand; band < 13 && !done; ++band) {
            const int32_t width = layout.ShortBandWidth[static_cast<size_t>(band)];
            float windows[3 * 192];
            for (int w = 0; w < 3; ++w) {
                const float amplitude =
                    globalGain *
                    tables.SubblockGain[static_cast<size_t>(gi.subblock_gain[static_cast<size_t>(w)] & 7)] *
                    sfGain[0][static_cast<size_t>(
                        sf.Short[static_cast<size_t>(w)][static_cast<size_t>(band)] & 31)];
                if (RequantizeRun(quantized + line + w * width, windows + w * width, width, amplitude,
                                  power43, large))
                    bandInfo.LastNonZeroShortBand[static_cast<size_t>(w)] = band;
            }
            ReorderShortBand(windows, scratch + line, width);
            line += 3 * width;
            done = line >= nonZeroCount;
        }
        std::copy(scratch + shortStart, scratch + line, lines + shortStart);
        nonZeroCount = line;
        bandInfo.LastNonZeroBand =
            *std::max_element(bandInfo.LastNonZeroShortBand.begin(), bandInfo.LastNonZeroShortBand.end());
    } else if (shortBlock) {
        bandInfo.LastNonZeroBand =
            *std::max_element(bandInfo.LastNonZeroShortBand.begin(), bandInfo.LastNonZeroShortBand.end());
    }
    std::fill(lines + line, lines + kGranuleLines, 0.0f);
}

} // namespace pt4
