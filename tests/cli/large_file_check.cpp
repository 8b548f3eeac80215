// Sizes past 2 GiB: a 2.5 GiB file of a short clip joined many times (behind a hole, which
// costs no disk space) is measured by `pt4 info` and plays from a seek past 2 GiB as the same
// clip does there; MPEG audio after more than 2 GiB of zero bytes on standard input is found.
#include "cli/support/pt4_run.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pt4 {
namespace {

using namespace pt4::test;
namespace fs = std::filesystem;

// 128 kbit/s, 44.1 kHz stereo, no VBR header: every copy decodes alike.
const std::string kClip = std::string(PT4_TEST_DATA_DIR) + "/fixtures/layer3/l3_44k_joint_128.mp3";
constexpr int64_t kHole = int64_t{7} << 28;     // 1.75 GiB of zero bytes before the first frame
constexpr int64_t kSize = int64_t{5} << 29;     // 2.5 GiB in all
constexpr int64_t kFrameBytes = 1152 * 4;       // PCM bytes per frame
constexpr int64_t kCompared = 10 * kFrameBytes; // ten frames of PCM

class LargeFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("pt4-large-" + std::to_string(getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path folder;
};

// The time (seconds, for --start) at which a seek lands on `frame`: seeks land on the first
// frame that starts at or after the time.
std::string FrameTime(int64_t frame)
{
    const int64_t ms = frame * 1152 * 1000 / 44100;
    const std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    return std::to_string(ms / 1000) + "." + fraction;
}

TEST_F(LargeFile, PlaysSeeksAndMeasuresPastTwoGibibytes)
{
    std::ifstream in(kClip, std::ios::binary);
    const std::vector<char> clip{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(clip.empty());
    const auto clipBytes = int64_t(clip.size());
    const int64_t copies = (kSize - kHole) / clipBytes;
    const fs::path big = folder / "big.mp3";
    {
        std::ofstream(big).close();
        fs::resize_file(big, uintmax_t(kHole));
        std::ofstream out(big, std::ios::binary | std::ios::app);
        std::vector<char> block;
        for (int i = 0; i < 1024; ++i)
            block.insert(block.end(), clip.begin(), clip.end());
        for (int64_t written = 0; written < copies; written += 1024) {
            const int64_t now = std::min<int64_t>(1024, copies - written);
            out.write(block.data(), std::streamsize(now * clipBytes));
        }
        ASSERT_TRUE(out.good());
    }
    const int64_t bigSize = kHole + copies * clipBytes;
    ASSERT_GT(bigSize, int64_t{9} << 28);
    const fs::path two = folder / "two.mp3";
    {
        std::ofstream out(two, std::ios::binary);
        out.write(clip.data(), std::streamsize(clip.size()));
        out.write(clip.data(), std::streamsize(clip.size()));
    }
    const Pt4Result decoded = RunPt4("decode --raw " + ShellWord(kClip) + " -o -", folder);
    ASSERT_EQ(decoded.status, 0) << decoded.err;
    ASSERT_EQ(decoded.out.size() % kFrameBytes, 0u);
    const auto clipFrames = int64_t(decoded.out.size()) / kFrameBytes;

    // A frame some way past 2 GiB, and the frame at the same place of the second copy in two.mp3.
    const int64_t copy = ((int64_t{1} << 31) - kHole) / clipBytes + 10;
    const int64_t frameInCopy = 5;
    const auto seek = [&](const fs::path& file, int64_t frame) {
        return RunPipeline("\"$PT4\" decode --raw --start " + FrameTime(frame) + " " +
                               ShellWord(file.string()) + " -o - | head -c " + std::to_string(kCompared),
                           folder, 120);
    };
    const Pt4Result expected = seek(two, clipFrames + frameInCopy);
    ASSERT_EQ(expected.out.size(), size_t(kCompared)) << expected.err;

    const Pt4Result info = RunPt4("info --json " + ShellWord(big.string()), folder, 300);
    const nlohmann::json report = nlohmann::json::parse(info.out.empty() ? "{}" : info.out, nullptr, false);
    const Pt4Result played = seek(big, copy * clipFrames + frameInCopy);
    const Pt4Result piped = RunPipeline("(head -c 2200000000 /dev/zero; cat " + ShellWord(kClip) +
                                            ") | \"$PT4\" decode --raw - -o -",
                                        folder, 300);

    const struct {
        const char* what;
        bool holds;
        std::string said;
    } rows[] = {
        {"info measures the whole file", report.value("data_length", int64_t{0}) == bigSize, info.err},
        {"info finds the first frame past the hole",
         report.contains("first_frame") && report["first_frame"].value("offset", int64_t{0}) == kHole,
         info.err},
        {"info gives the length of every copy",
         report.value("length_ms", int64_t{0}) == copies * clipFrames * 1152 * 1000 / 44100,
         info.out.substr(0, 400) + info.err},
        {"a seek past 2 GiB plays what the clip plays there", played.out == expected.out, played.err},
        {"audio after 2.2 GB of zero bytes on standard input is found", piped.out == decoded.out, piped.err},
    };
    for (const auto& row : rows)
        EXPECT_TRUE(row.holds) << row.what << ": " << row.said;
}

} // namespace
} // namespace pt4
