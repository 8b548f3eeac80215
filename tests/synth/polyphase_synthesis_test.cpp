// The whole synthesis (transform step, ring, window step) against the standard's filter bank.
#include "mp3plyr/synth/output_routines.h"
#include "mp3plyr/synth/synthesis_window.h"
#include "synth/support/output_rows.h"
#include "synth/support/synthesis_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace pt4 {
namespace {

TEST(SynthesisWindow, HoldsTheStandardWindowInItsRowOrder)
{
    const std::vector<double>& d = test::StandardWindow();
    for (int r = 0; r < 16; ++r) {
        for (int j = 0; j < 8; ++j) {
            EXPECT_EQ(SynthesisWindow[16 * r + 2 * j], static_cast<float>(d[64 * j + r])) << "row " << r;
            EXPECT_EQ(SynthesisWindow[16 * r + 2 * j + 1], static_cast<float>(d[64 * j + 32 + r]))
                << "row " << r;
        }
    }
    for (int j = 0; j < 8; ++j)
        EXPECT_EQ(SynthesisWindow[256 + j], static_cast<float>(-d[64 * j + 48])) << "middle " << j;
}

std::vector<float> RandomGranules(int slots, unsigned seed, float amplitude)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-amplitude, amplitude);
    std::vector<float> samples(32 * slots);
    for (float& v : samples)
        v = value(random);
    return samples;
}

int16_t Sample16(const std::vector<uint8_t>& pcm, size_t index)
{
    int16_t value = 0;
    std::memcpy(&value, pcm.data() + 2 * index, 2);
    return value;
}

// Runs one-channel 16-bit Layer III rows over consecutive granules and compares every sample
// with the standard's synthesis rounded to an integer.
void CompareWithStandard(int row, int bands, float amplitude)
{
    const int granules = 6;
    const std::vector<float> input = RandomGranules(18 * granules, 7 * bands, amplitude);
    auto context = std::make_unique<SynthesisContext>();
    ResetSynthesis(context->Synthesis);
    std::vector<uint8_t> pcm(2 * 18 * bands * granules);
    for (int g = 0; g < granules; ++g)
        Layer3RoutineAt(row)(*context, input.data() + 576 * g, pcm.data() + 2 * 18 * bands * g, 0);

    test::StandardSynthesis standard(bands);
    int exact = 0;
    int total = 0;
    double largest = 0.0;
    for (int t = 0; t < 18 * granules; ++t) {
        std::vector<double> subbands(bands);
        for (int s = 0; s < bands; ++s)
            subbands[s] = input[32 * t + s];
        if (bands == 16)
            subbands[15] = 0.0; // the 16-band bank never uses subband 15
        const std::vector<double> expected = standard.Slot(subbands);
        for (int n = 0; n < bands; ++n) {
            const double reference = std::nearbyint(std::fmin(std::fmax(expected[n], -32768.0), 32767.0));
            const int16_t decoded = Sample16(pcm, static_cast<size_t>(t) * bands + n);
            ASSERT_LE(std::abs(decoded - reference), 1.0)
                << "N " << bands << " slot " << t << " sample " << n << " reference " << expected[n];
            exact += decoded == reference ? 1 : 0;
            ++total;
            largest = std::fmax(largest, std::fabs(expected[n]));
        }
    }
    EXPECT_GT(largest, 1000.0) << "the signal must be large enough to show a polarity or index error";
    EXPECT_GE(exact, total * 95 / 100);
}

TEST(PolyphaseSynthesis, FullRateMatchesTheStandardFilterBank)
{
    CompareWithStandard(0, 32, 3000.0f);
}
TEST(PolyphaseSynthesis, HalfRateMatchesASixteenBandFilterBank)
{
    CompareWithStandard(2, 16, 3000.0f);
}
TEST(PolyphaseSynthesis, QuarterRateMatchesAnEightBandFilterBank)
{
    CompareWithStandard(4, 8, 3000.0f);
}

TEST(PolyphaseSynthesis, ConstantFirstSubbandGivesPositiveOutput)
{
    // The standard's synthesis turns a positive DC value in subband 0 into positive samples.
    std::vector<float> input(576, 0.0f);
    for (int t = 0; t < 18; ++t)
        input[32 * t] = 1000.0f;
    auto context = std::make_unique<SynthesisContext>();
    ResetSynthesis(context->Synthesis);
    std::vector<uint8_t> pcm(2 * 576 * 2);
    Layer3RoutineAt(0)(*context, input.data(), pcm.data(), 0);
    Layer3RoutineAt(0)(*context, input.data(), pcm.data() + 1152, 0);
    for (size_t i = 576; i < 1152; ++i)
        EXPECT_GT(Sample16(pcm, i), 0) << "sample " << i;
}

} // namespace
} // namespace pt4
