// A station that never answers, or a pipe nobody writes, keeps the player connecting; Stop, Close
// and another open end the attempt at once, silently; a replaced attempt's result changes nothing.
#include "cli/support/radio_server.h"
#include "cli/support/silent_station.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/player/album_sequence.h"
#include "mp3plyr/runtime/exception_display.h"
#include "mp3plyr/runtime/message_window.h"
#include "support/player_fixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

namespace pt4 {
namespace {

using namespace pt4::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(PlayerConnect, StopCloseAndAnotherOpenEachEndTheAttemptAtOnce)
{
    test::SilentStation station;
    const std::string clip = DemoClipPath();
    std::vector<std::string> shown;
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const int savedInput = dup(STDIN_FILENO);
    dup2(pipeEnds[0], STDIN_FILENO); // a pipe whose writer never writes

    const struct {
        std::string location, cancel;
    } cases[] = {{station.Url(), "stop"}, {station.Url(), "close"}, {station.Url(), "open"}, {"-", "stop"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location + " " + c.cancel);
        auto player = std::make_unique<TMP3Player>();
        player->SetAutoPlay(false);
        int statusChanges = 0;
        std::optional<TMP3EndPlayReason> ended;
        player->OnChangeStatus = [&](TMP3Player& p) {
            if (const std::optional<TMP3PlayError> error = p.LastError())
                shown.push_back(error->Text);
            ++statusChanges;
        };
        player->OnEndPlay = [&](TMP3Player&, TMP3EndPlayReason reason) { ended = reason; };
        player->SetFileName(c.location); // a station never answering: a synchronous open would hang
        player->Play();                  // to play once connected
        DrainFor(*player, 300ms);
        EXPECT_TRUE(player->Connecting());
        EXPECT_EQ(player->FileName(), c.location);
        EXPECT_EQ(statusChanges, 1);
        ASSERT_TRUE(c.location == "-" || station.Accept());

        const auto cancelling = Clock::now();
        if (c.cancel == "stop")
            player->Stop();
        else if (c.cancel == "close")
            player->Close();
        else
            player->SetFileName(clip);
        EXPECT_FALSE(player->Connecting());
        EXPECT_LT(c.location == "-" ? Clock::duration() : station.HangUp() - cancelling, 200ms);
        DrainFor(*player, 100ms);
        EXPECT_EQ(statusChanges, 2);
        EXPECT_FALSE(ended.has_value()) << "nothing played, so play did not end";
        EXPECT_EQ(player->FileName(), c.cancel == "open" ? clip : std::string());
        player.reset(); // waits for the attempt's thread
        EXPECT_LT(Clock::now() - cancelling, 200ms);
    }
    EXPECT_TRUE(shown.empty()) << shown.front();

    // An attempt that has its result but is replaced before it is taken: its stream goes, and the
    // station being opened stays the current one.
    const std::string list = TempPath("clip.m3u");
    std::ofstream(list) << clip << "\n";
    TMP3Player player;
    player.SetAutoPlay(false);
    player.SetFileName(list);
    while (player.MessageWindow().QueuedMessages() < 2) // its status notice and its result
        std::this_thread::sleep_for(10ms);
    player.SetFileName(station.Url());
    DrainFor(player, 100ms);
    EXPECT_EQ(player.FileName(), station.Url()) << "the replaced attempt's file was opened";

    // A station that refuses, first of a list: the usual message, and the list moves on.
    TAlbumSequence album(player);
    album.OnLoadFailed = [&](const std::exception_ptr& error) { shown.push_back(ExceptionText(error)); };
    player.SetWaveFileName(TempPath("out.wav"));
    ASSERT_TRUE(album.Start({"http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/", clip}));
    ASSERT_TRUE(DrainUntil(player, [&] { return player.Status() == TMP3PlayerStatus::mpsPlaying; }));
    ASSERT_EQ(shown.size(), 1u);
    // In the window's words, not the HTTP library's.
    EXPECT_NE(shown[0].find("接続を拒否されました"), std::string::npos) << shown[0];
    EXPECT_EQ(player.FileName(), clip);

    dup2(savedInput, STDIN_FILENO);
    close(savedInput);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
}

// A location opened in the background that fails is told by the change of status that ends the
// attempt: the handler reads the failure and the location from LastError, and nothing is shown.
TEST(PlayerConnect, AFailedBackgroundOpenIsToldWithItsChangeOfStatus)
{
    int displayed = 0;
    SetExceptionDisplay([&](const std::exception_ptr&) { ++displayed; });
    TMP3Player player;
    player.SetAutoPlay(false);
    const std::string url = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/";
    std::vector<TMP3PlayError> told;
    std::optional<TMP3EndPlayReason> ended;
    player.OnChangeStatus = [&](TMP3Player& p) {
        if (const std::optional<TMP3PlayError> error = p.LastError())
            told.push_back(*error);
    };
    player.OnEndPlay = [&](TMP3Player&, TMP3EndPlayReason reason) { ended = reason; };
    player.SetFileName(url);
    ASSERT_TRUE(DrainUntil(player, [&] { return !told.empty(); }));
    DrainFor(player, 50ms);
    SetExceptionDisplay(nullptr);
    EXPECT_EQ(displayed, 0);
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].Location, url);
    EXPECT_FALSE(told[0].Text.empty());
    EXPECT_NE(told[0].Id, 0u);
    EXPECT_FALSE(player.Connecting());
    EXPECT_EQ(player.FileName(), "");
    EXPECT_FALSE(player.LastError().has_value());
    EXPECT_FALSE(ended.has_value()) << "nothing played, so play did not end";
}

} // namespace
} // namespace pt4
