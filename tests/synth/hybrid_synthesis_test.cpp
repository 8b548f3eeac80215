// The hybrid filter bank against the IMDCT formula and windows of the standard, its overlap
// and extent rules, the frequency inversion and the two ways of mixing two channels.
#include "mp3plyr/synth/hybrid_synthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace pt4 {
namespace {

using Lines = std::array<float, 576>;
const double kPi = 4.0 * std::atan(1.0);

Lines RandomLines(uint32_t seed, int32_t count = 576)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
    Lines lines{};
    for (int32_t i = 0; i < count; ++i)
        lines[static_cast<size_t>(i)] = value(random);
    return lines;
}

// The standard's windows, unsigned, by block type.
double Window(int blockType, int i)
{
    auto longWindow = [](int n) { return std::sin(kPi / 36 * (n + 0.5)); };
    auto shortWindow = [](int n) { return std::sin(kPi / 12 * (n + 0.5)); };
    switch (blockType) {
    case 1: return i < 18 ? longWindow(i) : i < 24 ? 1.0 : i < 30 ? shortWindow(i - 18) : 0.0;
    case 3: return i < 6 ? 0.0 : i < 12 ? shortWindow(i - 6) : i < 18 ? 1.0 : longWindow(i);
    default: return longWindow(i);
    }
}

// The 36 windowed values of a long subband, straight from the formula.
std::array<double, 36> DirectLong(const float* x, int blockType)
{
    std::array<double, 36> out{};
    for (int i = 0; i < 36; ++i) {
        double sum = 0;
        for (int k = 0; k < 18; ++k)
            sum += x[k] * std::cos(kPi / 72 * (2 * i + 1 + 18) * (2 * k + 1));
        out[static_cast<size_t>(i)] = sum * Window(blockType, i);
    }
    return out;
}

// The 36 positions of a short subband: three windowed 12-point transforms at 6, 12 and 18.
std::array<double, 36> DirectShort(const float* x)
{
    std::array<double, 36> out{};
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 12; ++i) {
            double sum = 0;
            for (int k = 0; k < 6; ++k)
                sum += x[3 * k + j] * std::cos(kPi / 24 * (2 * i + 1 + 6) * (2 * k + 1));
            out[static_cast<size_t>(6 + 6 * j + i)] += sum * std::sin(kPi / 12 * (i + 0.5));
        }
    return out;
}

constexpr double kTolerance = 0.02; // on values of a few thousand

TEST(HybridSynthesis, LongBlocksFollowTheFormulaAndWindowOfTheirType)
{
    for (int blockType : {0, 1, 3}) {
        SCOPED_TRACE(blockType);
        const Lines input = RandomLines(static_cast<uint32_t>(blockType) + 1);
        Lines current = input, previous{};
        Lines output{};
        // After an initialisation the previous overlap is zero: the output is the first half.
        const int32_t extent =
            HybridSynthesis(current.data(), previous.data(), output.data(), blockType, 576, 576, 0);
        EXPECT_EQ(extent, 576);
        for (int s = 0; s < 32; ++s) {
            const std::array<double, 36> direct = DirectLong(input.data() + 18 * s, blockType);
            for (int t = 0; t < 18; ++t) {
                ASSERT_NEAR(output[static_cast<size_t>(32 * t + s)], direct[static_cast<size_t>(t)],
                            kTolerance);
                ASSERT_NEAR(current[static_cast<size_t>(18 * s + t)], direct[static_cast<size_t>(18 + t)],
                            kTolerance);
            }
        }
    }
}

TEST(HybridSynthesis, ShortBlocksOverlapTheirThreeWindowsAndLeaveTheFirstSixSlotsToTheOverlap)
{
    const Lines input = RandomLines(7);
    const Lines previous = RandomLines(8);
    Lines current = input, output{};
    HybridSynthesis(current.data(), previous.data(), output.data(), 2, 0, 576, 576);
    for (int s = 0; s < 32; ++s) {
        const std::array<double, 36> direct = DirectShort(input.data() + 18 * s);
        for (int t = 0; t < 6; ++t)
            ASSERT_EQ(output[static_cast<size_t>(32 * t + s)], previous[static_cast<size_t>(18 * s + t)]);
        for (int t = 6; t < 18; ++t)
            ASSERT_NEAR(output[static_cast<size_t>(32 * t + s)],
                        previous[static_cast<size_t>(18 * s + t)] + direct[static_cast<size_t>(t)],
                        kTolerance);
        for (int t = 0; t < 18; ++t)
            ASSERT_NEAR(current[static_cast<size_t>(18 * s + t)], direct[static_cast<size_t>(18 + t)],
                        kTolerance);
    }
}

TEST(HybridSynthesis, MixedBlocksUseTheNormalWindowForTheirLongPart)
{
    // Two long subbands, the rest short; and a start block whose first two subbands were coded
    // with the mixed-block flag.
    const Lines input = RandomLines(9);
    Lines mixed = input, start = input, previous{}, output{}, startOutput{};
    HybridSynthesis(mixed.data(), previous.data(), output.data(), 2, 36, 576, 0, 36);
    HybridSynthesis(start.data(), previous.data(), startOutput.data(), 1, 576, 576, 0, 36);
    for (int s = 0; s < 4; ++s) {
        const std::array<double, 36> normal = DirectLong(input.data() + 18 * s, 0);
        const std::array<double, 36> startWindow = DirectLong(input.data() + 18 * s, 1);
        const std::array<double, 36> shortBlock = DirectShort(input.data() + 18 * s);
        for (int t = 0; t < 18; ++t) {
            const size_t o = static_cast<size_t>(32 * t + s);
            ASSERT_NEAR(output[o],
                        s < 2 ? normal[static_cast<size_t>(t)] : shortBlock[static_cast<size_t>(t)],
                        kTolerance);
            ASSERT_NEAR(startOutput[o],
                        s < 2 ? normal[static_cast<size_t>(t)] : startWindow[static_cast<size_t>(t)],
                        kTolerance);
        }
    }
}

TEST(HybridSynthesis, SilentGranuleReleasesTheOverlapThenFallsSilent)
{
    Lines a = RandomLines(11, 100), b{}, output{};
    const int32_t first = HybridSynthesis(a.data(), b.data(), output.data(), 0, 100, 100, 0);
    EXPECT_EQ(first, 108);
    const Lines overlap = a;
    // An all-zero granule (extent 0): the previous overlap passes through up to its extent.
    Lines zero{};
    output.fill(7.0f);
    const int32_t second = HybridSynthesis(zero.data(), a.data(), output.data(), 0, 0, 0, first);
    EXPECT_EQ(second, first);
    for (int s = 0; s < 32; ++s)
        for (int t = 0; t < 18; ++t)
            ASSERT_EQ(output[static_cast<size_t>(32 * t + s)],
                      s < 6 ? overlap[static_cast<size_t>(18 * s + t)] : 0.0f);
    // The granule after it: nothing left.
    Lines next{};
    output.fill(7.0f);
    EXPECT_EQ(HybridSynthesis(next.data(), zero.data(), output.data(), 0, 0, 0, 0), 0);
    EXPECT_TRUE(std::all_of(output.begin(), output.end(), [](float v) { return v == 0.0f; }));
}

TEST(HybridSynthesis, InvertsOddSlotsOfOddSubbandsBelowTheExtent)
{
    Lines output;
    for (size_t i = 0; i < output.size(); ++i)
        output[i] = static_cast<float>(i + 1);
    Lines one = output;
    InvertOddSubbands(one.data(), 18);
    EXPECT_EQ(one, output);
    Lines some = output;
    InvertOddSubbands(some.data(), 4 * 18);
    for (int t = 0; t < 18; ++t)
        for (int s = 0; s < 32; ++s) {
            const size_t i = static_cast<size_t>(32 * t + s);
            const bool inverted = (t % 2 == 1) && (s == 1 || s == 3);
            ASSERT_EQ(some[i], inverted ? -output[i] : output[i]) << t << " " << s;
        }
    // Exact negation: a zero turns into a negative zero.
    Lines zeros{};
    InvertOddSubbands(zeros.data(), 576);
    EXPECT_TRUE(std::signbit(zeros[32 + 1]));
}

// The mix of two channels equals the sum of their separate transforms, whichever way it is made.
TEST(HybridSynthesis, MixingTwoChannelsEqualsTheSumOfTheirTransforms)
{
    struct Case {
        int LeftType, RightType;
    };
    for (const Case c : {Case{0, 0}, Case{2, 2}, Case{1, 2}, Case{2, 0}, Case{3, 1}}) {
        SCOPED_TRACE(testing::Message() << c.LeftType << "/" << c.RightType);
        const Lines left = RandomLines(21, 300), right = RandomLines(22, 450);
        const Lines previousLeft = RandomLines(23, 400);
        auto limits = [](int type, int32_t extent) { return type == 2 ? 0 : extent; };

        Lines l = left, r = right, outLeft{}, outRight{}, zero{};
        HybridSynthesis(l.data(), previousLeft.data(), outLeft.data(), c.LeftType, limits(c.LeftType, 300),
                        300, 400);
        HybridSynthesis(r.data(), zero.data(), outRight.data(), c.RightType, limits(c.RightType, 450), 450,
                        0);

        Lines mixLines = left, mixOut{};
        int32_t extent;
        if (c.LeftType == c.RightType) {
            Lines second = right;
            AddLines(mixLines.data(), second.data(), 450);
            extent = HybridSynthesis(mixLines.data(), previousLeft.data(), mixOut.data(), c.LeftType,
                                     limits(c.LeftType, 450), 450, 400);
        } else {
            extent = HybridSynthesis(mixLines.data(), previousLeft.data(), mixOut.data(), c.LeftType,
                                     limits(c.LeftType, 300), 300, 400);
            extent = std::max(extent, HybridAccumulate(right.data(), mixLines.data(), mixOut.data(),
                                                       c.RightType, limits(c.RightType, 450), 450));
        }
        EXPECT_EQ(extent, 450);
        for (size_t i = 0; i < 576; ++i) {
            ASSERT_NEAR(mixOut[i], outLeft[i] + outRight[i], kTolerance) << i;
            ASSERT_NEAR(mixLines[i], l[i] + r[i], kTolerance) << i;
        }
    }
}

} // namespace
} // namespace pt4
