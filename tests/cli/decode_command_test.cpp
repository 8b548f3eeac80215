// `pt4 decode`: the WAVE or raw output, the options mapped onto the decoder, and failures.
#include "input/support/tag_builder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pt4 {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Le32(const Bytes& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint16_t Le16(const Bytes& b, size_t at)
{
    return uint16_t(b[at] | b[at + 1] << 8);
}

struct Wave {
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
    Bytes pcm;
};

// Checks the header against the file it heads.
Wave ParseWave(const Bytes& file)
{
    Wave wave;
    EXPECT_GE(file.size(), 44u);
    if (file.size() < 44)
        return wave;
    EXPECT_EQ(std::memcmp(file.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(file.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(std::memcmp(file.data() + 36, "data", 4), 0);
    EXPECT_EQ(Le32(file, 4), file.size() - 8);
    EXPECT_EQ(Le32(file, 40), file.size() - 44);
    wave.channels = Le16(file, 22);
    wave.rate = Le32(file, 24);
    wave.bits = Le16(file, 34);
    EXPECT_EQ(Le32(file, 28), wave.rate * wave.channels * wave.bits / 8);
    wave.pcm.assign(file.begin() + 44, file.end());
    return wave;
}

class DecodeCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("pt4-decode-" + std::to_string(getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    int Pt4(const std::string& args, std::string* err = nullptr)
    {
        const fs::path errFile = folder / "stderr.txt";
        const std::string command =
            std::string(PT4_BINARY_DIR) + "/bin/pt4 decode " + args + " 2>" + errFile.string();
        const int status = std::system(command.c_str());
        if (err) {
            const Bytes text = ReadBytes(errFile);
            err->assign(text.begin(), text.end());
        }
        return WEXITSTATUS(status);
    }

    std::string Out(const std::string& name) const { return (folder / name).string(); }

    const std::string demo = std::string(PT4_SOURCE_DIR) + "/demo/demo.mp3";
    fs::path folder;
};

TEST_F(DecodeCommand, WaveAndRawHoldTheSamePcm)
{
    ASSERT_EQ(Pt4("--no-gapless " + demo + " -o " + Out("a.wav")), 0);
    const Wave wave = ParseWave(ReadBytes(Out("a.wav")));
    EXPECT_EQ(wave.channels, 2);
    EXPECT_EQ(wave.rate, 44100u);
    EXPECT_EQ(wave.bits, 16);
    EXPECT_EQ(wave.pcm.size() % 4608, 0u); // whole frames
    EXPECT_GT(wave.pcm.size(), 44100u * 4 * 7);

    ASSERT_EQ(Pt4("--no-gapless --raw " + demo + " -o " + Out("a.raw")), 0);
    EXPECT_EQ(ReadBytes(Out("a.raw")), wave.pcm);

    ASSERT_EQ(Pt4("--no-gapless --raw " + demo + " -o - > " + Out("stdout.raw")), 0);
    EXPECT_EQ(ReadBytes(Out("stdout.raw")), wave.pcm);
}

TEST_F(DecodeCommand, OptionsShapeTheOutput)
{
    ASSERT_EQ(Pt4(demo + " -o " + Out("full.wav")), 0);
    const Wave full = ParseWave(ReadBytes(Out("full.wav")));

    ASSERT_EQ(Pt4("--left " + demo + " -o " + Out("left.wav")), 0);
    const Wave left = ParseWave(ReadBytes(Out("left.wav")));
    EXPECT_EQ(left.channels, 1);
    ASSERT_EQ(left.pcm.size() * 2, full.pcm.size());
    // Left only is the left channel of the two-channel decode.
    bool same = true;
    for (size_t i = 0; i + 1 < left.pcm.size() && same; i += 2)
        same = left.pcm[i] == full.pcm[2 * i] && left.pcm[i + 1] == full.pcm[2 * i + 1];
    EXPECT_TRUE(same);

    ASSERT_EQ(Pt4("--8bit --mix --quarter " + demo + " -o " + Out("small.wav")), 0);
    const Wave small = ParseWave(ReadBytes(Out("small.wav")));
    EXPECT_EQ(small.channels, 1);
    EXPECT_EQ(small.bits, 8);
    EXPECT_EQ(small.rate, 11025u);
    EXPECT_EQ(small.pcm.size() * 16, full.pcm.size());

    ASSERT_EQ(Pt4("--half --right " + demo + " -o " + Out("half.wav")), 0);
    const Wave half = ParseWave(ReadBytes(Out("half.wav")));
    EXPECT_EQ(half.rate, 22050u);
    EXPECT_EQ(half.pcm.size() * 4, full.pcm.size());
}

TEST_F(DecodeCommand, UnknownFileIsReportedAndExitsNonZero)
{
    std::ofstream(Out("text.mp3")) << "not audio at all";
    std::string err;
    EXPECT_NE(Pt4(Out("text.mp3") + " -o " + Out("x.wav"), &err), 0);
    EXPECT_NE(err.find("unknown MPEG Audio format."), std::string::npos);
    EXPECT_NE(Pt4("--bogus " + demo + " -o " + Out("x.wav")), 0);
    EXPECT_NE(Pt4(demo), 0); // no output named
}

TEST_F(DecodeCommand, StreamThatBreaksOffLeavesAValidWave)
{
    Bytes bytes = ReadBytes(demo);
    bytes.resize(bytes.size() / 2 + 123); // cut inside a frame
    std::ofstream(Out("cut.mp3"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_EQ(Pt4("--no-gapless " + Out("cut.mp3") + " -o " + Out("cut.wav")), 0);
    const Wave cut = ParseWave(ReadBytes(Out("cut.wav")));
    EXPECT_GT(cut.pcm.size(), 0u);
    EXPECT_EQ(cut.pcm.size() % 4608, 0u);
}

// A decode that starts with the player's seek lands on the first frame at or after the time (on
// the very sample in a stream whose encoder delay is left out) and from there equals the decode
// from the start, sample for sample: the seek primes the decoder with the reservoir's frames and
// the synthesis history.
TEST_F(DecodeCommand, StartDecodesExactlyFromTheFrameItLandsOn)
{
    const std::string fixtures = std::string(PT4_SOURCE_DIR) + "/tests/fixtures/";
    const struct {
        std::string file;
        double start;
        size_t samplesPerFrame; // 1: lands on the sample
    } cases[] = {
        {demo, 5.2, 1},                                          // Layer III, trimmed
        {fixtures + "tagged/l3_44k_vbr_xing.mp3", 0.7, 1},       // Layer III, VBR with a Xing header
        {fixtures + "layer3/l3_22k_joint_64.mp3", 0.5, 576},     // MPEG-2 Layer III
        {fixtures + "layer12/l2_44k_stereo_192.mp2", 0.3, 1152}, // Layer II
        {fixtures + "layer12/l1_44k_joint1_160.mp1", 0.3, 384},  // Layer I
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_EQ(Pt4(c.file + " -o " + Out("whole.wav")), 0);
        ASSERT_EQ(Pt4("--start " + std::to_string(c.start) + " " + c.file + " -o " + Out("part.wav")), 0);
        const Wave whole = ParseWave(ReadBytes(Out("whole.wav")));
        const Wave part = ParseWave(ReadBytes(Out("part.wav")));
        ASSERT_EQ(whole.channels, 2);
        const size_t bytes = c.samplesPerFrame * 4;
        ASSERT_GT(part.pcm.size(), 0u);
        ASSERT_LT(part.pcm.size(), whole.pcm.size());
        const size_t skipped = whole.pcm.size() - part.pcm.size();
        ASSERT_EQ(skipped % bytes, 0u);
        const double landedAt = double(skipped) / (whole.rate * 4.0);
        EXPECT_GE(landedAt, c.start);
        EXPECT_LT(landedAt - double(bytes) / (whole.rate * 4.0), c.start);
        EXPECT_TRUE(
            std::equal(part.pcm.begin(), part.pcm.end(), whole.pcm.begin() + std::ptrdiff_t(skipped)));
    }
}

// Each place a file keeps its loudness, and each mode, against the plain decode scaled by the
// gain the values call for: same length, nothing clipped.
TEST_F(DecodeCommand, ReplayGainScalesThePlainDecode)
{
    using namespace pt4::test;
    const Bytes audio = ReadBytes(demo);
    const auto txxx = [](std::string_view key, std::string_view value) {
        const Bytes body = Latin1Text({key, value});
        return Id3v2FrameRaw("TXXX", uint32_t(body.size()), body);
    };
    Bytes encoderGain = audio; // the encoder header's track gain field: -6.0 dB, peak unknown
    const size_t lame = size_t(std::search(audio.begin(), audio.end(), "LAME", "LAME" + 4) - audio.begin());
    std::fill_n(encoderGain.begin() + long(lame) + 11, 4, 0);
    encoderGain[lame + 15] = 0x2E, encoderGain[lame + 16] = 0x3C;
    const Bytes rva2Album = Concat({ToBytes("album"), Bytes{0, 1, 0xFA, 0x00, 0}}); // -3 dB
    struct Case {
        const char* what;
        Bytes file;
        std::string options;
        double gainDb;
    } cases[] = {
        {"TXXX track", Concat({Id3v2Tag({txxx("REPLAYGAIN_TRACK_GAIN", "-6.00 dB")}), audio}),
         "--replaygain track", -6},
        {"TXXX album, any case",
         Concat(
             {Id3v2Tag({txxx("replaygain_track_gain", "-6 dB"), txxx("Replaygain_Album_Gain", "-3.00 dB")}),
              audio}),
         "--replaygain album", -3},
        {"APE held by its peak",
         Concat({audio, ApeTag({ApeItem("REPLAYGAIN_TRACK_GAIN", "+10.00 dB"),
                                ApeItem("REPLAYGAIN_TRACK_PEAK", "0.8")})}),
         "--replaygain track", 20 * std::log10(1 / 0.8)},
        {"RVA2 album over APE track",
         Concat({Id3v2Tag({Id3v24Frame("RVA2", rva2Album)}, Id3v2Options().Version(4)), audio,
                 ApeTag({ApeItem("REPLAYGAIN_TRACK_GAIN", "+10 dB")})}),
         "--replaygain track", -3},
        {"encoder header", encoderGain, "--replaygain auto", -6},
        {"no values: pre-amplification", audio, "--replaygain album --preamp -6", -6},
        {"off", Concat({Id3v2Tag({txxx("REPLAYGAIN_TRACK_GAIN", "-6.00 dB")}), audio}), "--preamp 6", 0},
    };
    ASSERT_EQ(Pt4("--raw " + demo + " -o " + Out("plain.raw")), 0);
    const Bytes plainBytes = ReadBytes(Out("plain.raw"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(Out("in.mp3"), std::ios::binary)
            .write(reinterpret_cast<const char*>(c.file.data()), std::streamsize(c.file.size()));
        ASSERT_EQ(Pt4("--raw " + c.options + " " + Out("in.mp3") + " -o " + Out("gain.raw")), 0);
        const Bytes gainBytes = ReadBytes(Out("gain.raw"));
        ASSERT_EQ(gainBytes.size(), plainBytes.size());
        if (c.gainDb == 0) {
            EXPECT_EQ(gainBytes, plainBytes);
            continue;
        }
        double cross = 0, power = 0;
        size_t clipped = 0;
        for (size_t i = 0; i + 1 < plainBytes.size(); i += 2) {
            const double plain = int16_t(plainBytes[i] | plainBytes[i + 1] << 8);
            const int16_t scaled = int16_t(gainBytes[i] | gainBytes[i + 1] << 8);
            cross += plain * scaled, power += plain * plain;
            clipped += scaled == 32767 || scaled == -32768;
        }
        EXPECT_NEAR(cross / power, std::pow(10.0, c.gainDb / 20), 0.01 * std::pow(10.0, c.gainDb / 20));
        EXPECT_EQ(clipped, 0u);
    }
}

} // namespace
} // namespace pt4
