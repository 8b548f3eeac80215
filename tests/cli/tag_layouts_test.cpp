// Files as taggers leave them, built here around encoder-made audio: `pt4 info` must show their
// title and artist, and `pt4 decode` (the player's frame loop) must play exactly the audio, as
// mpg123 decodes it from the untagged stream (the fixture's reference).
#include "input/support/tag_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace pt4 {
namespace {

using nlohmann::json;
using namespace pt4::test;
namespace fs = std::filesystem;

Bytes ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class TagLayouts : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("pt4-layouts-" + std::to_string(getpid()));
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

    json Info(const std::string& file)
    {
        const std::string command = std::string(PT4_BINARY_DIR) + "/bin/pt4 info --json " + file;
        std::string out;
        FILE* pipe = popen(command.c_str(), "r");
        std::array<char, 4096> chunk{};
        for (size_t n; (n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0;)
            out.append(chunk.data(), n);
        pclose(pipe);
        return json::parse(out);
    }

    Bytes Decode(const std::string& file)
    {
        const fs::path raw = folder / "decoded.raw";
        const std::string command = std::string(PT4_BINARY_DIR) + "/bin/pt4 decode --no-gapless --raw " +
                                    file + " -o " + raw.string();
        EXPECT_EQ(std::system(command.c_str()), 0) << file;
        return ReadFile(raw);
    }

    // Equal length and no sample more than 1 apart (the decoders round differently).
    static void ExpectSamePcm(const Bytes& decoded, const Bytes& reference)
    {
        ASSERT_EQ(decoded.size(), reference.size());
        int worst = 0;
        for (size_t i = 0; i + 1 < decoded.size(); i += 2) {
            const int a = int16_t(decoded[i] | decoded[i + 1] << 8);
            const int b = int16_t(reference[i] | reference[i + 1] << 8);
            worst = std::max(worst, std::abs(a - b));
        }
        EXPECT_LE(worst, 1);
    }

    fs::path folder;
};

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

TEST_F(TagLayouts, PlayWhatTheEncoderWroteAndShowTheTitle)
{
    const fs::path fixtures = fs::path(PT4_SOURCE_DIR) / "tests" / "fixtures";
    const Bytes cbr = ReadFile(fixtures / "layer3" / "l3_44k_joint_128.mp3");
    const Bytes cbrPcm = ReadFile(fixtures / "layer3" / "l3_44k_joint_128.pcm");
    const Bytes vbr = ReadFile(fixtures / "tagged" / "l3_44k_vbr_xing.mp3");
    const Bytes vbrPcm = ReadFile(fixtures / "tagged" / "l3_44k_vbr_xing.pcm");
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
        const json info = Info(file);
        EXPECT_EQ(info["title"], title);
        EXPECT_EQ(info["artist"].get<std::string>().substr(0, 4), "Band");
        if (c.version)
            EXPECT_EQ(info["tags"]["id3v2"]["version"], c.version);
        ExpectSamePcm(Decode(file), c.reference);
    }
}

} // namespace
} // namespace pt4
