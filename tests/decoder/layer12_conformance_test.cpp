// Layer I and II streams decoded with the player's output configuration and compared with
// reference decodings: the standard's compliance streams and the encoder-made fixtures.
#include "decoder/support/layer12_streams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace pt4::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kMaxDifference = 1;
constexpr double kMinPsnr = 96.0;

// Decodes `stream`, checks that every frame was decoded and gave one frame of PCM, and compares
// with `reference` over the common length.
void ExpectMatchesReference(const fs::path& stream, const fs::path& reference, int32_t valuesPerFrame)
{
    SCOPED_TRACE(stream.filename().string());
    const DecodedStream decoded = DecodeStream(ReadBinaryFile(stream.string()));
    ASSERT_TRUE(decoded.Initialised);
    ASSERT_GT(decoded.Frames, 0);
    EXPECT_EQ(decoded.Failures, 0);
    EXPECT_EQ(decoded.Pcm.size(), size_t(decoded.Frames) * size_t(valuesPerFrame * decoded.Channels));

    const std::vector<int16_t> expected = ReadPcm16(reference.string());
    const PcmComparison comparison = ComparePcm(decoded.Pcm, expected);
    std::printf("%-24s %4d frames  %d ch  %6d Hz  PSNR %6.1f dB  max |diff| %d\n",
                stream.filename().string().c_str(), decoded.Frames, decoded.Channels, decoded.SampleRate,
                comparison.Psnr, comparison.MaxDifference);
    // A reference may run longer than the stream decodes, never much shorter.
    EXPECT_GE(comparison.Compared + size_t(valuesPerFrame * decoded.Channels), decoded.Pcm.size());
    EXPECT_LE(comparison.MaxDifference, kMaxDifference);
    EXPECT_GE(comparison.Psnr, kMinPsnr);
}

int32_t ValuesPerFrame(const fs::path& stream)
{
    const std::string name = stream.filename().string();
    return name.rfind("l1", 0) == 0 ? 384 : 1152;
}

TEST(Layer12Conformance, ComplianceStreamsMatchTheirReferences)
{
    const fs::path vectors = fs::path(PT4_TEST_DATA_DIR) / "vectors";
    const char* names[] = {"l1-fl1",  "l1-fl2",  "l1-fl3",  "l1-fl4",   "l1-fl5",  "l1-fl6",
                           "l1-fl7",  "l1-fl8",  "l2-fl10", "l2-fl11",  "l2-fl12", "l2-fl13",
                           "l2-fl14", "l2-fl15", "l2-fl16", "l2-test32"};
    int found = 0;
    for (const char* name : names) {
        const fs::path stream = vectors / (std::string(name) + ".bit");
        const fs::path reference = vectors / (std::string(name) + ".pcm");
        ASSERT_TRUE(fs::exists(stream) && fs::exists(reference)) << "missing vector " << name;
        ++found;
        ExpectMatchesReference(stream, reference, ValuesPerFrame(stream));
    }
    EXPECT_EQ(found, 16);
}

TEST(Layer12Conformance, EncodedFixturesMatchTheirReferences)
{
    const fs::path folder = fs::path(PT4_SOURCE_DIR) / "tests" / "fixtures" / "layer12";
    int found = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const fs::path stream = entry.path();
        if (stream.extension() != ".mp1" && stream.extension() != ".mp2")
            continue;
        ++found;
        fs::path reference = stream;
        reference.replace_extension(".pcm");
        ExpectMatchesReference(stream, reference, stream.extension() == ".mp1" ? 384 : 1152);
    }
    EXPECT_GE(found, 20) << "fixtures missing: run scripts/make_layer12_fixtures.sh";
}

} // namespace
} // namespace pt4::test
