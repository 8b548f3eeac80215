#include "mp3plyr/synth/cpu_capabilities.h"
#include "mp3plyr/synth/output_routines.h"
#include "mp3plyr/synth/window_step.h"
#include "synth/support/output_rows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace pt4 {
namespace {

constexpr uint32_t kMmxFeature = 1u << 23;
constexpr uint32_t kPackedFloatFeature = 1u << 31;

TEST(CapabilityDetection, ReadsTheTwoFeatureBits)
{
    ProcessorIdentification both;
    both.HasIdentification = true;
    both.StandardFeatures = kMmxFeature | 0x1;
    both.MaxExtendedLeaf = 0x80000008u;
    both.ExtendedFeatures = kPackedFloatFeature | kMmxFeature;
    EXPECT_EQ(CapabilitiesFrom(both), kCapabilityMMX | kCapability3DNow);

    ProcessorIdentification mmxOnly = both;
    mmxOnly.ExtendedFeatures = kMmxFeature;
    EXPECT_EQ(CapabilitiesFrom(mmxOnly), kCapabilityMMX);

    ProcessorIdentification packedFloatOnly = both;
    packedFloatOnly.StandardFeatures = 0;
    EXPECT_EQ(CapabilitiesFrom(packedFloatOnly), kCapability3DNow);
}

TEST(CapabilityDetection, IgnoresExtendedFeaturesBeyondTheReportedLeaf)
{
    ProcessorIdentification identification;
    identification.HasIdentification = true;
    identification.StandardFeatures = kMmxFeature;
    identification.MaxExtendedLeaf = 0x80000000u;
    identification.ExtendedFeatures = kPackedFloatFeature;
    EXPECT_EQ(CapabilitiesFrom(identification), kCapabilityMMX);
}

TEST(CapabilityDetection, ProcessorWithoutIdentificationHasNothing)
{
    ProcessorIdentification identification;
    identification.StandardFeatures = kMmxFeature;
    identification.MaxExtendedLeaf = 0x80000001u;
    identification.ExtendedFeatures = kPackedFloatFeature;
    EXPECT_EQ(CapabilitiesFrom(identification), 0u);
}

TEST(CapabilityDetection, NeverReportsTheUndetectedMembers)
{
    ProcessorIdentification identification;
    identification.HasIdentification = true;
    identification.StandardFeatures = 0xffffffffu;
    identification.MaxExtendedLeaf = 0xffffffffu;
    identification.ExtendedFeatures = 0xffffffffu;
    EXPECT_EQ(CapabilitiesFrom(identification), kCapabilityMMX | kCapability3DNow);
    EXPECT_EQ(DetectCapabilities() & (kCapabilityKNI | kCapabilityE3DNow), 0u);
}

TEST(CapabilityDetection, IdentifiesTheProcessorOnceAndAgreesWithIt)
{
    const uint32_t first = DetectCapabilities();
    auto context = std::make_unique<SynthesisContext>();
    SelectCapabilities(*context, 15);
    SelectCapabilities(*context, 1);
    EXPECT_EQ(DetectCapabilities(), first);
    EXPECT_EQ(first, CapabilitiesFrom(IdentifyProcessor()));
#if defined(__x86_64__)
    EXPECT_NE(first & kCapabilityMMX, 0u) << "every 64-bit x86 processor has MMX";
#endif
}

TEST(CapabilitySelection, ActiveSetIsTheRequestWithinTheDetectedSet)
{
    auto context = std::make_unique<SynthesisContext>();
    EXPECT_EQ(context->ActiveCapabilities.load(), 0u) << "no extension until the first selection";
    const uint32_t detected = DetectCapabilities();

    SelectCapabilities(*context, 15);
    EXPECT_EQ(context->ActiveCapabilities.load(), detected);
    SelectCapabilities(*context, 0);
    EXPECT_EQ(context->ActiveCapabilities.load(), 0u);
    SelectCapabilities(*context, kCapabilityMMX);
    EXPECT_EQ(context->ActiveCapabilities.load(), detected & kCapabilityMMX);
    SelectCapabilities(*context, kCapabilityKNI | kCapabilityE3DNow);
    EXPECT_EQ(context->ActiveCapabilities.load(), 0u);
}

TEST(CapabilitySelection, OnlyThePackedFloatBitPicksThePairedKernel)
{
    for (uint32_t active = 0; active < 16; ++active) {
        const TWindowKernel expected =
            (active & kCapability3DNow) != 0 ? WindowStepPairedSingle : FloatKernel32();
        EXPECT_EQ(FullRateKernel(active), expected) << "active set " << active;
    }
    // The requests of the selection tests give the floating-point kernel on any processor.
    for (uint32_t request : {0u, kCapabilityMMX, kCapabilityKNI | kCapabilityE3DNow}) {
        auto context = std::make_unique<SynthesisContext>();
        SelectCapabilities(*context, request);
        EXPECT_EQ(FullRateKernel(context->ActiveCapabilities.load()), FloatKernel32())
            << "request " << request;
    }
}

// The output routines look the kernel up per slot: setting the active set between granules
// switches the arithmetic from the next granule on.
TEST(CapabilitySelection, RoutinesFollowTheActiveSetFromTheNextCall)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> value(-2000.0f, 2000.0f);
    std::vector<float> granule(576);
    for (float& v : granule)
        v = value(random);

    // Same history for both runs; only the active set differs.
    auto floating = std::make_unique<SynthesisContext>();
    auto paired = std::make_unique<SynthesisContext>();
    ResetSynthesis(floating->Synthesis);
    ResetSynthesis(paired->Synthesis);
    std::vector<uint8_t> floatingPcm(1152);
    std::vector<uint8_t> pairedPcm(1152);
    Layer3RoutineAt(0)(*floating, granule.data(), floatingPcm.data(), 0);
    Layer3RoutineAt(0)(*paired, granule.data(), pairedPcm.data(), 0);
    EXPECT_EQ(floatingPcm, pairedPcm);

    paired->ActiveCapabilities.store(kCapabilityMMX | kCapability3DNow);
    const SynthesisState before = paired->Synthesis;
    Layer3RoutineAt(0)(*floating, granule.data(), floatingPcm.data(), 0);
    Layer3RoutineAt(0)(*paired, granule.data(), pairedPcm.data(), 0);
    EXPECT_NE(floatingPcm, pairedPcm);

    // What the routine wrote is exactly the paired kernel over the same ring.
    std::vector<float> ring(paired->Synthesis.History.begin(), paired->Synthesis.History.begin() + 512);
    int32_t position = before.Position0;
    for (int t = 0; t < 18; ++t)
        position = (position - 32) & 511;
    // The last slot is the one stored at position + 32.
    int16_t expected[32];
    WindowStepPairedSingle(ring.data(), (position + 32) & 511, expected);
    EXPECT_EQ(std::memcmp(expected, pairedPcm.data() + 2 * 32 * 17, sizeof expected), 0);
}

} // namespace
} // namespace pt4
