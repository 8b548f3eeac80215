// Station titles in metadata blocks and the first entry of playlist files. (The split of a body
// into audio and blocks is checked end to end by the stream command tests and by its fuzz target.)
#include "mp3plyr/input/icy_metadata.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace pt4 {
namespace {

TEST(IcyStreamTitle, ValueUpToTheClosingQuote)
{
    const struct {
        std::string block;
        std::optional<std::string> title;
    } cases[] = {
        {"StreamTitle='Artist - Song';StreamUrl='';", "Artist - Song"},
        {"StreamTitle='Rock'n'Roll Ain't Noise';", "Rock'n'Roll Ain't Noise"},
        {"StreamUrl='x';StreamTitle='';", ""},
        {"StreamTitle='No semicolon'", "No semicolon"},
        {"StreamUrl='http://x/';", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IcyStreamTitle(c.block), c.title) << c.block;
}

TEST(FirstPlaylistEntry, M3uAndPls)
{
    const struct {
        std::string text;
        std::optional<std::string> entry;
    } cases[] = {
        {"\xEF\xBB\xBF#EXTM3U\r\n#EXTINF:-1,Radio\r\n\r\n  http://a/live  \r\nhttp://b/\r\n",
         "http://a/live"},
        {"music/song.mp3\n", "music/song.mp3"},
        {"[playlist]\nNumberOfEntries=2\nFile2=http://two/\nTitle1=One\nfile1=http://one/\n", "http://one/"},
        {"[Playlist]\nFile1=\nFile3=http://three/\n", "http://three/"},
        {"[playlist]\nNumberOfEntries=0\n", std::nullopt},
        {"#EXTM3U\n#only comments\n", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FirstPlaylistEntry(c.text), c.entry) << c.text;
}

} // namespace
} // namespace pt4
