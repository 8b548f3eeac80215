// Continuous play and repeat driven directly, with a real player writing to a WAVE file: the
// order of play, the end of a list, the track commands also from pause, repeat, a new list while
// a file plays or waits, files that cannot be opened, lists with nothing to play.
#include "mp3plyr/player/album_sequence.h"
#include "mp3plyr/player/location_opener.h"
#include "mp3plyr/runtime/message_window.h"
#include "mp3plyr/runtime/thread.h"
#include "output/support/pulse_daemon.h"
#include "support/player_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <stdexcept>

namespace pt4 {
namespace {

using namespace pt4::testing;
using namespace std::chrono_literals;
using Status = TMP3PlayerStatus;
using Reason = TMP3EndPlayReason;

struct Step {
    std::string ended;
    Reason reason;
    std::string loaded; // the player's file after the sequence acted
    Status status;
};

std::string Name(const std::string& path)
{
    return std::filesystem::path(path).filename().string();
}

class AlbumSequenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        player.SetAutoPlay(false);
        player.SetWaveFileName(TempPath("album.wav"));
        // Every end of play is seen: no file follows another without a gap, unless a test wires it.
        player.OnNeedNext = nullptr;
        album.OnLoadFailed = [this](const std::exception_ptr& error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                errors.push_back(e.what());
            }
        };
        player.OnEndPlay = [this](TMP3Player& p, Reason reason) {
            Step step{Name(p.FileName()), reason, {}, {}};
            album.EndPlay(reason);
            step.loaded = Name(p.FileName());
            step.status = p.Status();
            steps.push_back(step);
        };
    }

    // A file of `frames` frames of the demo clip, repeated as needed (26 ms each); "bad" files hold no audio.
    std::string File(const std::string& name, size_t frames = 20)
    {
        const std::string path = TempPath(name);
        if (name.starts_with("bad"))
            WriteFileBytes(path, std::vector<uint8_t>(4000, 'x'));
        else {
            std::vector<std::vector<uint8_t>> cut;
            for (size_t i = 0; i < frames; ++i)
                cut.push_back(demo[i % demo.size()]);
            WriteFileBytes(path, Join(cut));
        }
        return path;
    }

    bool WaitForSteps(size_t count)
    {
        return DrainUntil(player, [&] { return steps.size() >= count; });
    }

    // The files that played: the first as given, then each an end of play started.
    std::vector<std::string> Played(const std::string& first) const
    {
        std::vector<std::string> played{first};
        for (const Step& step : steps)
            if (step.status == Status::mpsPlaying)
                played.push_back(step.loaded);
        return played;
    }

    std::string Loaded() const { return Name(player.FileName()); }

    const std::vector<std::vector<uint8_t>> demo = DemoFrames();
    TMP3Player player;
    TAlbumSequence album{player};
    std::vector<Step> steps;
    std::vector<std::string> errors;
};

// The sequence alone drives a player, as the window and pt4 use it: the list plays as one stream
// past a file that does not open, each file following the one before without an end of play; the
// index follows what is heard, and the list ends once, back on its first file.
TEST_F(AlbumSequenceTest, FilesFollowEachOtherWithoutAGap)
{
    TMP3Player own;
    own.SetAutoPlay(false);
    own.SetWaveFileName(TempPath("own.wav"));
    TAlbumSequence sequence{own};
    std::vector<int32_t> indexes;
    std::vector<Reason> ends;
    sequence.OnStatus = [&] {
        if (indexes.empty() || indexes.back() != sequence.TrackIndex())
            indexes.push_back(sequence.TrackIndex());
    };
    sequence.OnLoadFailed = [&](const std::exception_ptr&) { errors.push_back(Name(sequence.Loading())); };
    sequence.OnEndPlay = [&](Reason reason, bool acted) { acted ? ends.push_back(reason) : void(); };
    // Two files shorter than an output block: the sound of three files is queued at once.
    const std::vector<std::string> files{File("bad0.mp3"), File("g1.mp3"), File("g2.mp3", 5),
                                         File("g3.mp3", 4), File("g4.mp3")};
    std::vector<std::vector<uint8_t>> decoded;
    for (size_t i = 1; i < files.size(); ++i)
        decoded.push_back(DecodeAll(ReadFileBytes(files[i])));
    ASSERT_TRUE(sequence.Start(files));
    ASSERT_TRUE(DrainUntil(own, [&] { return !ends.empty(); }));
    DrainFor(own, 100ms);
    EXPECT_EQ(ends, std::vector<Reason>{Reason::mepEndOfStream});
    EXPECT_EQ(errors, std::vector<std::string>{"bad0.mp3"});
    EXPECT_EQ(Name(own.FileName()), "g1.mp3");
    EXPECT_EQ(own.Status(), Status::mpsStopped);
    // Changes heard within one notice come as one: the index only moves on, to the last file,
    // and the list ends on the first that opens.
    ASSERT_GE(indexes.size(), 3u);
    EXPECT_EQ(indexes.front(), 1);
    EXPECT_TRUE(std::is_sorted(indexes.begin(), indexes.end() - 1));
    EXPECT_EQ(indexes[indexes.size() - 2], 4);
    EXPECT_EQ(indexes.back(), 1);
    EXPECT_EQ(WavePcm(ReadFileBytes(TempPath("own.wav"))), Join(decoded));
}

TEST_F(AlbumSequenceTest, PlaysTheListInOrderAndEndsStoppedOnTheFirst)
{
    ASSERT_TRUE(album.Confirm({File("01.mp3"), File("02.mp3"), File("03.mp3")}));
    EXPECT_EQ(Loaded(), "01.mp3");
    EXPECT_EQ(player.Status(), Status::mpsStopped);
    EXPECT_TRUE(album.Selected());
    EXPECT_TRUE(album.Playing());
    EXPECT_EQ(album.TrackCount(), 3);

    for (int round = 1; round <= 2; ++round) {
        steps.clear();
        album.PlayPressed();
        player.Play();
        ASSERT_TRUE(WaitForSteps(3));
        EXPECT_EQ(Played("01.mp3"), (std::vector<std::string>{"01.mp3", "02.mp3", "03.mp3"}));
        for (const Step& step : steps)
            EXPECT_EQ(step.reason, Reason::mepEndOfStream);
        // Continuous play ends on the first file, stopped; Play starts the list over.
        EXPECT_EQ(steps[2].loaded, "01.mp3");
        EXPECT_EQ(steps[2].status, Status::mpsStopped);
        EXPECT_FALSE(album.Playing());
        EXPECT_TRUE(album.Selected());
        EXPECT_EQ(album.TrackIndex(), 0);
    }
    steps.clear();

    // One file: loaded with nothing to advance to; Play plays it once.
    ASSERT_TRUE(album.Confirm({File("only.mp3")}));
    EXPECT_FALSE(album.Playing());
    album.PlayPressed();
    player.Play();
    ASSERT_TRUE(WaitForSteps(1));
    EXPECT_EQ(steps[0].loaded, "only.mp3");
    EXPECT_EQ(steps[0].status, Status::mpsStopped);

    // Stop ends continuous play on the first file; a single file chosen unselects the album.
    ASSERT_TRUE(album.Start({File("a.mp3", 2000), File("b.mp3")}));
    EXPECT_TRUE(album.Next());
    player.Stop();
    album.StopPressed();
    EXPECT_EQ(Loaded(), "a.mp3");
    EXPECT_FALSE(album.Playing());
    album.FileChosen();
    EXPECT_FALSE(album.Selected());
    album.PlayPressed();
    EXPECT_FALSE(album.Playing());
}

TEST_F(AlbumSequenceTest, NewListWhileAFileWaitsOrPlaysStartsWithItsFirstFile)
{
    for (const bool paused : {true, false}) {
        SCOPED_TRACE(paused ? "paused" : "playing");
        steps.clear();
        player.SetFileName(File("single.mp3", 2000));
        player.Play();
        if (paused)
            player.Pause();
        ASSERT_TRUE(album.Confirm({File("a.mp3"), File("b.mp3")}));
        EXPECT_EQ(Loaded(), "a.mp3");
        EXPECT_EQ(player.Status(), Status::mpsStopped);
        // The replaced file's end of play arrives and changes nothing.
        DrainFor(player, 100ms);
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_EQ(steps[0].loaded, "a.mp3");
        EXPECT_EQ(steps[0].status, Status::mpsStopped);
        EXPECT_EQ(album.TrackIndex(), 0);

        album.PlayPressed();
        player.Play();
        ASSERT_TRUE(WaitForSteps(3));
        EXPECT_EQ(Played("a.mp3"), (std::vector<std::string>{"a.mp3", "b.mp3"}));
        EXPECT_EQ(Loaded(), "a.mp3");
    }
}

TEST_F(AlbumSequenceTest, NextAndPreviousActAtOnceAlsoWhilePaused)
{
    const std::vector<std::string> files = {File("a.mp3", 2000), File("b.mp3", 2000), File("c.mp3", 2000)};
    EXPECT_FALSE(album.Next()); // nothing chosen yet
    ASSERT_TRUE(album.Confirm(files));
    EXPECT_FALSE(album.Next()); // stopped
    ASSERT_TRUE(album.Start(files));

    // No event is delivered between the commands, so no file can end meanwhile.
    const struct {
        bool next;
        bool pauseFirst;
        bool acts;
        const char* loaded;
    } presses[] = {
        {false, false, false, "a.mp3"}, {true, false, true, "b.mp3"}, {true, true, true, "c.mp3"},
        {true, false, false, "c.mp3"},  {false, true, true, "b.mp3"}, {false, false, true, "a.mp3"},
    };
    for (const auto& press : presses) {
        if (press.pauseFirst)
            player.Pause();
        EXPECT_EQ(press.next ? album.Next() : album.Previous(), press.acts) << press.loaded;
        EXPECT_EQ(Loaded(), press.loaded);
        EXPECT_EQ(player.Status(), Status::mpsPlaying) << press.loaded;
    }
    EXPECT_EQ(album.TrackIndex(), 0);
    // The replaced playbacks' notices move nothing.
    player.Pause();
    DrainFor(player, 100ms);
    EXPECT_EQ(Loaded(), "a.mp3");
    EXPECT_EQ(player.Status(), Status::mpsPaused);
    EXPECT_TRUE(album.CanGoNext());
    EXPECT_FALSE(album.CanGoPrevious());
}

TEST_F(AlbumSequenceTest, RepeatSwitchesOnlyWhilePlayingAndHoldsTheFile)
{
    const std::vector<std::string> files = {File("a.mp3"), File("b.mp3")};
    ASSERT_TRUE(album.Confirm(files));
    EXPECT_FALSE(album.ToggleRepeat());
    album.PlayPressed();
    player.Play();
    EXPECT_TRUE(album.ToggleRepeat());
    EXPECT_TRUE(album.Repeat());
    EXPECT_FALSE(album.Next());
    ASSERT_TRUE(WaitForSteps(3));
    for (const Step& step : steps) {
        EXPECT_EQ(step.loaded, "a.mp3");
        EXPECT_EQ(step.status, Status::mpsPlaying);
    }
    // Off again: the file's end moves on.
    ASSERT_TRUE(DrainUntil(player, [&] { return player.Status() == Status::mpsPlaying; }));
    EXPECT_TRUE(album.ToggleRepeat());
    const size_t off = steps.size();
    ASSERT_TRUE(WaitForSteps(off + 1));
    EXPECT_EQ(steps[off].loaded, "b.mp3");
    // A new list and Stop both turn repeat off.
    EXPECT_TRUE(album.ToggleRepeat());
    player.Stop();
    album.StopPressed();
    EXPECT_FALSE(album.Repeat());
}

TEST_F(AlbumSequenceTest, FilesThatCannotOpenAreReportedOnceAndPassedOver)
{
    ASSERT_TRUE(album.Confirm({File("bad1.mp3"), File("2.mp3"), File("bad3.mp3"), File("4.mp3")}));
    EXPECT_EQ(errors, std::vector<std::string>{"unknown MPEG Audio format."});
    EXPECT_EQ(Loaded(), "2.mp3");
    EXPECT_EQ(album.TrackIndex(), 1);
    EXPECT_TRUE(album.Playing());

    album.PlayPressed();
    player.Play();
    ASSERT_TRUE(WaitForSteps(2));
    EXPECT_EQ(Played("2.mp3"), (std::vector<std::string>{"2.mp3", "4.mp3"}));
    EXPECT_EQ(steps[1].loaded, "2.mp3");
    EXPECT_EQ(steps[1].status, Status::mpsStopped);
    EXPECT_EQ(errors.size(), 2u);
    // Played again, the broken files are passed over in silence.
    album.PlayPressed();
    player.Play();
    ASSERT_TRUE(WaitForSteps(4));
    EXPECT_EQ(steps[2].loaded, "4.mp3");
    EXPECT_EQ(errors.size(), 2u);
}

// Missing files are passed over at once and told once per run: a lone one by its own text, a
// run by its count (the first named); the list plays on, and a second round tells nothing again.
TEST_F(AlbumSequenceTest, MissingFilesInARowAreToldOnceAsARun)
{
    std::vector<std::string> files{File("a.mp3"), TempPath("gone/one.mp3"), File("b.mp3")};
    for (int i = 0; i < 500; ++i)
        files.push_back(TempPath("gone/many" + std::to_string(i) + ".mp3"));
    files.push_back(File("c.mp3"));
    std::vector<std::string> named;
    album.OnLoadFailed = [&, told = album.OnLoadFailed](const std::exception_ptr& error) {
        named.push_back(Name(album.Loading()));
        told(error);
    };
    ASSERT_TRUE(album.Confirm(files));
    EXPECT_TRUE(errors.empty());
    album.PlayPressed();
    player.Play();
    ASSERT_TRUE(WaitForSteps(3));
    EXPECT_EQ(Played("a.mp3"), (std::vector<std::string>{"a.mp3", "b.mp3", "c.mp3"}));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], "ファイル " + files[1] + " は開けません");
    EXPECT_EQ(errors[1], "500 件のファイルが見つかりません");
    EXPECT_EQ(named, (std::vector<std::string>{"one.mp3", "many0.mp3"}));

    album.PlayPressed();
    player.Play();
    ASSERT_TRUE(WaitForSteps(6));
    EXPECT_EQ(steps[3].loaded, "b.mp3");
    EXPECT_EQ(errors.size(), 2u);
}

TEST_F(AlbumSequenceTest, ListWithNothingToPlayEndsAsAnEmptyOne)
{
    EXPECT_FALSE(album.Confirm({}));
    EXPECT_FALSE(album.Confirm({File("bad1.mp3"), File("bad2.mp3")}));
    EXPECT_EQ(errors.size(), 2u);
    EXPECT_FALSE(album.Selected());
    EXPECT_EQ(album.TrackCount(), 0);

    // While an album plays, an empty choice leaves the file playing, and its end advances nowhere.
    ASSERT_TRUE(album.Start({File("a.mp3", 100), File("b.mp3")}));
    EXPECT_FALSE(album.Confirm({}));
    EXPECT_EQ(player.Status(), Status::mpsPlaying);
    ASSERT_TRUE(WaitForSteps(1));
    EXPECT_EQ(steps[0].loaded, "a.mp3");
    EXPECT_EQ(steps[0].status, Status::mpsStopped);
    EXPECT_FALSE(album.Next());
}

// Seek, Stop, Next and Repeat while the next file is already decoded act as with nothing queued:
// on the file heard (the file after the command, then each file heard, a repeat by its position).
TEST_F(AlbumSequenceTest, TransportWhileTheNextFileIsQueuedActsOnTheFileHeard)
{
    test::SoundServer server;
    player.SetWaveFileName("");
    player.SetChangePosStep(100);
    std::vector<std::string> heard, seen[2];
    uint32_t last = 0;
    bool queued = false;
    player.OnNeedNext = [&](TMP3Player& p) { queued ? p.QueueNext(album.Following()) : void(); };
    player.OnChangeStatus = player.OnChangePosition = [&](TMP3Player& p) {
        album.PlayerChanged();
        if (p.Status() == Status::mpsPlaying && (Loaded() != heard.back() || p.Position() + 300 < last))
            heard.push_back(Loaded());
        last = p.Status() == Status::mpsPlaying ? p.Position() : last;
    };
    const auto repeat = [&] { album.ToggleRepeat(); };
    const std::function<void()> commands[] = {[&] { player.Seek(300); }, [&] { player.Stop(); },
                                              [&] { album.Next(); }, repeat, repeat}; // the last: off
    for (const auto& command : commands) {
        for (const bool q : {false, true}) {
            ASSERT_TRUE(album.Start({File("a.mp3", 30), File("b.mp3", 12)}));
            queued = q, heard = {Loaded()}, last = 0;
            if (&command == &commands[4])
                repeat();
            ASSERT_TRUE(DrainUntil(player, [&] { return player.Position() >= 150; }));
            EXPECT_EQ(player.QueuedAhead(), queued);
            command();
            seen[q] = {Loaded()};
            ASSERT_TRUE(DrainUntil(player, [&] { return heard.size() >= 2 || !album.Playing(); }));
            seen[q].insert(seen[q].end(), heard.begin(), heard.end());
            player.Stop();
            album.StopPressed();
            DrainFor(player, 50ms);
        }
        EXPECT_EQ(seen[true], seen[false]) << &command - commands;
    }
}

// The file to follow is opened in the background while the file before plays; whatever makes it
// no longer the one to follow gives that opening up at once: a stop, a seek back, closing, a new
// list, repeat switched on. The worker, which meanwhile waits at the end of the data, opens
// nothing itself.
TEST_F(AlbumSequenceTest, WhatMakesTheQueuedFileStaleCancelsItsOpening)
{
    player.OnNeedNext = [&](TMP3Player& p) {
        if (const std::string following = album.Following(); !following.empty())
            p.QueueNext(following);
    };
    std::atomic<int> openings{0}, onWorker{0};
    std::atomic<bool> holding{false}, cancelled{false};
    TLocationOpener::SetOpeningHook([&](const std::string&, const std::stop_token& stop) {
        onWorker += TMPThread::Current() != nullptr;
        if (openings++ > 0)
            return; // openings asked for after the command go ahead
        holding = true;
        std::mutex m;
        std::condition_variable_any slow;
        std::unique_lock held(m);
        cancelled = slow.wait_for(held, stop, 10s, [] { return false; }) || stop.stop_requested();
        holding = false;
    });
    struct HookGone {
        ~HookGone() { TLocationOpener::SetOpeningHook(nullptr); }
    } hookGone;

    const std::pair<const char*, std::function<void()>> commands[] = {
        {"stop", [&] { player.Stop(); }},
        {"seek back", [&] { player.Seek(0); }},
        {"close", [&] { player.Close(); }},
        {"new list",
         [&] {
             album.Confirm({File("n1.mp3"), File("n2.mp3")});
         }},
        {"repeat", [&] { EXPECT_TRUE(album.ToggleRepeat()); }},
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        openings = 0, cancelled = false;
        ASSERT_TRUE(album.Start({File("c1.mp3", 40), File("c2.mp3")}));
        ASSERT_TRUE(DrainUntil(player, [&] { return holding.load(); }));
        command();
        ASSERT_TRUE(DrainUntil(
            player, [&] { return !holding; }, 2s))
            << "the opening went on";
        EXPECT_TRUE(cancelled);
        player.Stop();
        album.StopPressed();
        DrainFor(player, 50ms);
    }
    EXPECT_EQ(onWorker, 0);
}

} // namespace
} // namespace pt4
