// Every conformance vector and encoder-made fixture through the frame loop that `pt4 decode`
// and the player run (containers, resynchronisation, VBR header frames and all), compared with
// its reference decoding.
#include "support/player_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace pt4 {
namespace {

using namespace pt4::testing;
namespace fs = std::filesystem;

struct Comparison {
    size_t compared = 0;
    int maxDifference = 0;
    double psnr = 0;
};

Comparison Compare(const std::vector<uint8_t>& decoded, const std::vector<uint8_t>& reference)
{
    Comparison c;
    c.compared = std::min(decoded.size(), reference.size()) / 2;
    double squares = 0;
    for (size_t i = 0; i < c.compared; ++i) {
        const int a = int16_t(decoded[2 * i] | decoded[2 * i + 1] << 8);
        const int b = int16_t(reference[2 * i] | reference[2 * i + 1] << 8);
        c.maxDifference = std::max(c.maxDifference, std::abs(a - b));
        squares += double(a - b) * (a - b);
    }
    const double mean = c.compared ? squares / double(c.compared) : 0;
    c.psnr = mean > 0 ? 10 * std::log10(32767.0 * 32767.0 / mean) : 999;
    return c;
}

// PCM bytes the stream's frames decode to: frames × samples per frame × channels × 2.
size_t ExpectedBytes(const std::vector<uint8_t>& stream)
{
    const auto frames = SplitFrames(stream);
    if (frames.empty())
        return 0;
    const uint8_t layerBits = (frames[0][1] >> 1) & 3;
    const bool mpeg1 = frames[0][1] & 0x08;
    const size_t samples = layerBits == 3 ? 384 : layerBits == 2 ? 1152 : (mpeg1 ? 1152 : 576);
    const size_t channels = (frames[0][3] >> 6) == 3 ? 1 : 2;
    return frames.size() * samples * channels * 2;
}

std::vector<fs::path> Files(const fs::path& folder, const std::vector<std::string>& extensions)
{
    std::vector<fs::path> files;
    if (!fs::is_directory(folder))
        return files;
    for (const auto& entry : fs::directory_iterator(folder))
        for (const auto& extension : extensions)
            if (entry.path().extension() == extension)
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

void Check(const fs::path& stream, bool referenceMayRunLonger)
{
    SCOPED_TRACE(stream.filename().string());
    fs::path reference = stream;
    reference.replace_extension(".pcm");
    const std::vector<uint8_t> bytes = ReadFileBytes(stream.string());
    const std::vector<uint8_t> decoded = DecodeAll(bytes, false);
    const std::vector<uint8_t> expected = ReadFileBytes(reference.string());
    const Comparison c = Compare(decoded, expected);
    std::printf("%-28s PSNR %6.1f dB  max |diff| %d\n", stream.filename().string().c_str(), c.psnr,
                c.maxDifference);
    EXPECT_LE(c.maxDifference, 1);
    EXPECT_GE(c.psnr, 96.0);
    if (referenceMayRunLonger) {
        // Compliance references may run on past the stream or stop a frame early: the decoded
        // length is checked against the frame count instead.
        EXPECT_EQ(decoded.size(), ExpectedBytes(bytes));
    } else {
        EXPECT_EQ(decoded.size(), expected.size());
    }
}

TEST(FrameLoopConformance, ComplianceVectors)
{
    const fs::path folder = fs::path(PT4_TEST_DATA_DIR) / "vectors";
    const auto vectors = Files(folder, {".bit"});
    ASSERT_EQ(vectors.size(), 26u) << "conformance vectors missing in " << folder;
    for (const auto& vector : vectors)
        Check(vector, true);
}

TEST(FrameLoopConformance, EncoderMadeFixtures)
{
    const fs::path fixtures = fs::path(PT4_SOURCE_DIR) / "tests" / "fixtures";
    size_t count = 0;
    for (const char* folder : {"layer3", "layer12", "tagged"})
        for (const auto& file : Files(fixtures / folder, {".mp3", ".mp2", ".mp1"})) {
            Check(file, false);
            ++count;
        }
    EXPECT_GE(count, 40u);
}

} // namespace
} // namespace pt4
