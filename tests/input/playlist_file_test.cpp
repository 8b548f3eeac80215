// Playlists as people and programs write them, against the locations they make play. The local
// lists are files of one folder ("@" in a row stands for it), so that lists can name each other.
#include "mp3plyr/input/playlist_file.h"

#include "mp3plyr/input/location.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace pt4 {
namespace {

struct Row {
    const char* list; // a name in the folder, or a URL
    std::string text;
    std::vector<TPlaylistEntry> entries;
};

TEST(PlaylistFile, ListsYieldTheirEntriesInOrder)
{
    setenv("LC_ALL", "C.UTF-8", 1); // names in a list that is not UTF-8 become UTF-8
    const Row rows[] = {
        {"windows.m3u",
         "#EXTM3U\r\n#EXTINF:201,Artist - One\r\none.mp3\r\n\r\n# a comment\r\nsub\\two.mp3\r\n"
         "/abs/three.mp3\r\nfile:///abs/f%C3%BCnf.mp3\r\nfile://localhost/x/y.mp3\r\nfile://other/z.mp3\r\n"
         "http://radio.example/live\r\nrtsp://radio.example/x\r\nsub/../up.mp3\r\n",
         {{"@/one.mp3", "Artist - One"},
          {"@/sub/two.mp3", ""},
          {"/abs/three.mp3", ""},
          {"/abs/fünf.mp3", ""},
          {"/x/y.mp3", ""},
          {"http://radio.example/live", ""},
          {"@/up.mp3", ""}}},
        {"歌.pls",
         "\xEF\xBB\xBF[playlist]\nNumberOfEntries=3\nFile2=二.mp3\nTitle2=Ni\nfile1=一.mp3\nTitle1=歌の一\n"
         "File3=\nFileX=bad.mp3\nVersion=2\n",
         {{"@/一.mp3", "歌の一"}, {"@/二.mp3", "Ni"}}},
        {"latin1.m3u", "#EXTINF:5,Caf\xE9\rCaf\xE9.mp3\r", {{"@/Café.mp3", "Café"}}},
        {"sjis.m3u", "\x93\xFA\x96\x7B.mp3\n", {{"@/日本.mp3", ""}}},
        {"station.m3u8",
         "#EXTINF:-1 tvg-name=\"a,b\",Station\nhttps://s.example/1\n",
         {{"https://s.example/1", "Station"}}},
        // Lists inside lists are played in place; one that names a list it is inside of adds
        // nothing, and one that cannot be read stays an entry, to fail in its turn.
        {"outer.m3u",
         "a.mp3\nouter.m3u\ninner.m3u\nb.mp3\n",
         {{"@/a.mp3", ""}, {"@/in.mp3", "In"}, {"@/missing.m3u", ""}, {"@/b.mp3", ""}}},
        {"inner.m3u",
         "#EXTINF:1,In\nin.mp3\nouter.m3u\n./inner.m3u\nmissing.m3u\n",
         {{"@/in.mp3", "In"}, {"@/a.mp3", ""}, {"@/b.mp3", ""}, {"@/missing.m3u", ""}}},
        // A fetched list names files of its server, never local ones.
        {"http://host.example/dir/list.m3u?x=1",
         "a b.mp3\n/root.mp3\nfile:///etc/passwd\n//cdn.example/c.mp3\nhttps://other.example/s\n",
         {{"http://host.example/dir/a%20b.mp3", ""},
          {"http://host.example/root.mp3", ""},
          {"http://cdn.example/c.mp3", ""},
          {"https://other.example/s", ""}}},
    };
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("pt4-playlists-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    for (const Row& row : rows)
        if (std::string(row.list).find("://") == std::string::npos)
            std::ofstream(folder / row.list, std::ios::binary) << row.text;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.list);
        std::vector<TPlaylistEntry> expected = row.entries;
        for (TPlaylistEntry& entry : expected)
            if (entry.location.starts_with('@'))
                entry.location.replace(0, 1, folder.string());
        if (std::string(row.list).find("://") != std::string::npos) {
            EXPECT_EQ(PlaylistEntries(row.text, row.list, true), expected);
            continue;
        }
        EXPECT_EQ(ReadPlaylist((folder / row.list).string()), expected);
        // The player, handed the list as one location, starts where its album starts.
        if (IsUrl(expected.front().location))
            continue;
        std::ofstream(expected.front().location).put('\0');
        try {
            EXPECT_EQ(OpenLocation((folder / row.list).string()).name, expected.front().location);
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
    }
    std::filesystem::remove_all(folder);
}

// A list is known by its name (a URL's query and fragment aside) or, from a server that does
// not say, by the start of its answer.
TEST(PlaylistFile, ListsAreRecognisedByNameAndByContent)
{
    const struct {
        std::string_view name;
        bool list;
    } names[] = {
        {"a.m3u", true},
        {"/x/A.M3U8", true},
        {"x.Pls", true},
        {"http://h/live.pls?sid=1", true},
        {"http://h/play?list=x.m3u", false},
        {"http://h/x.m3u#top", true},
        {"a.m3u?x", false}, // a local name keeps its question mark
        {"a.mp3", false},
        {"m3u", false},
        {"a.m3u.mp3", false},
    };
    for (const auto& row : names)
        EXPECT_EQ(HasPlaylistExtension(row.name), row.list) << row.name;
    using namespace std::string_view_literals;
    const struct {
        std::string_view start;
        bool list;
    } starts[] = {
        {"#EXTM3U\n", true},
        {"\xEF\xBB\xBF[Playlist]\r\nFile1=x", true},
        {"\0\0 \r\nhttps://s/1"sv, true},
        {"HTTP://s/1", true},
        {"\xFF\xFB\x90\x00", false},
        {"ID3\x04", false},
        {"<html>", false},
        {"\v#EXTM3U", false},
    };
    for (const auto& row : starts)
        EXPECT_EQ(LooksLikePlaylist(row.start), row.list) << row.start;
}

} // namespace
} // namespace pt4
