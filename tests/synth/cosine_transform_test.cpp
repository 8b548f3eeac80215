#include "mp3plyr/synth/cosine_transform.h"
#include "mp3plyr/synth/cosine_transform_x86.h"
#include "mp3plyr/synth/dct_cosines.h"
#include "synth/support/synthesis_reference.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace pt4 {
namespace {

TEST(DctCosines, GroupsHoldTheButterflyFactorsForEachBlockSize)
{
    const auto& cosines = DctCosines();
    const double pi = std::acos(-1.0);
    int offset = 0;
    for (int blockSize = 32; blockSize >= 2; blockSize /= 2) {
        EXPECT_EQ(DctCosineGroup(blockSize), offset);
        for (int j = 0; j < blockSize / 2; ++j) {
            const double expected = 1.0 / (2.0 * std::cos((2 * j + 1) * pi / (2.0 * blockSize)));
            EXPECT_FLOAT_EQ(cosines[offset + j], static_cast<float>(expected))
                << "M " << blockSize << " j " << j;
        }
        offset += blockSize / 2;
    }
    EXPECT_EQ(offset, 31);
    EXPECT_EQ(&DctCosines(), &cosines) << "built once and shared";
}

template <int N> void ExpectMatchesDirectTransform(const std::vector<float>& x, double tolerance)
{
    std::vector<float> out(N, -1.0f);
    CosineTransform<N>(x.data(), out.data());
    const std::vector<double> expected = test::DirectCosineTransform(x.data(), N);
    for (int k = 0; k < N; ++k)
        EXPECT_NEAR(out[k], expected[k], tolerance) << "N " << N << " k " << k;
}

template <int N> void CheckTransform()
{
    // Each unit impulse gives one cosine basis column: catches wrong recombination indices.
    for (int n = 0; n < N; ++n) {
        std::vector<float> x(N, 0.0f);
        x[n] = 1.0f;
        ExpectMatchesDirectTransform<N>(x, 2e-6);
    }
    std::mt19937 random(N);
    std::uniform_real_distribution<float> value(-32768.0f, 32768.0f);
    for (int trial = 0; trial < 50; ++trial) {
        std::vector<float> x(N);
        for (float& v : x)
            v = value(random);
        // Single-precision butterflies: error relative to the inputs' full scale.
        ExpectMatchesDirectTransform<N>(x, 32768.0 * N * 4e-7);
    }
}

TEST(CosineTransform, ThirtyTwoPointsMatchTheDirectFormula)
{
    CheckTransform<32>();
}
TEST(CosineTransform, SixteenPointsMatchTheDirectFormula)
{
    CheckTransform<16>();
}
TEST(CosineTransform, EightPointsMatchTheDirectFormula)
{
    CheckTransform<8>();
}

TEST(CosineTransform, ReadsOnlyItsNInputs)
{
    std::vector<float> x(32, 0.0f);
    for (int n = 0; n < 8; ++n)
        x[n] = static_cast<float>(n * n - 10);
    std::vector<float> out(8);
    CosineTransform<8>(x.data(), out.data());
    std::vector<float> withTail = x;
    for (int n = 8; n < 32; ++n)
        withTail[n] = 1e6f;
    std::vector<float> outWithTail(8);
    CosineTransform<8>(withTail.data(), outWithTail.data());
    EXPECT_EQ(out, outWithTail);
}

TEST(CosineTransform, EveryFormPerformsTheSameSinglePrecisionSteps)
{
    std::mt19937 random(77);
    std::uniform_real_distribution<float> value(-40000.0f, 40000.0f);
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<float> x(32);
        for (float& v : x)
            v = value(random);
        std::vector<float> portable(32);
        std::vector<float> chosen(32);
        CosineTransformPortable<32>(x.data(), portable.data());
        CosineTransform<32>(x.data(), chosen.data());
        EXPECT_EQ(chosen, portable);
        // Two at once: the input reversed and the input itself.
        std::vector<float> pair[2] = {std::vector<float>(32), std::vector<float>(32)};
        std::vector<float> reversed(x.rbegin(), x.rend());
        CosineTransformPair32(reversed.data(), x.data(), pair[0].data(), pair[1].data());
        EXPECT_EQ(pair[1], portable);
        CosineTransformPortable<32>(std::vector<float>(reversed).data(), reversed.data());
        EXPECT_EQ(pair[0], reversed);
#if PT4_X86_COSINE_TRANSFORM
        std::vector<float> vector(32);
        CosineTransform32Sse(x.data(), vector.data());
        EXPECT_EQ(vector, portable);
#endif
    }
}

} // namespace
} // namespace pt4
