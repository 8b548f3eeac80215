// Shuffled continuous play driven directly, with a real player writing to a WAVE file: every
// entry once per pass, a new order each pass, the track commands following the shuffled order,
// and shuffle switched in the middle of a pass.
#include "mp3plyr/player/album_sequence.h"
#include "support/player_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace pt4 {
namespace {

using namespace pt4::testing;
using Status = TMP3PlayerStatus;

std::string Name(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

class AlbumShuffleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        player.SetAutoPlay(false);
        player.SetWaveFileName(TempPath("shuffle.wav"));
        // Each file ends on its own, so every change of file is an end of play seen here.
        player.OnNeedNext = nullptr;
        player.OnEndPlay = [this](TMP3Player& p, TMP3EndPlayReason reason) {
            album.EndPlay(reason);
            if (p.Status() == Status::mpsPlaying)
                played.push_back(Loaded());
            else
                passEnded = true;
        };
    }

    // `frames` frames of the demo clip (26 ms each).
    std::vector<std::string> Files(int count, size_t frames)
    {
        std::vector<std::string> files;
        for (int i = 0; i < count; ++i) {
            const std::string path = TempPath("s" + std::to_string(i) + ".mp3");
            std::vector<std::vector<uint8_t>> cut;
            for (size_t f = 0; f < frames; ++f)
                cut.push_back(demo[f % demo.size()]);
            WriteFileBytes(path, Join(cut));
            files.push_back(path);
        }
        return files;
    }

    std::string Loaded() const { return Name(player.FileName()); }

    // The files of the pass in the order the sequence means to play them.
    std::vector<std::string> Planned() const
    {
        std::vector<std::string> planned;
        for (int32_t position = 0; position < album.TrackCount(); ++position)
            planned.push_back(Name(album.List()[size_t(album.Entry(position))]));
        return planned;
    }

    const std::vector<std::vector<uint8_t>> demo = DemoFrames();
    TMP3Player player;
    TAlbumSequence album{player};
    std::vector<std::string> played;
    bool passEnded = false;
};

TEST_F(AlbumShuffleTest, EveryEntryOncePerPassInANewOrderEachPass)
{
    const struct {
        int files;
        int passes;
    } cases[] = {{2, 4}, {3, 3}, {6, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.files) + " files");
        const std::vector<std::string> files = Files(c.files, 8);
        std::vector<std::string> names;
        for (const std::string& file : files)
            names.push_back(Name(file));
        album.SetShuffle(true);
        ASSERT_TRUE(album.Confirm(files));
        std::vector<std::string> lastPass;
        for (int pass = 0; pass < c.passes; ++pass) {
            played = {Loaded()};
            passEnded = false;
            const std::vector<std::string> planned = Planned();
            album.PlayPressed();
            player.Play();
            ASSERT_TRUE(DrainUntil(player, [&] { return passEnded; }));
            EXPECT_EQ(played, planned);
            std::vector<std::string> sorted = played;
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(sorted, names) << "pass " << pass;
            EXPECT_NE(played, lastPass) << "pass " << pass;
            lastPass = played;
            // The pass ends stopped on the first file of the next pass.
            EXPECT_EQ(player.Status(), Status::mpsStopped);
            EXPECT_FALSE(album.Playing());
            EXPECT_EQ(album.TrackIndex(), 0);
        }
        album.SetShuffle(false);
    }
}

TEST_F(AlbumShuffleTest, TrackCommandsFollowTheShuffledOrder)
{
    const std::vector<std::string> files = Files(5, 2000);
    album.SetShuffle(true);
    ASSERT_TRUE(album.Start(files));
    const std::vector<std::string> order = Planned();
    EXPECT_EQ(Loaded(), order[0]);

    // {next or previous, pause first, acts, position after}
    const struct {
        bool next;
        bool pauseFirst;
        bool acts;
        size_t position;
    } presses[] = {
        {false, false, false, 0}, {true, false, true, 1},  {true, true, true, 2},  {true, false, true, 3},
        {true, false, true, 4},   {true, false, false, 4}, {false, true, true, 3}, {false, false, true, 2},
    };
    for (const auto& press : presses) {
        if (press.pauseFirst)
            player.Pause();
        EXPECT_EQ(press.next ? album.Next() : album.Previous(), press.acts) << press.position;
        EXPECT_EQ(Loaded(), order[press.position]);
        EXPECT_EQ(player.Status(), Status::mpsPlaying);
    }

    // Off in the middle of a pass: the file stays and the list's own order goes on from it.
    const std::string current = Loaded();
    album.SetShuffle(false);
    EXPECT_EQ(Loaded(), current);
    EXPECT_EQ(album.TrackIndex(), std::stoi(current.substr(1)));
    if (album.CanGoNext()) {
        ASSERT_TRUE(album.Next());
        EXPECT_EQ(Loaded(), "s" + std::to_string(std::stoi(current.substr(1)) + 1) + ".mp3");
    }

    // On again: the current file is the first of a new pass, the other four follow once each.
    album.SetShuffle(true);
    EXPECT_EQ(album.TrackIndex(), 0);
    std::vector<std::string> pass{Loaded()};
    while (album.Next())
        pass.push_back(Loaded());
    std::sort(pass.begin(), pass.end());
    EXPECT_EQ(pass, (std::vector<std::string>{"s0.mp3", "s1.mp3", "s2.mp3", "s3.mp3", "s4.mp3"}));
}

} // namespace
} // namespace pt4
