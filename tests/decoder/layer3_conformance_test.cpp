// Layer III compliance streams decoded with the player's output configuration and compared
// with their reference decodings; and the reduced outputs compared with the full decoding.
#include "decoder/support/layer12_streams.h"
#include "decoder/support/layer3_frame_writer.h"
#include "decoder/support/layer3_streams.h"

#include "mp3plyr/decoder/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace pt4::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Layer3Vectors()
{
    std::vector<fs::path> found;
    const fs::path folder = fs::path(PT4_TEST_DATA_DIR) / "vectors";
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
    ASSERT_EQ(vectors.size(), 10u) << "Layer III vectors missing under " << PT4_TEST_DATA_DIR << "/vectors";
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

TEST(Layer3Conformance, EncodedFixturesMatchTheirReferences)
{
    // Mid/side stereo, channels with different block types, MPEG-2 and MPEG-2.5 rates.
    const fs::path folder = fs::path(PT4_SOURCE_DIR) / "tests" / "fixtures" / "layer3";
    int found = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".mp3")
            continue;
        ++found;
        SCOPED_TRACE(entry.path().filename().string());
        fs::path reference = entry.path();
        reference.replace_extension(".pcm");
        const Layer3Decoding decoded = DecodeLayer3Stream(ReadBinaryFile(entry.path().string()));
        ASSERT_TRUE(decoded.Initialised);
        EXPECT_EQ(decoded.Failures, 0);
        const std::vector<int16_t> expected = ReadPcm16(reference.string());
        EXPECT_EQ(decoded.Pcm.size() / 2, expected.size());
        const PcmComparison comparison = ComparePcm(Pcm16(decoded.Pcm), expected);
        std::printf("%-24s %4d frames  %d ch  %5d Hz  PSNR %6.1f dB  max |diff| %d\n",
                    entry.path().filename().string().c_str(), decoded.Frames, decoded.Info.Channels,
                    decoded.Info.SampleRate, comparison.Psnr, comparison.MaxDifference);
        EXPECT_LE(comparison.MaxDifference, 1);
        EXPECT_GE(comparison.Psnr, 96.0);
    }
    EXPECT_GE(found, 6) << "fixtures missing: run scripts/make_layer3_fixtures.sh";
}

// The two-channel streams used for the reduced outputs.
std::vector<fs::path> StereoStreams()
{
    const fs::path fixtures = fs::path(PT4_SOURCE_DIR) / "tests" / "fixtures" / "layer3";
    return {fixtures / "l3_44k_joint_128.mp3", fixtures / "l3_44k_stereo_blocks.mp3",
            fixtures / "l3_22k_joint_64.mp3", fixtures / "l3_11k_stereo_32.mp3"};
}

std::vector<int16_t> ChannelOf(const std::vector<int16_t>& stereo, size_t channel)
{
    std::vector<int16_t> out;
    for (size_t i = channel; i < stereo.size(); i += 2)
        out.push_back(stereo[i]);
    return out;
}

TEST(Layer3ReducedOutput, SingleChannelsEqualTheChannelsOfTheStereoDecoding)
{
    for (const fs::path& path : StereoStreams()) {
        SCOPED_TRACE(path.filename().string());
        const std::vector<uint8_t> stream = ReadBinaryFile(path.string());
        const std::vector<int16_t> stereo = Pcm16(DecodeLayer3Stream(stream).Pcm);
        const Layer3Decoding left = DecodeLayer3Stream(stream, 0, 2);
        const Layer3Decoding right = DecodeLayer3Stream(stream, 0, 3);
        ASSERT_EQ(left.Info.Channels, 1);
        EXPECT_EQ(Pcm16(left.Pcm), ChannelOf(stereo, 0));
        EXPECT_EQ(Pcm16(right.Pcm), ChannelOf(stereo, 1));
    }
}

// Each channel's PCM was rounded on its own, so the halved sum is within one step of the mix.
void ExpectMixIsHalvedSum(const std::vector<uint8_t>& stream)
{
    const std::vector<int16_t> stereo = Pcm16(DecodeLayer3Stream(stream).Pcm);
    const Layer3Decoding mix = DecodeLayer3Stream(stream, 0, 1);
    ASSERT_EQ(mix.Info.Channels, 1);
    ASSERT_EQ(mix.Failures, 0);
    const std::vector<int16_t> mono = Pcm16(mix.Pcm);
    ASSERT_EQ(mono.size() * 2, stereo.size());
    for (size_t i = 0; i < mono.size(); ++i)
        ASSERT_LE(std::abs(2 * mono[i] - (stereo[2 * i] + stereo[2 * i + 1])), 3) << i;
}

TEST(Layer3ReducedOutput, MixEqualsTheHalvedSumWhenBothChannelsShareTheirWindows)
{
    // Encoders give both channels the same block types: the mix adds the lines and
    // transforms once.
    for (const fs::path& path : StereoStreams()) {
        SCOPED_TRACE(path.filename().string());
        ExpectMixIsHalvedSum(ReadBinaryFile(path.string()));
    }
}

TEST(Layer3ReducedOutput, MixEqualsTheHalvedSumWhenTheChannelsUseDifferentWindows)
{
    // Left: start, short, stop ...; right: long (mixed in one frame), with content up to a
    // higher subband than the left. The mix transforms each channel with its own window and
    // adds the second into the first; the second channel's subbands must count as well.
    const int32_t leftTypes[] = {1, 2, 2, 3, 1, 2, 3, 3, 2, 3};
    std::vector<uint8_t> stream;
    for (int frame = 0; frame < 5; ++frame) {
        FrameSpec spec = ToneFrame(0, PatternQuads(96, 20 + frame), PatternQuads(160, 40 + frame));
        for (int g = 0; g < 2; ++g) {
            spec.Granules[g][0].BlockType = leftTypes[2 * frame + g];
            if (frame == 3) {
                spec.Granules[g][1].BlockType = 2;
                spec.Granules[g][1].MixedBlock = 1;
            }
        }
        const std::vector<uint8_t> bytes = BuildLayer3Frame(spec);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    ExpectMixIsHalvedSum(stream);
}

TEST(Layer3ReducedOutput, EightBitOutputIsTheHighByteOfTheSixteenBitOutput)
{
    for (const fs::path& path : StereoStreams()) {
        SCOPED_TRACE(path.filename().string());
        const std::vector<uint8_t> stream = ReadBinaryFile(path.string());
        const std::vector<int16_t> wide = Pcm16(DecodeLayer3Stream(stream).Pcm);
        const Layer3Decoding narrow = DecodeLayer3Stream(stream, 0, 8);
        ASSERT_EQ(narrow.Info.Bits, 8);
        ASSERT_EQ(narrow.Pcm.size(), wide.size());
        for (size_t i = 0; i < wide.size(); ++i)
            ASSERT_EQ(narrow.Pcm[i], static_cast<uint8_t>((wide[i] >> 8) + 128)) << i;
    }
}

} // namespace
} // namespace pt4::test
