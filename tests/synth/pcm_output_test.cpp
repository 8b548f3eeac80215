// The output routines: input layouts, output layouts and sizes, ring positions, 8-bit output and
// where the subband gains act.
#include "mp3plyr/synth/output_routines.h"
#include "mp3plyr/synth/synthesis_slot.h"
#include "synth/support/output_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <set>
#include <vector>

namespace pt4 {
namespace {

constexpr uint8_t kUntouched = 0xa5;

struct Layer12Row {
    int Row;
    bool EightBit;
    int Reduction;
    int Choice;
    int Bands() const { return 32 >> Reduction; }
    int Channels() const { return Choice == 1 ? 2 : 1; }
    size_t Bytes(int slots) const
    {
        return static_cast<size_t>(slots) * Bands() * Channels() * (EightBit ? 1 : 2);
    }
};

Layer12Row Layer12(int row)
{
    return {row, row >= 15, (row % 15) / 5, row % 5};
}

struct Layer3Row {
    int Row;
    bool EightBit;
    int Reduction;
    int Channels;
    int Bands() const { return 32 >> Reduction; }
    size_t Bytes() const { return static_cast<size_t>(18) * Bands() * Channels * (EightBit ? 1 : 2); }
};

Layer3Row Layer3(int row)
{
    return {row, row >= 6, (row % 6) / 2, row % 2 + 1};
}

std::unique_ptr<SynthesisContext> FreshContext()
{
    auto context = std::make_unique<SynthesisContext>();
    ResetSynthesis(context->Synthesis);
    return context;
}

std::vector<float> RandomValues(size_t count, unsigned seed, float amplitude)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-amplitude, amplitude);
    std::vector<float> values(count);
    for (float& v : values)
        v = value(random);
    return values;
}

// Runs a Layer I/II row over `slots` slots of 64 values; checks that nothing past the
// expected size is written, and returns the expected size's bytes.
std::vector<uint8_t> RunLayer12(SynthesisContext& context, int row, const std::vector<float>& input,
                                int slots)
{
    const size_t bytes = Layer12(row).Bytes(slots);
    std::vector<uint8_t> pcm(bytes + 64, kUntouched);
    Layer12RoutineAt(row)(context, input.data(), pcm.data(), slots);
    for (size_t i = bytes; i < pcm.size(); ++i)
        EXPECT_EQ(pcm[i], kUntouched) << "row " << row << " wrote past its block at " << i;
    pcm.resize(bytes);
    return pcm;
}

std::vector<uint8_t> RunLayer12Fresh(int row, const std::vector<float>& input, int slots)
{
    auto context = FreshContext();
    return RunLayer12(*context, row, input, slots);
}

std::vector<uint8_t> RunLayer3Fresh(int row, const std::vector<float>& granule)
{
    auto context = FreshContext();
    std::vector<uint8_t> pcm(Layer3(row).Bytes() + 64, kUntouched);
    Layer3RoutineAt(row)(*context, granule.data(), pcm.data(), 0);
    if (Layer3(row).Channels == 2)
        Layer3RoutineAt(row)(*context, granule.data(), pcm.data(), 1);
    for (size_t i = Layer3(row).Bytes(); i < pcm.size(); ++i)
        EXPECT_EQ(pcm[i], kUntouched) << "row " << row;
    pcm.resize(Layer3(row).Bytes());
    return pcm;
}

std::vector<int16_t> Samples16(const std::vector<uint8_t>& pcm, size_t first = 0, size_t step = 1)
{
    std::vector<int16_t> samples;
    for (size_t i = first; 2 * i + 1 < pcm.size(); i += step)
        samples.push_back(static_cast<int16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8)));
    return samples;
}

TEST(OutputRoutineTables, EveryCombinationHasItsOwnRoutine)
{
    std::set<TLayer12OutputRoutine> layer12;
    for (int row = 0; row < 30; ++row)
        layer12.insert(Layer12RoutineAt(row));
    EXPECT_EQ(layer12.size(), 30u);
    EXPECT_EQ(layer12.count(nullptr), 0u);
    std::set<TLayer3OutputRoutine> layer3;
    for (int row = 0; row < 12; ++row)
        layer3.insert(Layer3RoutineAt(row));
    EXPECT_EQ(layer3.size(), 12u);
    EXPECT_EQ(layer3.count(nullptr), 0u);
    EXPECT_EQ(Layer12OutputRoutine(TSampleWidth::Bits16, TRateReduction(3), TChannelRoute::Both), nullptr);
    EXPECT_EQ(Layer12OutputRoutine(TSampleWidth::Bits16, TRateReduction::Full, TChannelRoute(5)), nullptr);
    EXPECT_EQ(Layer3OutputRoutine(TSampleWidth::Bits8, TRateReduction::Full, 3), nullptr);
}

TEST(OutputFormats, SilenceIsZeroOrOneHundredTwentyEight)
{
    const std::vector<float> zeros(64 * 12, 0.0f);
    for (int row = 0; row < 30; ++row) {
        const std::vector<uint8_t> pcm = RunLayer12Fresh(row, zeros, 12);
        ASSERT_EQ(pcm.size(), Layer12(row).Bytes(12));
        EXPECT_EQ(pcm, std::vector<uint8_t>(pcm.size(), Layer12(row).EightBit ? 128 : 0)) << "row " << row;
    }
    for (int row = 0; row < 12; ++row) {
        const std::vector<uint8_t> pcm = RunLayer3Fresh(row, std::vector<float>(576, 0.0f));
        EXPECT_EQ(pcm, std::vector<uint8_t>(pcm.size(), Layer3(row).EightBit ? 128 : 0)) << "row " << row;
    }
}

TEST(OutputFormats, EightBitIsTheTopByteOfTheSixteenBitSample)
{
    // Large enough to clip in places, so -32768 and 32767 reach the 8-bit conversion too.
    const std::vector<float> input = RandomValues(64 * 36, 11, 20000.0f);
    for (int row = 0; row < 15; ++row) {
        const std::vector<int16_t> wide = Samples16(RunLayer12Fresh(row, input, 36));
        const std::vector<uint8_t> narrow = RunLayer12Fresh(row + 15, input, 36);
        ASSERT_EQ(wide.size(), narrow.size());
        bool clipped = false;
        for (size_t i = 0; i < wide.size(); ++i) {
            const int expected = (wide[i] >> 8) + 128; // floor(v / 256) + 128
            ASSERT_EQ(narrow[i], expected) << "row " << row << " sample " << i << " value " << wide[i];
            clipped = clipped || wide[i] == 32767 || wide[i] == -32768;
        }
        if (row == 0) {
            EXPECT_TRUE(clipped);
        }
    }
    const std::vector<float> granule = RandomValues(576, 12, 20000.0f);
    for (int row = 0; row < 6; ++row) {
        const std::vector<int16_t> wide = Samples16(RunLayer3Fresh(row, granule));
        const std::vector<uint8_t> narrow = RunLayer3Fresh(row + 6, granule);
        ASSERT_EQ(wide.size(), narrow.size());
        for (size_t i = 0; i < wide.size(); ++i)
            ASSERT_EQ(narrow[i], (wide[i] >> 8) + 128) << "row " << row << " sample " << i;
    }
}

TEST(OutputFormats, EightBitKeepsTheTopByteWithoutRounding)
{
    const int16_t samples[8] = {-32768, -257, -256, -1, 0, 255, 32511, 32512};
    uint8_t narrow[8] = {};
    StoreSamples<true, 1, 8>(samples, narrow);
    const uint8_t expected[8] = {0, 126, 127, 127, 128, 128, 254, 255};
    EXPECT_TRUE(std::equal(std::begin(narrow), std::end(narrow), std::begin(expected)));

    // Stride 2 and 16-bit little-endian bytes, the other sample positions untouched.
    std::vector<uint8_t> wide(32, kUntouched);
    StoreSamples<false, 2, 8>(samples, wide.data());
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(wide[4 * n], static_cast<uint8_t>(samples[n] & 255));
        EXPECT_EQ(wide[4 * n + 1], static_cast<uint8_t>((samples[n] >> 8) & 255));
        EXPECT_EQ(wide[4 * n + 2], kUntouched);
        EXPECT_EQ(wide[4 * n + 3], kUntouched);
    }
}

TEST(Layer12Output, TwoChannelFrameInterleavesLeftAndRight)
{
    const std::vector<float> input = RandomValues(64 * 36, 21, 3000.0f);
    auto context = FreshContext();
    const std::vector<uint8_t> stereo = RunLayer12(*context, 1, input, 36);
    ASSERT_EQ(stereo.size(), 4608u);
    const std::vector<int16_t> left = Samples16(stereo, 0, 2);
    const std::vector<int16_t> right = Samples16(stereo, 1, 2);
    EXPECT_EQ(left, Samples16(RunLayer12Fresh(3, input, 36)));
    EXPECT_EQ(right, Samples16(RunLayer12Fresh(4, input, 36)));
    EXPECT_NE(left, right);
    // Both rings move with one shared position.
    EXPECT_EQ(context->Synthesis.Position0, (0 - 36 * 32) & 511);
    EXPECT_EQ(context->Synthesis.Position1, 0);
}

TEST(Layer12Output, SingleChannelChoicesIgnoreTheOtherChannel)
{
    const std::vector<float> input = RandomValues(64 * 12, 31, 3000.0f);
    std::vector<float> otherRight = input;
    std::vector<float> otherLeft = input;
    for (size_t i = 0; i < input.size(); i += 2) {
        otherRight[i + 1] *= -3.0f;
        otherLeft[i] *= -3.0f;
    }
    for (int base : {0, 5, 10, 15, 20, 25}) {
        EXPECT_EQ(RunLayer12Fresh(base + 3, input, 12), RunLayer12Fresh(base + 3, otherRight, 12)) << base;
        EXPECT_NE(RunLayer12Fresh(base + 3, input, 12), RunLayer12Fresh(base + 3, otherLeft, 12)) << base;
        EXPECT_EQ(RunLayer12Fresh(base + 4, input, 12), RunLayer12Fresh(base + 4, otherLeft, 12)) << base;
        EXPECT_NE(RunLayer12Fresh(base + 4, input, 12), RunLayer12Fresh(base + 4, otherRight, 12)) << base;
    }
}

TEST(Layer12Output, MixAveragesTheTwoChannelsOfEachSubband)
{
    const std::vector<float> input = RandomValues(64 * 12, 41, 3000.0f);
    std::vector<float> mixed(input.size(), 0.0f);
    for (size_t slot = 0; slot < 12; ++slot)
        for (size_t s = 0; s < 32; ++s)
            mixed[64 * slot + s] = (input[64 * slot + 2 * s] + input[64 * slot + 2 * s + 1]) * 0.5f;
    for (int base : {0, 5, 10, 15, 20, 25})
        EXPECT_EQ(RunLayer12Fresh(base + 2, input, 12), RunLayer12Fresh(base + 0, mixed, 12)) << base;
}

TEST(Layer12Output, OneChannelSlotsUseTheFirstThirtyTwoValues)
{
    const std::vector<float> input = RandomValues(64 * 12, 51, 3000.0f);
    std::vector<float> otherTail = input;
    for (size_t slot = 0; slot < 12; ++slot)
        for (size_t s = 32; s < 64; ++s)
            otherTail[64 * slot + s] = 1e6f;
    EXPECT_EQ(RunLayer12Fresh(0, input, 12), RunLayer12Fresh(0, otherTail, 12));
}

TEST(Layer12Output, HalfRateLayerOneFrameWritesSixteenSamplesPerSlot)
{
    const std::vector<float> input = RandomValues(64 * 12, 61, 3000.0f);
    const std::vector<uint8_t> frame = RunLayer12Fresh(5, input, 12);
    EXPECT_EQ(frame.size(), 12u * 16 * 2);
    const std::vector<uint8_t> firstSlot = RunLayer12Fresh(5, input, 1);
    EXPECT_TRUE(std::equal(firstSlot.begin(), firstSlot.end(), frame.begin()));
}

TEST(Layer12Output, ReducedRatesNeverUseSubbandsAboveTheirBank)
{
    const std::vector<float> input = RandomValues(64 * 12, 71, 3000.0f);
    // Subband 15 (and above) for the 16-band bank, subbands 8 and above for the 8-band bank.
    for (const auto& [row, firstUnused] :
         std::vector<std::pair<int, int>>{{5, 15}, {6, 15}, {10, 8}, {16 + 5, 15}}) {
        std::vector<float> changed = input;
        for (size_t slot = 0; slot < 12; ++slot)
            for (int s = firstUnused; s < 32; ++s) {
                changed[64 * slot + 2 * s] = 5000.0f;
                changed[64 * slot + 2 * s + 1] = -5000.0f;
                if (Layer12(row).Choice == 0)
                    changed[64 * slot + s] = 5000.0f;
            }
        EXPECT_EQ(RunLayer12Fresh(row, input, 12), RunLayer12Fresh(row, changed, 12)) << "row " << row;
    }
    std::vector<float> granule = RandomValues(576, 72, 3000.0f);
    std::vector<float> changed = granule;
    for (int t = 0; t < 18; ++t)
        changed[32 * t + 15] = 30000.0f;
    EXPECT_EQ(RunLayer3Fresh(2, granule), RunLayer3Fresh(2, changed));
    EXPECT_NE(RunLayer3Fresh(0, granule), RunLayer3Fresh(0, changed));
}

TEST(Layer12Output, PositionReturnsAfterSixteenSlots)
{
    const std::vector<float> input = RandomValues(64 * 16, 81, 3000.0f);
    for (int row : {0, 1, 5, 11, 27}) {
        auto context = FreshContext();
        RunLayer12(*context, row, input, 1);
        const int32_t afterOne = context->Synthesis.Position0;
        EXPECT_EQ(afterOne, 15 * Layer12(row).Bands()) << "row " << row;
        RunLayer12(*context, row, input, 16);
        EXPECT_EQ(context->Synthesis.Position0, afterOne) << "row " << row;
    }
}

TEST(Layer12Output, MatchesTheLayerThreeRoutineOnTheSameSlots)
{
    // Same subband samples in the two layouts give the same PCM from a fresh history.
    const std::vector<float> granule = RandomValues(576, 91, 3000.0f);
    std::vector<float> slots(64 * 18, 0.0f);
    for (int t = 0; t < 18; ++t)
        for (int s = 0; s < 32; ++s)
            slots[64 * t + s] = granule[32 * t + s];
    for (const auto& [layer12Row, layer3Row] :
         std::vector<std::pair<int, int>>{{0, 0}, {5, 2}, {10, 4}, {15, 6}, {20, 8}})
        EXPECT_EQ(RunLayer12Fresh(layer12Row, slots, 18), RunLayer3Fresh(layer3Row, granule)) << layer12Row;
}

TEST(Layer3Output, TwoChannelsKeepTheirOwnRingsAndPositions)
{
    const std::vector<float> left = RandomValues(576 * 2, 101, 3000.0f);
    const std::vector<float> right = RandomValues(576, 102, 3000.0f);
    auto context = FreshContext();
    std::vector<uint8_t> pcm(2 * 2 * 576 * 2, kUntouched);
    Layer3RoutineAt(1)(*context, left.data(), pcm.data(), 0);
    EXPECT_EQ(context->Synthesis.Position0, (0 - 18 * 32) & 511);
    EXPECT_EQ(context->Synthesis.Position1, 0);
    Layer3RoutineAt(1)(*context, right.data(), pcm.data(), 1);
    EXPECT_EQ(context->Synthesis.Position1, (0 - 18 * 32) & 511);
    Layer3RoutineAt(1)(*context, left.data() + 576, pcm.data() + 2304, 0);
    EXPECT_EQ(context->Synthesis.Position0, (0 - 36 * 32) & 511);
    EXPECT_EQ(context->Synthesis.Position1, (0 - 18 * 32) & 511);

    // Channel 0 at even sample positions, channel 1 at odd ones, each as if decoded alone.
    auto leftAlone = FreshContext();
    std::vector<uint8_t> leftPcm(2 * 1152);
    Layer3RoutineAt(0)(*leftAlone, left.data(), leftPcm.data(), 0);
    Layer3RoutineAt(0)(*leftAlone, left.data() + 576, leftPcm.data() + 1152, 0);
    const std::vector<int16_t> even = Samples16(pcm, 0, 2);
    EXPECT_EQ(even, Samples16(leftPcm));
    const std::vector<int16_t> odd = Samples16(std::vector<uint8_t>(pcm.begin(), pcm.begin() + 2304), 1, 2);
    EXPECT_EQ(odd, Samples16(RunLayer3Fresh(0, right)));
    // The second granule's odd samples were never written.
    EXPECT_EQ(pcm[2304 + 2], kUntouched);
}

TEST(Layer3Output, OneChannelRowsIgnoreTheChannelIndex)
{
    const std::vector<float> granule = RandomValues(576, 111, 3000.0f);
    for (int row : {0, 2, 4, 6, 8, 10}) {
        auto context = FreshContext();
        std::vector<uint8_t> pcm(Layer3(row).Bytes());
        Layer3RoutineAt(row)(*context, granule.data(), pcm.data(), 1);
        EXPECT_EQ(pcm, RunLayer3Fresh(row, granule)) << "row " << row;
        EXPECT_EQ(context->Synthesis.Position1, 0);
        EXPECT_EQ(context->Synthesis.History[512 + 17], 0.0f) << "ring 1 untouched";
    }
}

// The subband gains act in the full-rate rows except the mix, and only there.
class SubbandGains : public ::testing::Test {
protected:
    static void SetGains(SynthesisContext& context, const std::vector<float>& gains, bool on)
    {
        for (int s = 0; s < 32; ++s)
            context.Equalizer.SubbandEqualizerGains[s].store(gains[s]);
        context.Equalizer.SubbandEqualizerOn.store(on ? 1 : 0);
    }

    static std::vector<uint8_t> Layer12WithGains(int row, const std::vector<float>& input,
                                                 const std::vector<float>& gains, bool on)
    {
        auto context = FreshContext();
        SetGains(*context, gains, on);
        return RunLayer12(*context, row, input, 12);
    }

    static std::vector<uint8_t> Layer3WithGains(int row, const std::vector<float>& granule,
                                                const std::vector<float>& gains, bool on)
    {
        auto context = FreshContext();
        SetGains(*context, gains, on);
        std::vector<uint8_t> pcm(Layer3(row).Bytes());
        for (int channel = 0; channel < Layer3(row).Channels; ++channel)
            Layer3RoutineAt(row)(*context, granule.data(), pcm.data(), channel);
        return pcm;
    }

    // Applies gains[s] to subband s of every slot (both channels of an interleaved slot).
    static std::vector<float> Scaled(const std::vector<float>& input, const std::vector<float>& gains,
                                     int slotSize, bool interleaved)
    {
        std::vector<float> scaled = input;
        for (size_t i = 0; i < scaled.size(); ++i) {
            const size_t position = i % slotSize;
            const size_t subband = interleaved ? position / 2 : position;
            if (subband < 32)
                scaled[i] *= gains[subband];
        }
        return scaled;
    }
};

TEST_F(SubbandGains, ApplyPerSubbandInFullRateRowsExceptTheMix)
{
    std::vector<float> gains(32, 1.0f);
    gains[0] = 0.5f;
    gains[3] = 2.0f;
    gains[5] = 0.0f;
    gains[31] = 4.0f;
    const std::vector<float> input = RandomValues(64 * 12, 121, 3000.0f);
    for (int row : {0, 1, 3, 4, 15, 16, 18, 19}) {
        const bool interleaved = Layer12(row).Choice != 0;
        const std::vector<float> scaled = Scaled(input, gains, 64, interleaved);
        EXPECT_EQ(Layer12WithGains(row, input, gains, true), Layer12WithGains(row, scaled, gains, false))
            << "row " << row;
        EXPECT_NE(Layer12WithGains(row, input, gains, true), Layer12WithGains(row, input, gains, false))
            << "row " << row;
    }
    const std::vector<float> granule = RandomValues(576, 122, 3000.0f);
    for (int row : {0, 1, 6, 7})
        EXPECT_EQ(Layer3WithGains(row, granule, gains, true),
                  Layer3WithGains(row, Scaled(granule, gains, 32, false), gains, false))
            << "row " << row;
}

TEST_F(SubbandGains, HaveNoEffectInMixAndReducedRateRows)
{
    const std::vector<float> gains(32, 3.0f);
    const std::vector<float> input = RandomValues(64 * 12, 131, 3000.0f);
    for (int row = 0; row < 30; ++row) {
        const Layer12Row shape = Layer12(row);
        if (shape.Reduction == 0 && shape.Choice != 2)
            continue;
        EXPECT_EQ(Layer12WithGains(row, input, gains, true), Layer12WithGains(row, input, gains, false))
            << "row " << row;
    }
    const std::vector<float> granule = RandomValues(576, 132, 3000.0f);
    for (int row : {2, 3, 4, 5, 8, 9, 10, 11})
        EXPECT_EQ(Layer3WithGains(row, granule, gains, true), Layer3WithGains(row, granule, gains, false))
            << "row " << row;
}

TEST_F(SubbandGains, UnitGainsAndTheOffSwitchLeaveThePcmUnchanged)
{
    const std::vector<float> input = RandomValues(64 * 12, 141, 3000.0f);
    const std::vector<float> unit(32, 1.0f);
    const std::vector<float> loud(32, 10.0f);
    EXPECT_EQ(Layer12WithGains(1, input, unit, true), RunLayer12Fresh(1, input, 12));
    EXPECT_EQ(Layer12WithGains(1, input, loud, false), RunLayer12Fresh(1, input, 12));
    const std::vector<float> granule = RandomValues(576, 142, 3000.0f);
    EXPECT_EQ(Layer3WithGains(1, granule, unit, true), RunLayer3Fresh(1, granule));
}

TEST_F(SubbandGains, OverloadIsClipped)
{
    const std::vector<float> loud(32, 10.0f);
    const std::vector<float> input = RandomValues(64 * 12, 151, 20000.0f);
    const std::vector<int16_t> samples = Samples16(Layer12WithGains(0, input, loud, true));
    int clipped = 0;
    for (int16_t sample : samples)
        clipped += sample == 32767 || sample == -32768 ? 1 : 0;
    EXPECT_GT(clipped, static_cast<int>(samples.size()) / 4);
}

} // namespace
} // namespace pt4
