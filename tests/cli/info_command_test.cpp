// `pt4 info` on files built here: what it finds, where the audio lies, the tags as text, the
// first frame, and one clear line per file that cannot be read.
#include "input/support/tag_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace pt4 {
namespace {

using nlohmann::json;
using namespace pt4::test;
namespace fs = std::filesystem;

Bytes ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

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

Bytes Frame(std::string_view id, const Bytes& body)
{
    return Id3v2FrameRaw(id, static_cast<uint32_t>(body.size()), body);
}

// A cover picture whose bytes hold what looks like frame headers.
Bytes Picture(uint8_t encoding, bool version2)
{
    Bytes body{encoding};
    Append(body, version2 ? ToBytes("JPG") : Concat({ToBytes("image/jpeg"), {0}}));
    Append(body, {3, 0});
    for (int i = 0; i < 300; ++i)
        Append(body, {0xFF, 0xFB, 0x90, 0x64, 0xFF, 0xFE, 0x12});
    return body;
}

// Files as taggers leave them, around encoder-made audio: the title and artist are shown, and
// `pt4 decode` (the player's frame loop) plays exactly what mpg123 decodes from the untagged stream.
TEST_F(InfoCommand, TaggerLayoutsShowTheTitleAndPlayTheAudio)
{
    const fs::path fixtures = fs::path(PT4_SOURCE_DIR) / "tests" / "fixtures";
    const Bytes cbr = ReadBytes(fixtures / "layer3" / "l3_44k_joint_128.mp3");
    const Bytes cbrPcm = ReadBytes(fixtures / "layer3" / "l3_44k_joint_128.pcm");
    const Bytes vbr = ReadBytes(fixtures / "tagged" / "l3_44k_vbr_xing.mp3");
    const Bytes vbrPcm = ReadBytes(fixtures / "tagged" / "l3_44k_vbr_xing.pcm");
    ASSERT_FALSE(cbr.empty() || cbrPcm.empty() || vbr.empty() || vbrPcm.empty());

    const std::string title = "梅の調べ";
    const Bytes v23 = Id3v2Tag({Frame("TIT2", Utf16Text({title})), Frame("TPE1", Utf16Text({"Band"})),
                                Frame("APIC", Picture(1, false))},
                               Id3v2Options().Padding(1800));
    const Bytes v23Unsync = Id3v2Tag({Frame("TIT2", Utf16Text({title})), Frame("TPE1", Latin1Text({"Band"})),
                                      Frame("APIC", Picture(0, false))},
                                     Id3v2Options().Unsynchronise().Padding(300));
    const Bytes v24 =
        Id3v2Tag({Id3v24Frame("TIT2", Utf8Text({title})), Id3v24Frame("TPE1", Utf8Text({"Band", "Guest"})),
                  Id3v24Frame("APIC", Picture(3, false))},
                 Id3v2Options().Version(4).Padding(1024).Footer());
    const Bytes v24Plain = Id3v2Tag({Id3v24Frame("APIC", Picture(3, false), 0, true),
                                     Id3v24Frame("TIT2", Utf16Text({title}), 0, true),
                                     Id3v24Frame("TPE1", Utf16BigEndianText({"Band"}), 0, true)},
                                    Id3v2Options().Version(4).Padding(100));
    const Bytes v22 =
        Id3v2Tag({Id3v22Frame("TT2", Utf16Text({title})), Id3v22Frame("TP1", Utf16Text({"Band"})),
                  Id3v22Frame("PIC", Picture(1, true))},
                 Id3v2Options().Version(2).Padding(2048));
    const Bytes older =
        Id3v2Tag({Id3v2Frame("TIT2", "Old"), Id3v2Frame("TPE1", "Old band")}, Id3v2Options().Padding(500));
    const Bytes ape = ApeTag({ApeItem("Title", title), ApeItem("Artist", "Band"),
                              ApeItem("Cover Art (Front)", std::string("c.jpg\0\xFF\xFB\x90\x64", 10), 2)});
    const Bytes v1 = Id3v1Tag(Id3v1Values().Title("Old").Artist("Old"));
    const Bytes lyrics = Lyrics3v2({Lyrics3v2Field("IND", "00"), Lyrics3v2Field("LYR", "\xFF\xFB\x90\x64")});

    const struct {
        const char* name;
        Bytes file;
        const Bytes& reference;
        const char* version; // of the first ID3v2 tag, or none
    } cases[] = {
        {"ID3v2.3, UTF-16, picture, padding", Concat({v23, cbr}), cbrPcm, "2.3"},
        {"ID3v2.3 unsynchronised", Concat({v23Unsync, cbr}), cbrPcm, "2.3"},
        {"ID3v2.4, UTF-8, footer, VBR header", Concat({v24, vbr}), vbrPcm, "2.4"},
        {"ID3v2.4 with plain sizes", Concat({v24Plain, cbr}), cbrPcm, "2.4"},
        {"ID3v2.2", Concat({v22, vbr}), vbrPcm, "2.2"},
        {"new tag before the old one", Concat({v24, older, cbr}), cbrPcm, "2.4"},
        {"zeros left by a shrunk tag", Concat({v23, Bytes(3000, 0), cbr}), cbrPcm, "2.3"},
        {"false sync before the audio", Concat({v22, Bytes{0xFF, 0xFB, 0x90, 0x64}, Bytes(300, 0x11), cbr}),
         cbrPcm, "2.2"},
        {"APE at the end", Concat({cbr, ape}), cbrPcm, nullptr},
        {"APE before ID3v1", Concat({vbr, ape, v1}), vbrPcm, nullptr},
        {"APE before Lyrics3", Concat({v22, cbr, ape, lyrics, v1}), cbrPcm, "2.2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = Write("song.mp3", c.file);
        const json info = json::parse(Pt4("info --json " + file).out);
        EXPECT_EQ(info["title"], title);
        EXPECT_EQ(info["artist"].get<std::string>().substr(0, 4), "Band");
        if (c.version) {
            EXPECT_EQ(info["tags"]["id3v2"]["version"], c.version);
        }
        const std::string raw = (folder / "decoded.raw").string();
        ASSERT_EQ(Pt4("decode --no-gapless --raw " + file + " -o " + raw).status, 0);
        const Bytes decoded = ReadBytes(raw);
        // Equal length and no sample more than 1 apart (the decoders round differently).
        ASSERT_EQ(decoded.size(), c.reference.size());
        int worst = 0;
        for (size_t i = 0; i + 1 < decoded.size(); i += 2)
            worst = std::max(worst, std::abs(int16_t(decoded[i] | decoded[i + 1] << 8) -
                                             int16_t(c.reference[i] | c.reference[i + 1] << 8)));
        EXPECT_LE(worst, 1);
    }
}

// Files made to break the arithmetic or the memory of the reader: a frame count that does not
// fit 32-bit milliseconds, and a tag of thousands of tiny frames with the values that matter
// after them.
TEST_F(InfoCommand, HostileCountsAreHeldAndTagsBounded)
{
    // An MPEG-2 Layer III frame (64 kbit/s, 22.05 kHz, stereo) whose Info header claims
    // 0x10000075 frames, with the encoder's delay and padding.
    Bytes info = Concat({Bytes{0xFF, 0xF3, 0x80, 0x00}, Bytes(17, 0), ToBytes("Info"),
                         Bytes{0, 0, 0, 1, 0x10, 0, 0, 0x75}, ToBytes("LAME3.100"), Bytes(12, 0),
                         Bytes{0x24, 0x01, 0x20}, AudioBytes(151)});
    // The first frame's identifier is not UTF-8 (JSON must still be written).
    std::vector<Bytes> frames{Id3v2Frame(std::string("T\xE9\x1B") + "A", "x")};
    frames.resize(6000, Id3v2Frame("TPE2", "x"));
    frames.push_back(Id3v2Frame("TIT2", "Found after them"));
    frames.push_back(Id3v2Frame("COMM", std::string("eng") + '\0' + "note"));
    const auto file = Write("hostile.mp3", Concat({Id3v2Tag(frames), info}));
    const Pt4Run run = Pt4("info --json " + file);
    ASSERT_EQ(run.status, 0) << run.err;
    const json r = JsonLines(run.out).at(0);
    EXPECT_EQ(r["length_ms"], 2147483647);
    EXPECT_EQ(r["title"], "Found after them");
    EXPECT_EQ(r["tags"]["id3v2"]["frames"].size(), 4097u);
}

} // namespace
} // namespace pt4
