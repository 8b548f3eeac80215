// Layer III compliance streams decoded with the player's output configuration and compared
// with their reference decodings; and the reduced outputs compared with the full decoding.
#include "decoder/support/layer12_streams.h"
#include "decoder/support/layer3_streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

namespace pt4::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Layer3Vectors()
{
    std::vector<fs::path> found;
    const fs::path folder = fs::path(PT4_SHARED_DIR) / "vectors";
    if (!fs::is_directory(folder))
        return found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() == ".bit" && (name.rfind("l3-", 0) == 0 || name.rfind("M2L3_", 0) == 0))
            found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

TEST(Layer3Conformance, EveryVectorMatchesItsReference)
{
    const std::vector<fs::path> vectors = Layer3Vectors();
    if (vectors.empty())
        GTEST_SKIP() << "no Layer III vectors under " << PT4_SHARED_DIR << "/vectors";
    for (const fs::path& stream : vectors) {
        SCOPED_TRACE(stream.filename().string());
        fs::path reference = stream;
        reference.replace_extension(".pcm");
        const Layer3Decoding decoded = DecodeLayer3Stream(ReadBinaryFile(stream.string()));
        ASSERT_TRUE(decoded.Initialised);
        EXPECT_EQ(decoded.Failures, 0);
        EXPECT_EQ(decoded.Pcm.size(), static_cast<size_t>(decoded.Frames) * decoded.Info.OutValues * 2);

        const PcmComparison comparison = ComparePcm(Pcm16(decoded.Pcm), ReadPcm16(reference.string()));
        std::printf("%-20s %4d frames  %d ch  %5d Hz  PSNR %6.1f dB  max |diff| %d\n",
                    stream.filename().string().c_str(), decoded.Frames, decoded.Info.Channels,
                    decoded.Info.SampleRate, comparison.Psnr, comparison.MaxDifference);
        // References may stop a frame early, never more.
        EXPECT_GE(comparison.Compared + static_cast<size_t>(decoded.Info.OutValues), decoded.Pcm.size() / 2);
        EXPECT_LE(comparison.MaxDifference, 1);
        EXPECT_GE(comparison.Psnr, 96.0);
    }
}

} // namespace
} // namespace pt4::test
