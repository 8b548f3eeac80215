// `pt4 info` on files whose tags hold Japanese and Western text in legacy encodings: each title
// shown as written, whatever tag carries it; and --charset forcing one reading of the bytes.
#include "cli/support/pt4_run.h"
#include "cli/support/radio_server.h"
#include "input/support/tag_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pt4 {
namespace {

using nlohmann::json;
using namespace pt4::test;
namespace fs = std::filesystem;

class CharsetCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("pt4-charset-" + std::to_string(getpid()));
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

    Pt4Result Pt4(const std::string& args) { return RunPt4(args, folder); }

    // The title `pt4 info --json` reports for a file of these tags around a few frames.
    std::string TitleOf(const std::string& options, const Bytes& before, const Bytes& after)
    {
        const std::string file = Write("tagged.mp3", Concat({before, Frames(3), after}));
        const Pt4Result run = Pt4(options + " info --json " + file);
        EXPECT_EQ(run.status, 0) << run.err;
        return run.status == 0 ? json::parse(run.out)["title"].get<std::string>() : std::string();
    }

    static Bytes Frames(int count)
    {
        Bytes frame = AudioBytes(417);
        frame[0] = 0xFF, frame[1] = 0xFB, frame[2] = 0x90, frame[3] = 0x64;
        Bytes out;
        for (int i = 0; i < count; ++i)
            Append(out, frame);
        return out;
    }

    fs::path folder;
};

std::string Raw(std::initializer_list<unsigned char> bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// ﾗｼﾞｵ, J-POP ﾋｯﾄ 100 and 夜空の向こうに in code page 932; 東京の雨 and ひまわりの約束 in EUC-JP;
// 東京の雨 in ISO-2022-JP; Café Müller in Latin-1.
const std::string kRadioSjis = Raw({0xD7, 0xBC, 0xDE, 0xB5});
const std::string kJpopSjis = "J-POP " + Raw({0xCB, 0xAF, 0xC4}) + " 100";
const std::string kNightSkySjis =
    Raw({0x96, 0xE9, 0x8B, 0xF3, 0x82, 0xCC, 0x8C, 0xFC, 0x82, 0xB1, 0x82, 0xA4, 0x82, 0xC9});
const std::string kTokyoRainEuc = Raw({0xC5, 0xEC, 0xB5, 0xFE, 0xA4, 0xCE, 0xB1, 0xAB});
const std::string kSunflowerEuc =
    Raw({0xA4, 0xD2, 0xA4, 0xDE, 0xA4, 0xEF, 0xA4, 0xEA, 0xA4, 0xCE, 0xCC, 0xF3, 0xC2, 0xAB});
const std::string kTokyoRainJis = "\x1B$B" + Raw({0x45, 0x6C, 0x35, 0x7E, 0x24, 0x4E, 0x31, 0x2B}) + "\x1B(B";
const std::string kCafeLatin1 = "Caf" + Raw({0xE9}) + " M" + Raw({0xFC}) + "ller";

TEST_F(CharsetCommand, EveryTagShowsItsLegacyTextAsWritten)
{
    struct Case {
        const char* what;
        Bytes before;
        Bytes after;
        std::string shown;
    };
    const Case cases[] = {
        {"ID3v1 half-width katakana in Shift-JIS", {}, Id3v1Tag(Id3v1Values().Title(kRadioSjis)), "ﾗｼﾞｵ"},
        {"ID3v1 Latin and half-width katakana in Shift-JIS",
         {},
         Id3v1Tag(Id3v1Values().Title(kJpopSjis)),
         "J-POP ﾋｯﾄ 100"},
        {"ID3v1 EUC-JP", {}, Id3v1Tag(Id3v1Values().Title(kTokyoRainEuc)), "東京の雨"},
        {"ID3v1 ISO-2022-JP", {}, Id3v1Tag(Id3v1Values().Title(kTokyoRainJis)), "東京の雨"},
        {"ID3v1 Latin-1", {}, Id3v1Tag(Id3v1Values().Title(kCafeLatin1)), "Café Müller"},
        {"ID3v2 frame marked Latin-1 holding Shift-JIS",
         Id3v2Tag({Id3v2Frame("TIT2", kNightSkySjis)}),
         {},
         "夜空の向こうに"},
        {"APE value in EUC-JP", {}, ApeTag({ApeItem("Title", kSunflowerEuc)}), "ひまわりの約束"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TitleOf("", c.before, c.after), c.shown) << c.what;
}

TEST_F(CharsetCommand, LyricsAndRiffInfoLinesToo)
{
    const Bytes audio = Frames(3);
    const std::string file =
        Write("lyrics.wav", Concat({RiffWave({WaveFormatChunk(), RiffChunk("data", audio),
                                              RiffInfoList({{"INAM", kTokyoRainEuc}})}),
                                    Lyrics3v2({Lyrics3v2Field("LYR", kNightSkySjis)})}));
    const Pt4Result run = Pt4("info --json " + file);
    ASSERT_EQ(run.status, 0) << run.err;
    const json report = json::parse(run.out);
    EXPECT_EQ(report["tags"]["riff_info"], json::array({"INAM=東京の雨"}));
    EXPECT_EQ(report["tags"]["lyrics3"], json::array({"LYR=夜空の向こうに"}));
}

TEST_F(CharsetCommand, StationNameAndTitle)
{
    const test::RadioServer server(std::string(PT4_SOURCE_DIR) + "/demo/demo.mp3");
    const Pt4Result run = Pt4("info --json " + server.Url("/japanese"));
    ASSERT_EQ(run.status, 0) << run.err;
    const json report = json::parse(run.out);
    EXPECT_EQ(report["title"], "夜空の向こうに");
    EXPECT_EQ(report["artist"], "東京の雨");
}

TEST_F(CharsetCommand, TextReportAndPlaylistTitles)
{
    const std::string file =
        Write("radio.mp3", Concat({Frames(3), Id3v1Tag(Id3v1Values().Title(kRadioSjis))}));
    const Pt4Result info = Pt4("info " + file);
    EXPECT_NE(info.out.find("  title:        ﾗｼﾞｵ\n"), std::string::npos) << info.out;

    Write("song.mp3", Frames(3));
    const std::string list = Write("list.m3u", ToBytes("#EXTM3U\n#EXTINF:3," + kJpopSjis + "\nsong.mp3\n"));
    const Pt4Result listed = Pt4("info " + list);
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("title: J-POP ﾋｯﾄ 100\n"), std::string::npos) << listed.out;
}

TEST_F(CharsetCommand, ChoiceForcesTheReading)
{
    struct Case {
        const char* options;
        std::string raw;
        std::string shown;
    };
    const Case cases[] = {
        // Detected as Shift-JIS, read as the encoding asked for.
        {"--charset latin1", kRadioSjis, "×¼Þµ"},
        {"--charset=latin1", kTokyoRainEuc, "Åìµþ¤Î±«"},
        // Not valid Shift-JIS: each byte that starts no character shows as U+FFFD.
        {"--charset sjis", kCafeLatin1, "Caf\uFFFD M\uFFFDller"},
        {"--charset eucjp", kTokyoRainEuc, "東京の雨"},
        {"--charset sjis", kRadioSjis, "ﾗｼﾞｵ"},
        {"--charset auto", kTokyoRainEuc, "東京の雨"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TitleOf(c.options, {}, Id3v1Tag(Id3v1Values().Title(c.raw))), c.shown) << c.options;

    // The option may follow the command too, and text in a Unicode form is not forced.
    const std::string file =
        Write("unicode.mp3", Concat({Id3v2Tag({Id3v2Frame("TIT2", "ﾗｼﾞｵ", 3)}), Frames(3)}));
    const Pt4Result run = Pt4("info --json --charset latin1 " + file);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(json::parse(run.out)["title"], "ﾗｼﾞｵ");
}

TEST_F(CharsetCommand, UnknownCharsetIsAUsageError)
{
    const std::string file = Write("plain.mp3", Frames(3));
    for (const char* options : {"--charset klingon info", "info " /* missing name */ "--charset"}) {
        const Pt4Result run = Pt4(std::string(options) + " " + file);
        EXPECT_EQ(run.status, 2) << options;
        EXPECT_NE(run.err.find("--charset takes auto, sjis, eucjp or latin1"), std::string::npos) << run.err;
    }
}

} // namespace
} // namespace pt4
