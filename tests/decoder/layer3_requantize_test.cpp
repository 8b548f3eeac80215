// Requantisation, short-block reordering and the stereo tools on hand-made lines.
#include "mp3plyr/decoder/layer3_stages.h"
#include "mp3plyr/decoder/layer3_tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace pt4 {
namespace {

Layer3Layout Layout44k()
{
    Layer3Layout layout;
    FillBandLayout(layout, 0, 0);
    return layout;
}

struct Requantized {
    std::vector<float> Lines = std::vector<float>(576, -1.0f);
    int32_t Count;
    TBandInfo Info;
};

Requantized RequantizeValues(const std::vector<int32_t>& values, const TGranuleInfo& gi,
                             const TScaleFactors& sf = {})
{
    std::vector<int32_t> quantized(576, 0);
    std::copy(values.begin(), values.end(), quantized.begin());
    Requantized r;
    r.Count = static_cast<int32_t>(values.size());
    std::vector<float> scratch(576);
    const Layer3Layout layout = Layout44k();
    Requantize(quantized.data(), r.Lines.data(), r.Count, sf, gi, r.Info, layout, scratch.data());
    return r;
}

TEST(Layer3Requantize, LongBlockValuesOnTheSixteenBitScale)
{
    TGranuleInfo gi;
    gi.global_gain = 210;
    const Requantized r = RequantizeValues({1, -8, 100, 0}, gi);
    EXPECT_FLOAT_EQ(r.Lines[0], 32768.0f);
    EXPECT_FLOAT_EQ(r.Lines[1], -524288.0f);
    EXPECT_NEAR(r.Lines[2], 32768.0 * std::pow(100.0, 4.0 / 3.0), 32768.0 * 464.16 * 1e-6);
    EXPECT_EQ(r.Lines[3], 0.0f);
    // Lines past the processed bands are zero, whatever the buffer held.
    for (size_t i = 4; i < 576; ++i)
        ASSERT_EQ(r.Lines[i], 0.0f) << i;
    EXPECT_EQ(r.Info.LastNonZeroBand, 0);
}

TEST(Layer3Requantize, ScaleFactorsPretabAndScale)
{
    TGranuleInfo gi;
    gi.global_gain = 210;
    gi.scalefac_scale = 1;
    gi.preflag = 1;
    TScaleFactors sf;
    sf.Long[0] = 1;  // 2^-1 with scalefac_scale 1
    sf.Long[11] = 0; // pretab 1: 2^-1
    sf.Long[15] = 1; // pretab 2 + 1: 2^-3
    std::vector<int32_t> values(212, 0);
    values[0] = 1;
    values[62] = 1;  // band 11 starts at line 62
    values[134] = 1; // band 15 starts at line 134
    const Requantized r = RequantizeValues(values, gi, sf);
    EXPECT_FLOAT_EQ(r.Lines[0], 16384.0f);
    EXPECT_FLOAT_EQ(r.Lines[62], 16384.0f);
    EXPECT_FLOAT_EQ(r.Lines[134], 4096.0f);
    EXPECT_EQ(r.Info.LastNonZeroBand, 15);
}

TEST(Layer3Requantize, ShortBandsAreInterleavedWindowByWindowWithTheirGains)
{
    TGranuleInfo gi;
    gi.global_gain = 210;
    gi.block_type = 2;
    gi.window_switching_flag = 1;
    gi.subblock_gain = {0, 1, 0};
    // Band 0 has width 4: windows 0, 1, 2 hold 1-4, 5-8, 9-12 (signed by window).
    const std::vector<int32_t> values = {1, 2, 3, 4, -5, -6, -7, -8, 9, 10, 11, 12};
    const Requantized r = RequantizeValues(values, gi);
    const int32_t order[12] = {1, -5, 9, 2, -6, 10, 3, -7, 11, 4, -8, 12};
    for (int i = 0; i < 12; ++i) {
        const double v = order[i];
        const double gain = (i % 3 == 1) ? 0.25 : 1.0; // subblock gain 1 on window 1
        EXPECT_NEAR(r.Lines[static_cast<size_t>(i)], 32768.0 * gain * v * std::cbrt(std::abs(v)), 0.5) << i;
    }
    EXPECT_EQ(r.Count, 12); // the end of the last processed band
    EXPECT_EQ(r.Info.ShortFlag, 1);
    EXPECT_EQ(r.Info.LastNonZeroShortBand, (std::array<int32_t, 3>{0, 0, 0}));
}

TEST(Layer3Stereo, MidSideWithoutScaling)
{
    std::vector<float> left = {3.0f, 0.5f}, right = {1.0f, 0.5f};
    MidSide(left.data(), right.data(), 2);
    EXPECT_EQ(left, (std::vector<float>{4.0f, 1.0f}));
    EXPECT_EQ(right, (std::vector<float>{2.0f, 0.0f}));
}

// Left lines 1.0 up to `count`, right silent above band 0: the right channel's band 1 onwards
// is intensity-coded with position `position` in every band.
std::pair<float, float> Mpeg1Intensity(int32_t position, bool ms)
{
    const Layer3Layout layout = Layout44k();
    std::vector<float> left(576, 0.0f), right(576, 0.0f);
    std::fill(left.begin(), left.begin() + 400, 1.0f);
    TScaleFactors sf;
    sf.Long.fill(position);
    TBandInfo leftInfo, rightInfo;
    IntensityStereoMpeg1(left.data(), right.data(), sf, leftInfo, rightInfo, 400, ms, layout);
    return {left[100], right[100]};
}

TEST(Layer3Stereo, Mpeg1IntensityRatios)
{
    EXPECT_EQ(Mpeg1Intensity(0, false), std::make_pair(0.0f, 1.0f));
    const auto [l6, r6] = Mpeg1Intensity(6, false);
    EXPECT_NEAR(l6, 1.0f, 1e-6f);
    EXPECT_NEAR(r6, 0.0f, 1e-6f);
    const auto [l3, r3] = Mpeg1Intensity(3, false);
    EXPECT_NEAR(l3, 0.5f, 1e-6f);
    EXPECT_NEAR(r3, 0.5f, 1e-6f);
    EXPECT_EQ(Mpeg1Intensity(7, false), std::make_pair(1.0f, 0.0f));
    EXPECT_EQ(Mpeg1Intensity(7, true), std::make_pair(1.0f, 1.0f));
    const auto [l3ms, r3ms] = Mpeg1Intensity(3, true);
    EXPECT_NEAR(l3ms, 0.5f * std::sqrt(2.0f), 1e-6f);
    EXPECT_NEAR(r3ms, 0.5f * std::sqrt(2.0f), 1e-6f);
    // The left channel's non-zero lines bound the processing.
    const Layer3Layout layout = Layout44k();
    std::vector<float> left(576, 1.0f), right(576, 0.0f);
    TScaleFactors sf;
    TBandInfo info;
    IntensityStereoMpeg1(left.data(), right.data(), sf, info, info, 50, false, layout);
    EXPECT_EQ(left[49], 0.0f);
    EXPECT_EQ(right[49], 1.0f);
    EXPECT_EQ(left[50], 1.0f);
    EXPECT_EQ(right[50], 0.0f);
}

TEST(Layer3Stereo, Mpeg2IntensityFollowsTheScaleAndTheIllegalPosition)
{
    // Partition 0 covers bands 0-5 with 2-bit positions (illegal position 3).
    const Layer3Layout layout = Layout44k();
    TIntensityInfo intensity;
    intensity.BandCount = {6, 6, 6};
    intensity.Length = {2, 2, 2};
    intensity.intensity_scale = 0;
    auto run = [&](int32_t position) {
        std::vector<float> left(576, 0.0f), right(576, 0.0f);
        std::fill(left.begin(), left.begin() + 300, 1.0f);
        TScaleFactors sf;
        sf.Long.fill(position);
        TBandInfo info;
        IntensityStereoMpeg2(left.data(), right.data(), sf, info, info, 300, false, intensity, layout);
        return std::make_pair(left[10], right[10]); // band 2
    };
    const float io = std::pow(2.0f, -0.25f);
    EXPECT_EQ(run(0), std::make_pair(1.0f, 1.0f));
    const auto [l1, r1] = run(1);
    EXPECT_NEAR(l1, io, 1e-6f);
    EXPECT_NEAR(r1, 1.0f, 1e-6f);
    const auto [l2, r2] = run(2);
    EXPECT_NEAR(l2, 1.0f, 1e-6f);
    EXPECT_NEAR(r2, io, 1e-6f);
    EXPECT_EQ(run(3), std::make_pair(1.0f, 0.0f));
}

} // namespace
} // namespace pt4
