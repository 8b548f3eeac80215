// The window kernels against the direct form of the step, and their conversions of the sums.
#include "mp3plyr/synth/window_step.h"
#include "mp3plyr/synth/window_step_x86.h"
#include "synth/support/synthesis_reference.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace pt4 {
namespace {

struct NamedKernel {
    std::string Name;
    TWindowKernel Kernel;
};

// Every form of the floating-point kernel for N = 32 that this processor can run.
std::vector<NamedKernel> FloatKernels32()
{
    std::vector<NamedKernel> kernels = {{"portable", WindowStepFloat<32>},
                                        {"chosen", FloatKernel32()},
                                        {"no capabilities", FullRateKernel(0)}};
#if PT4_X86_WINDOW_KERNELS
    kernels.push_back({"sse2", WindowStepFloatSse2});
    if (AvxFmaKernelSupported())
        kernels.push_back({"avx-fma", WindowStepFloatAvxFma});
#endif
    return kernels;
}

TWindowKernel FloatKernel(int bands)
{
    return bands == 32 ? WindowStepFloat<32> : bands == 16 ? WindowStepFloat<16> : WindowStepFloat<8>;
}

std::vector<float> RandomRing(int bands, unsigned seed, float amplitude)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-amplitude, amplitude);
    std::vector<float> ring(16 * bands);
    for (float& v : ring)
        v = value(random);
    return ring;
}

std::vector<int16_t> RunKernel(TWindowKernel kernel, const std::vector<float>& ring, int32_t position,
                               int bands)
{
    std::vector<int16_t> samples(bands, 12345);
    kernel(ring.data(), position, samples.data());
    return samples;
}

std::vector<int16_t> DirectSamples(const std::vector<float>& ring, int32_t position, int bands)
{
    std::vector<int16_t> samples;
    for (double sum : test::DirectWindowSums(ring.data(), position, bands))
        samples.push_back(test::RoundAndClip(sum));
    return samples;
}

TEST(FloatWindowKernel, EqualsTheDirectFormAtEveryPositionAndRate)
{
    for (int bands : {32, 16, 8}) {
        // Amplitudes that keep most sums in range and ones that clip often.
        for (float amplitude : {2000.0f, 60000.0f}) {
            const std::vector<float> ring =
                RandomRing(bands, bands * 7 + static_cast<unsigned>(amplitude), amplitude);
            for (int32_t position = 0; position < 16 * bands; position += bands)
                EXPECT_EQ(RunKernel(FloatKernel(bands), ring, position, bands),
                          DirectSamples(ring, position, bands))
                    << "N " << bands << " position " << position;
        }
    }
}

TEST(FloatWindowKernel, EveryFormGivesTheSameSamples)
{
    for (float amplitude : {1.0f, 3000.0f, 1e6f}) {
        const std::vector<float> ring = RandomRing(32, 99 + static_cast<unsigned>(amplitude), amplitude);
        for (int32_t position = 0; position < 512; position += 32) {
            const std::vector<int16_t> expected = DirectSamples(ring, position, 32);
            for (const NamedKernel& form : FloatKernels32())
                EXPECT_EQ(RunKernel(form.Kernel, ring, position, 32), expected)
                    << form.Name << " position " << position;
#if PT4_X86_WINDOW_KERNELS
            if (AvxFmaKernelSupported()) { // the two-channel form: this ring and its reverse
                std::vector<float> rings(ring);
                rings.insert(rings.end(), ring.rbegin(), ring.rend());
                std::vector<int16_t> both[2] = {std::vector<int16_t>(32), std::vector<int16_t>(32)};
                WindowStepFloatAvxFmaPair(rings.data(), position, both[0].data(), both[1].data());
                EXPECT_EQ(both[0], expected) << "pair position " << position;
                EXPECT_EQ(both[1], DirectSamples({rings.begin() + 512, rings.end()}, position, 32));
            }
#endif
        }
    }
}

TEST(FloatWindowKernel, ZeroRingGivesZeroSamples)
{
    const std::vector<float> ring(512, 0.0f);
    for (const NamedKernel& form : FloatKernels32())
        EXPECT_EQ(RunKernel(form.Kernel, ring, 96, 32), std::vector<int16_t>(32, 0)) << form.Name;
    EXPECT_EQ(RunKernel(WindowStepPairedSingle, ring, 96, 32), std::vector<int16_t>(32, 0));
}

// A ring whose only non-zero values are the first two taps of output n, with values chosen so
// that the double sum is exactly target (a multiple of 0.5): with window factors w1 = M1 2^e1
// and w2 = M2 2^e2 (M odd, coprime) the ring values V1 2^(-1-e1) and V2 2^(-1-e2) give the
// exact sum (V1 M1 + V2 M2) / 2, and V1 M1 + V2 M2 = 2 target has integer solutions.
bool ExactTieRing(int bands, int32_t position, int n, double target, std::vector<float>& ring)
{
    const std::vector<test::WindowTap> taps = test::DirectWindowTaps(bands, position, n);
    auto oddPart = [](float factor, int64_t& mantissa, int& exponent) {
        int binaryExponent = 0;
        const double fraction = std::frexp(static_cast<double>(factor), &binaryExponent);
        mantissa = static_cast<int64_t>(std::ldexp(fraction, 24));
        exponent = binaryExponent - 24;
        while (mantissa % 2 == 0) {
            mantissa /= 2;
            ++exponent;
        }
    };
    for (size_t first = 0; first < taps.size(); ++first) {
        for (size_t second = first + 1; second < taps.size(); ++second) {
            if (taps[first].Factor == 0.0f || taps[second].Factor == 0.0f)
                continue;
            int64_t m1 = 0;
            int64_t m2 = 0;
            int e1 = 0;
            int e2 = 0;
            oddPart(taps[first].Factor, m1, e1);
            oddPart(taps[second].Factor, m2, e2);
            if (std::gcd(m1, m2) != 1)
                continue;
            // Extended Euclid: x m1 + y m2 = 1.
            int64_t oldR = m1, r = m2, oldX = 1, x = 0;
            while (r != 0) {
                const int64_t q = oldR / r;
                oldR -= q * r;
                std::swap(oldR, r);
                oldX -= q * x;
                std::swap(oldX, x);
            }
            const int64_t sign = oldR < 0 ? -1 : 1;
            const auto twice = static_cast<int64_t>(2 * target);
            int64_t v1 = ((twice * oldX * sign) % m2 + std::abs(m2)) % std::abs(m2);
            const int64_t v2 = (twice - v1 * m1) / m2;
            ring.assign(16 * bands, 0.0f);
            ring[taps[first].RingIndex] = static_cast<float>(std::ldexp(static_cast<double>(v1), -1 - e1));
            ring[taps[second].RingIndex] = static_cast<float>(std::ldexp(static_cast<double>(v2), -1 - e2));
            const double sum = static_cast<double>(taps[first].Factor) * ring[taps[first].RingIndex] +
                               static_cast<double>(taps[second].Factor) * ring[taps[second].RingIndex];
            if (sum == target)
                return true;
        }
    }
    return false;
}

TEST(FloatWindowKernel, RoundsExactHalvesToEven)
{
    // Outputs from the first half, the middle and the second half of the slot.
    for (int n : {3, 16, 27}) {
        for (const auto& [target, expected] : std::vector<std::pair<double, int16_t>>{
                 {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {1.5, 2}}) {
            std::vector<float> ring;
            ASSERT_TRUE(ExactTieRing(32, 64, n, target, ring)) << "n " << n;
            for (const NamedKernel& form : FloatKernels32())
                EXPECT_EQ(RunKernel(form.Kernel, ring, 64, 32)[n], expected)
                    << form.Name << " n " << n << " sum " << target;
        }
    }
}

TEST(FloatWindowKernel, RoundsExactHalvesToEvenAtReducedRates)
{
    for (int bands : {16, 8}) {
        for (const auto& [target, expected] : std::vector<std::pair<double, int16_t>>{{2.5, 2}, {3.5, 4}}) {
            std::vector<float> ring;
            const int n = bands / 2 + 1;
            ASSERT_TRUE(ExactTieRing(bands, 0, n, target, ring));
            EXPECT_EQ(RunKernel(FloatKernel(bands), ring, 0, bands)[n], expected) << "N " << bands;
        }
    }
}

// A ring whose only non-zero value is the first tap of output n, set so the product is about sum.
std::vector<float> SingleTapRing(int bands, int32_t position, int n, double sum)
{
    const test::WindowTap tap = test::DirectWindowTaps(bands, position, n).front();
    std::vector<float> ring(16 * bands, 0.0f);
    ring[tap.RingIndex] = static_cast<float>(sum / tap.Factor);
    return ring;
}

TEST(FloatWindowKernel, ClipsToSixteenBits)
{
    for (const NamedKernel& form : FloatKernels32()) {
        EXPECT_EQ(RunKernel(form.Kernel, SingleTapRing(32, 0, 5, 40000.0), 0, 32)[5], 32767) << form.Name;
        EXPECT_EQ(RunKernel(form.Kernel, SingleTapRing(32, 0, 5, -40000.0), 0, 32)[5], -32768) << form.Name;
        EXPECT_EQ(RunKernel(form.Kernel, SingleTapRing(32, 0, 20, 1e12), 0, 32)[20], 32767) << form.Name;
        EXPECT_EQ(RunKernel(form.Kernel, SingleTapRing(32, 0, 20, -1e12), 0, 32)[20], -32768) << form.Name;
        EXPECT_EQ(RunKernel(form.Kernel, SingleTapRing(32, 0, 16, 32767.2), 0, 32)[16], 32767) << form.Name;
        EXPECT_EQ(RunKernel(form.Kernel, SingleTapRing(32, 0, 16, -32768.4), 0, 32)[16], -32768) << form.Name;
    }
}

TEST(PairedSingleKernel, TruncatesTowardZero)
{
    for (int n : {3, 16, 27}) {
        for (const auto& [sum, expected] : std::vector<std::pair<double, int16_t>>{
                 {2.5, 2}, {3.5, 3}, {2.9, 2}, {-2.5, -2}, {-3.5, -3}, {-0.9, 0}}) {
            const std::vector<float> ring = SingleTapRing(32, 128, n, sum);
            EXPECT_EQ(RunKernel(WindowStepPairedSingle, ring, 128, 32)[n], expected)
                << "n " << n << " sum " << sum;
        }
    }
    // The same kind of sums round in the floating-point kernel.
    EXPECT_EQ(RunKernel(WindowStepFloat<32>, SingleTapRing(32, 128, 3, 2.9), 128, 32)[3], 3);
}

TEST(PairedSingleKernel, Saturates)
{
    EXPECT_EQ(RunKernel(WindowStepPairedSingle, SingleTapRing(32, 0, 5, 40000.0), 0, 32)[5], 32767);
    EXPECT_EQ(RunKernel(WindowStepPairedSingle, SingleTapRing(32, 0, 5, -40000.0), 0, 32)[5], -32768);
    // Beyond the 32-bit range the conversion saturates first, then the 16-bit step.
    EXPECT_EQ(RunKernel(WindowStepPairedSingle, SingleTapRing(32, 0, 30, 1e12), 0, 32)[30], 32767);
    EXPECT_EQ(RunKernel(WindowStepPairedSingle, SingleTapRing(32, 0, 30, -1e12), 0, 32)[30], -32768);
}

TEST(PairedSingleKernel, StaysWithinOneOfTheFloatingPointKernel)
{
    // Differences come only from truncation and single-precision sums, so signals of moderate
    // size stay within 1 and reading a wrong tap or window row would show at once.
    int differing = 0;
    for (int32_t position = 0; position < 512; position += 32) {
        const std::vector<float> ring = RandomRing(32, 1000 + position, 3000.0f);
        const std::vector<int16_t> paired = RunKernel(WindowStepPairedSingle, ring, position, 32);
        const std::vector<double> sums = test::DirectWindowSums(ring.data(), position, 32);
        for (int n = 0; n < 32; ++n) {
            const double truncated = std::trunc(sums[n]);
            EXPECT_LE(std::abs(paired[n] - truncated), 1.0) << "position " << position << " n " << n;
            differing += paired[n] != test::RoundAndClip(sums[n]) ? 1 : 0;
        }
    }
    EXPECT_GT(differing, 0) << "truncation differs from rounding for about half the samples";
}

} // namespace
} // namespace pt4
