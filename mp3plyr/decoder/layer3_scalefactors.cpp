// Layer III scale factors: the MPEG-1 form with scale-factor sharing between granules, and the
// MPEG-2/2.5 form with its partitions and the intensity-stereo variant of the right channel.
#include "mp3plyr/decoder/layer3_stages.h"
#include "mp3plyr/decoder/layer3_tables.h"

#include <cstddef>

namespace pt4 {
namespace {

void ReadLongBands(BitReader& reader, TScaleFactors& sf, int first, int end, int32_t length)
{
    for (int band = first; band < end; ++band)
        sf.Long[static_cast<std::size_t>(band)] = static_cast<int32_t>(reader.GetBits(length));
}

void ReadShortBands(BitReader& reader, TScaleFactors& sf, int first, int end, int32_t length)
{
    for (int band = first; band < end; ++band)
        for (auto& window : sf.Short)
            window[static_cast<std::size_t>(band)] = static_cast<int32_t>(reader.GetBits(length));
}

} // namespace

void ReadScaleFactorsMpeg1(BitReader& reader, TScaleFactors& sf, const TScaleFactors& granule0,
                           const TGranuleInfo& gi, int32_t scfsi, int granule)
{
    const auto [slen1, slen2] = kMpeg1ScaleFactorLengths[static_cast<std::size_t>(gi.scalefac_compress & 15)];
    if (gi.block_type == 2) {
        if (gi.mixed_block_flag) {
            ReadLongBands(reader, sf, 0, 8, slen1);
            ReadShortBands(reader, sf, 3, 6, slen1);
        } else {
            ReadShortBands(reader, sf, 0, 6, slen1);
        }
        ReadShortBands(reader, sf, 6, 12, slen2);
        return;
    }
    if (granule == 0) {
        ReadLongBands(reader, sf, 0, 11, slen1);
        ReadLongBands(reader, sf, 11, 21, slen2);
        return;
    }
    // Granule 1 may share each group of bands with granule 0 of the same channel.
    constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
    for (int group = 0; group < 4; ++group) {
        const int first = kGroupStart[group], end = kGroupStart[group + 1];
        if (scfsi & (8 >> group)) {
            for (int band = first; band < end; ++band)
                sf.Long[static_cast<std::size_t>(band)] = granule0.Long[static_cast<std::size_t>(band)];
        } else {
            ReadLongBands(reader, sf, first, end, group < 2 ? slen1 : slen2);
        }
    }
}

namespace {

struct PartitionLayout {
    int32_t Case;
    std::array<int32_t, 4> Lengths;
};

// The standard's partition band counts [case][long, short, mixed][partition].
constexpr int32_t kPartitionBands[6][3][4] = {
    {{6, 5, 5, 5}, {3, 3, 3, 3}, {6, 3, 3, 3}},   {{6, 5, 7, 3}, {3, 3, 4, 2}, {6, 3, 4, 2}},
    {{11, 10, 0, 0}, {6, 6, 0, 0}, {6, 3, 6, 0}}, {{7, 7, 7, 0}, {4, 4, 4, 0}, {6, 5, 4, 0}},
    {{6, 6, 6, 3}, {4, 3, 3, 2}, {6, 4, 3, 2}},   {{8, 8, 5, 0}, {5, 4, 3, 0}, {6, 6, 3, 0}},
};

PartitionLayout ChoosePartitions(int32_t sfc, bool intensityRight, bool mixed)
{
    if (!intensityRight) {
        if (sfc < 400)
            return {0, {(sfc >> 4) / 5, (sfc >> 4) % 5, (sfc & 15) >> 2, sfc & 3}};
        if (sfc < 500) {
            const int32_t c = sfc - 400;
            return {1, {(c >> 2) / 5, (c >> 2) % 5, c & 3, 0}};
        }
        const int32_t c = sfc - 500;
        if (mixed)
            return {2, {c / 3, c / 3, c % 3, 0}};
        return {2, {c / 3, c % 3, 0, 0}};
    }
    const int32_t c = sfc >> 1;
    if (c < 180)
        return {3, {c / 36, (c % 36) / 6, (c % 36) % 6, 0}};
    if (c < 244) {
        const int32_t d = c - 180;
        return {4, {d >> 4, (d >> 2) & 3, d & 3, 0}};
    }
    const int32_t d = c - 244;
    return {5, {d / 3, d % 3, 0, 0}};
}

} // namespace

void ReadScaleFactorsMpeg2(BitReader& reader, TScaleFactors& sf, TGranuleInfo& gi, bool intensityRightChannel,
                           TIntensityInfo& intensity)
{
    const bool shortBlock = gi.block_type == 2;
    const bool mixed = shortBlock && gi.mixed_block_flag;
    const int32_t sfc = gi.scalefac_compress & 511;
    const PartitionLayout layout = ChoosePartitions(sfc, intensityRightChannel, mixed);
    const int column = mixed ? 2 : (shortBlock ? 1 : 0);
    const int32_t(&bands)[4] = kPartitionBands[layout.Case][column];
    gi.preflag = layout.Case == 2 ? 1 : 0;
    if (intensityRightChannel) {
        intensity.intensity_scale = sfc & 1;
        for (int p = 0; p < 3; ++p) {
            intensity.BandCount[static_cast<std::size_t>(p)] = bands[p];
            intensity.Length[static_cast<std::size_t>(p)] = layout.Lengths[static_cast<std::size_t>(p)];
        }
    }

    int band = 0;
    for (int p = 0; p < 4; ++p) {
        const int32_t length = layout.Lengths[static_cast<std::size_t>(p)];
        // Zero-length partitions store 0 without reading (GetBits(0) is 0).
        if (!shortBlock) {
            ReadLongBands(reader, sf, band, band + bands[p], length);
            band += bands[p];
        } else if (mixed && p == 0) {
            ReadLongBands(reader, sf, 0, bands[0], length);
            band = 3;
        } else {
            ReadShortBands(reader, sf, band, band + bands[p], length);
            band += bands[p];
        }
    }
}

} // namespace pt4
