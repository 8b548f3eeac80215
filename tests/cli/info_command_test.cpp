// `pt4 info` on files built here: what it finds, where the audio lies, the tags as text, the
// first frame, and one clear line per file that cannot be read.
#include "input/support/tag_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace pt4 {
namespace {

using nlohmann::json;
using namespace pt4::test;
namespace fs = std::filesystem;

struct Pt4Run {
    int status = 0;
    std::string out;
    std::string err;
};

class InfoCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("pt4-info-" + std::to_string(getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string Write(const std::string& name, const Bytes& bytes)
    {
        const fs::path path = folder / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path.string();
    }

    Pt4Run Pt4(const std::string& args)
    {
        const std::string err = (folder / "stderr.txt").string();
        const std::string command = std::string(PT4_BINARY_DIR) + "/bin/pt4 " + args + " 2>" + err;
        Pt4Run run;
        FILE* pipe = popen(command.c_str(), "r");
        std::array<char, 4096> chunk{};
        size_t n;
        while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
            run.out.append(chunk.data(), n);
        run.status = WEXITSTATUS(pclose(pipe));
        std::ifstream in(err);
        run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return run;
    }

    std::vector<json> JsonLines(const std::string& out)
    {
        std::vector<json> lines;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            lines.push_back(json::parse(line));
        return lines;
    }

    fs::path folder;
};

// 417-byte MPEG-1 Layer III frames, 128 kbit/s, 44.1 kHz, joint stereo.
Bytes Frames(int count)
{
    Bytes frame = AudioBytes(417);
    frame[0] = 0xFF;
    frame[1] = 0xFB;
    frame[2] = 0x90;
    frame[3] = 0x64;
    Bytes out;
    for (int i = 0; i < count; ++i)
        Append(out, frame);
    return out;
}

TEST_F(InfoCommand, PlainStream)
{
    const auto file = Write("plain.mp3", Frames(4));
    const Pt4Run run = Pt4("info --json " + file);
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = JsonLines(run.out);
    ASSERT_EQ(lines.size(), 1u);
    const json& r = lines[0];
    EXPECT_EQ(r["file"], file);
    EXPECT_TRUE(r["found"].empty());
    EXPECT_EQ(r["data_start"], 0);
    EXPECT_EQ(r["data_length"], 4 * 417);
    EXPECT_EQ(r["title"], "plain.mp3");
    EXPECT_EQ(r["artist"], "");
    const json& f = r["first_frame"];
    EXPECT_EQ(f["offset"], 0);
    EXPECT_EQ(f["version"], 1);
    EXPECT_EQ(f["layer"], 3);
    EXPECT_EQ(f["bitrate"], 128000);
    EXPECT_EQ(f["sample_rate"], 44100);
    EXPECT_EQ(f["mode"], "joint stereo");
    EXPECT_EQ(f["length"], 417);
}

TEST_F(InfoCommand, Id3v2AndId3v1AndLyrics3AroundTheAudio)
{
    // Shift-JIS title and artist, as Japanese files carry them.
    const std::string title = "\x94\x7e\x82\xcc\x92\xb2\x82\xd7"; // 梅の調べ
    const Bytes tag2 = Id3v2Tag({Id3v2Frame("TIT2", title), Id3v2Frame("TPE1", "Band")});
    const Bytes lyrics = Lyrics3v2({Lyrics3v2Field("IND", "00"), Lyrics3v2Field("LYR", "la la")});
    const Bytes tag1 = Id3v1Tag(Id3v1Values().Title("Short").Artist("Longer artist").Track(7).Genre(24));
    const auto file = Write("tagged.mp3", Concat({tag2, Frames(3), lyrics, tag1}));
    const Pt4Run run = Pt4("info --json " + file);
    ASSERT_EQ(run.status, 0) << run.err;
    const json r = JsonLines(run.out).at(0);
    EXPECT_EQ(r["found"], json({"id3v1", "id3v2", "lyrics3"}));
    EXPECT_EQ(r["data_start"], tag2.size());
    // Trailing tags are not taken off the data: the frame loop steps over them.
    EXPECT_EQ(r["data_length"], 3 * 417 + lyrics.size() + tag1.size());
    EXPECT_EQ(r["title"], "梅の調べ");
    EXPECT_EQ(r["artist"], "Longer artist"); // the longest candidate
    EXPECT_EQ(
        r["tags"]["id3v2"],
        json::parse(
            R"({"version": "2.3", "frames": [{"id": "TIT2", "text": "梅の調べ"}, {"id": "TPE1", "text": "Band"}]})"));
    EXPECT_EQ(r["tags"]["id3v1"]["track"], 7);
    EXPECT_EQ(r["tags"]["id3v1"]["genre"], "Soundtrack");
    EXPECT_TRUE(r["tags"]["ape"].empty());
    EXPECT_NE(std::find(r["tags"]["lyrics3"].begin(), r["tags"]["lyrics3"].end(), "LYR=la la"),
              r["tags"]["lyrics3"].end());
    EXPECT_EQ(r["first_frame"]["offset"], tag2.size());
}

// Every item decoded for display: UTF-16 text without its byte-order mark, a picture summarised,
// no line for padding; APE items after the audio.
TEST_F(InfoCommand, TagItemsAreDecodedForDisplay)
{
    Bytes utf16 = Utf16Text({"Ÿ title"});
    Bytes picture = Concat({Bytes{0}, ToBytes("image/jpeg"), Bytes{0, 3, 0}, Bytes(45312, 0xFF)});
    const Bytes tag = Id3v2Tag({Id3v2FrameRaw("TIT2", uint32_t(utf16.size()), utf16),
                                Id3v2FrameRaw("APIC", uint32_t(picture.size()), picture)},
                               Id3v2Options().Padding(1800));
    const auto file =
        Write("decoded.mp3", Concat({tag, Frames(3), ApeTag({ApeItem("Artist", "Ape artist")})}));
    const Pt4Run run = Pt4("info --json " + file);
    ASSERT_EQ(run.status, 0) << run.err;
    const json r = JsonLines(run.out).at(0);
    EXPECT_EQ(r["found"], json({"id3v2", "ape"}));
    EXPECT_EQ(r["data_length"], 3 * 417);
    EXPECT_EQ(r["title"], "Ÿ title");
    EXPECT_EQ(r["artist"], "Ape artist");
    EXPECT_EQ(
        r["tags"]["id3v2"]["frames"],
        json::parse(
            R"([{"id": "TIT2", "text": "Ÿ title"}, {"id": "APIC", "text": "image/jpeg, 45312 bytes"}])"));
    EXPECT_EQ(r["tags"]["ape"], json({"Artist=Ape artist"}));
    EXPECT_TRUE(r["tags"]["id3v1"].is_null());

    const Pt4Run text = Pt4("info " + file);
    EXPECT_NE(text.out.find("APIC: image/jpeg, 45312 bytes"), std::string::npos) << text.out;
    EXPECT_EQ(text.out.find("ÿþ"), std::string::npos);
}

TEST_F(InfoCommand, RiffWaveWithInfoListAfterTheData)
{
    const Bytes audio = Frames(2);
    const Bytes wave = RiffWave({WaveFormatChunk(), RiffChunk("data", audio),
                                 RiffInfoList({{"INAM", "Wave title"}, {"IART", "Wave artist"}})});
    const auto file = Write("song.wav", wave);
    const Pt4Run run = Pt4("info --json " + file);
    ASSERT_EQ(run.status, 0) << run.err;
    const json r = JsonLines(run.out).at(0);
    EXPECT_EQ(r["found"], json({"riff"}));
    EXPECT_EQ(r["data_length"], audio.size());
    EXPECT_EQ(r["title"], "Wave title");
    EXPECT_EQ(r["artist"], "Wave artist");
    EXPECT_EQ(r["first_frame"]["offset"], r["data_start"]);
    EXPECT_EQ(r["tags"]["riff_info"], json({"INAM=Wave title", "IART=Wave artist"}));
}

TEST_F(InfoCommand, MacBinaryWithId3v1AtTheEndOfTheDataFork)
{
    const Bytes fork = Concat({Frames(2), Id3v1Tag(Id3v1Values().Title("Mac song"))});
    const auto file = Write("mac.bin", MacBinaryFile("song.mp3", fork, ToBytes("resource")));
    const Pt4Run run = Pt4("info --json " + file);
    ASSERT_EQ(run.status, 0) << run.err;
    const json r = JsonLines(run.out).at(0);
    EXPECT_EQ(r["found"], json({"id3v1", "macbinary"}));
    EXPECT_EQ(r["data_start"], 128);
    EXPECT_EQ(r["data_length"], fork.size()); // the data fork, its ID3v1 tag included
    EXPECT_EQ(r["title"], "Mac song");
    EXPECT_EQ(r["first_frame"]["offset"], 128);
}

TEST_F(InfoCommand, NoFrameGivesNullAndSucceeds)
{
    const auto file = Write("text.mp3", ToBytes("just some text, nothing else"));
    const Pt4Run run = Pt4("info --json " + file);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(JsonLines(run.out).at(0)["first_frame"].is_null());
}

TEST_F(InfoCommand, BadFilesAreNamedOnStderrAndTheRestIsReported)
{
    const auto empty = Write("empty.mp3", {});
    const auto one = Write("one.mp3", {0xFF});
    const auto good = Write("good.mp3", Frames(2));
    const auto hostile =
        Write("hostile.mp3", Concat({Id3v2Tag({}, Id3v2Options().RawSize(0x7F7F7F7F)), Frames(1)}));
    const std::string missing = (folder / "missing.mp3").string();
    const std::string directory = folder.string();
    const Pt4Run run = Pt4("info --json " + empty + " " + one + " " + missing + " " + directory + " " +
                           hostile + " " + good);
    EXPECT_NE(run.status, 0);
    const auto lines = JsonLines(run.out);
    // Empty, one-byte, hostile and good files are read; the missing file and the folder are not.
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3]["file"], good);
    EXPECT_EQ(lines[3]["first_frame"]["length"], 417);
    EXPECT_NE(run.err.find("missing.mp3"), std::string::npos);
    EXPECT_NE(run.err.find(directory), std::string::npos);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2);
}

TEST_F(InfoCommand, FilesOfTwoGibibytesAreRefused)
{
    const fs::path big = folder / "big.mp3";
    std::ofstream(big).close();
    fs::resize_file(big, (uint64_t(1) << 31)); // sparse: no disk space used
    const Pt4Run run = Pt4("info " + big.string());
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("big.mp3"), std::string::npos);
}

TEST_F(InfoCommand, UnreadableFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    const auto file = Write("locked.mp3", Frames(1));
    chmod(file.c_str(), 0);
    const Pt4Run run = Pt4("info " + file);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("locked.mp3"), std::string::npos);
}

} // namespace
} // namespace pt4
