// The player component against the WAVE file output: states, events, end of play, seeking,
// properties and the exception hand-over. No sound server is needed.
#include "mp3plyr/errors.h"
#include "mp3plyr/input/memory_stream.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/output/exception_display.h"
#include "mp3plyr/output/message_window.h"
#include "mp3plyr/output/messages.h"
#include "support/player_fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace pt4
{
namespace
{

using namespace pt4::testing;
using namespace std::chrono_literals;

struct Recorder {
    std::vector<std::string> events;
    int positions = 0;
    std::optional<TMP3EndPlayReason> endReason;

    void Attach(TMP3Player& player)
    {
        player.OnChangeStatus = [this](TMP3Player& p) {
            events.push_back(std::string("status:") + char('0' + int(p.Status())));
        };
        player.OnChangePosition = [this](TMP3Player& p) {
            ++positions;
            events.push_back("position:" + std::to_string(p.Position()));
        };
        player.OnEndPlay = [this](TMP3Player&, TMP3EndPlayReason reason) {
            endReason = reason;
            events.push_back(std::string("end:") + char('0' + int(reason)));
        };
    }
};

class PlayerTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        clip = TempPath("clip.mp3");
        WriteFileBytes(clip, Join(DemoFrames()));
        wave = TempPath("out.wav");
        player.SetAutoPlay(false);
        player.SetWaveFileName(wave);
        recorder.Attach(player);
    }

    std::string clip;
    std::string wave;
    TMP3Player player;
    Recorder recorder;
};

TEST_F(PlayerTest, ClosedPlayerCanOnlyOpen)
{
    EXPECT_EQ(player.Capabilities(), mpcOpen);
    player.Play();
    player.Pause();
    player.Resume();
    player.Stop();
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsStopped);
    EXPECT_EQ(player.Length(), 0u);
    EXPECT_EQ(player.Title(), "");
    DrainFor(player, 20ms);
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(PlayerTest, PlaysToTheEndExactlyWhatTheDecodeLoopGives)
{
    player.SetFileName(clip);
    EXPECT_EQ(player.Capabilities(), mpcOpen | mpcClose | mpcPlay | mpcIdle);
    EXPECT_EQ(player.Title(), "clip.mp3"); // no tags: the file name
    player.Play();
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsPlaying);
    ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
    EXPECT_EQ(*recorder.endReason, TMP3EndPlayReason::mepEndOfStream);
    // Still open, stopped and rewound: playing again starts from the beginning.
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsStopped);
    EXPECT_EQ(player.FileName(), clip);
    EXPECT_EQ(WavePcm(ReadFileBytes(wave)), DecodeAll(ReadFileBytes(clip)));

    recorder.endReason.reset();
    player.Play();
    ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
    EXPECT_EQ(WavePcm(ReadFileBytes(wave)), DecodeAll(ReadFileBytes(clip)));
}

// A stream whose every read takes a while.
class SlowStream : public TMPStream
{
  public:
    SlowStream(std::vector<uint8_t> bytes, std::chrono::milliseconds delay)
        : inner_(std::move(bytes)), delay_(delay)
    {
    }
    int32_t Read(void* buffer, int32_t count) override
    {
        std::this_thread::sleep_for(delay_);
        return inner_.Read(buffer, count);
    }
    int32_t Seek(int64_t offset, int origin) override { return inner_.Seek(offset, origin); }
    int32_t Size() override { return inner_.Size(); }

  private:
    TMPMemoryStream inner_;
    std::chrono::milliseconds delay_;
};

TEST_F(PlayerTest, StopReportsStatusThenEndThenPositionZero)
{
    // Slow reads keep the file output from reaching the end before the stop.
    player.OpenStream(new SlowStream(Join(DemoFrames()), 20ms), kStreamSeekable | kStreamOwned);
    player.Play();
    player.Pause();
    DrainFor(player, 20ms);
    recorder.events.clear();
    player.Stop();
    DrainFor(player, 50ms);
    // The status comes before the end; position notices (the stop's own, or one the output had
    // queued before it) all report the rewound position.
    std::vector<std::string> others;
    int positions = 0;
    for (const auto& event : recorder.events) {
        if (event.rfind("position:", 0) == 0) {
            EXPECT_EQ(event, "position:0");
            ++positions;
        } else {
            others.push_back(event);
        }
    }
    EXPECT_EQ(others, (std::vector<std::string>{"status:0", "end:1"}));
    EXPECT_GE(positions, 1);
    EXPECT_EQ(player.Capabilities(), mpcOpen | mpcClose | mpcPlay | mpcIdle);
}

TEST_F(PlayerTest, BurstOfPositionNoticesGivesOneEvent)
{
    player.SetFileName(clip);
    DrainFor(player, 20ms);
    recorder.positions = 0;
    std::thread poster([&] {
        for (int i = 0; i < 10; ++i)
            player.MessageWindow().PostPlain(MP_POSITION);
    });
    poster.join();
    player.MessageWindow().DispatchMessages();
    EXPECT_EQ(recorder.positions, 1);
}

TEST_F(PlayerTest, PropertySettersIgnoreOutOfRangeValues)
{
    player.SetChangePosStep(50);
    EXPECT_EQ(player.ChangePosStep(), 400);
    player.SetChangePosStep(100);
    EXPECT_EQ(player.ChangePosStep(), 100);
    player.SetVolume(101);
    EXPECT_EQ(player.Volume(), 100u);
    player.SetVolume(30);
    EXPECT_EQ(player.Volume(), 30u);
    player.SetVolBalance(-101);
    EXPECT_EQ(player.VolBalance(), 0);
    player.SetVolBalance(-100);
    EXPECT_EQ(player.VolBalance(), -100);
    player.SetEqualizerCount(0);
    EXPECT_EQ(player.EqualizerCount(), 6);
    player.SetEqualizerCount(33); // beyond the 32 bands: clamped
    EXPECT_EQ(player.EqualizerCount(), 32);
}

TEST_F(PlayerTest, VolumeZeroFromAStoredLayoutTakesTheDeviceVolume)
{
    player.SetVolume(40);
    player.BeginLoading();
    player.SetVolume(0);
    player.Loaded();
    EXPECT_GT(player.Volume(), 0u);
    EXPECT_LE(player.Volume(), 100u);
}

TEST_F(PlayerTest, AutoPlayStartsAnOpenStoppedStream)
{
    player.SetFileName(clip);
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsStopped);
    player.SetAutoPlay(false);
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsStopped);
    player.SetAutoPlay(true);
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsPlaying);
    player.Stop();
}

TEST_F(PlayerTest, FileThatCannotBeOpenedKeepsTheOpenStreamAndItsName)
{
    player.SetFileName(clip);
    try {
        player.SetFileName(TempPath("missing.mp3"));
        FAIL() << "no exception";
    } catch (const EMP3Error& error) {
        EXPECT_NE(std::string(error.what()).find("は開けません"), std::string::npos);
    }
    EXPECT_EQ(player.FileName(), clip);
    EXPECT_TRUE(player.Capabilities() & mpcPlay);
}

TEST_F(PlayerTest, UnknownFormatClosesAndSaysSo)
{
    const std::string junk = TempPath("junk.mp3");
    WriteFileBytes(junk, std::vector<uint8_t>(4000, 0x11));
    player.SetFileName(clip);
    EXPECT_THROW(
        {
            try {
                player.SetFileName(junk);
            } catch (const EMP3Error& error) {
                EXPECT_STREQ(error.what(), "unknown MPEG Audio format.");
                throw;
            }
        },
        EMP3Error);
    EXPECT_EQ(player.Capabilities(), mpcOpen);
    EXPECT_EQ(player.FileName(), "");
}

TEST_F(PlayerTest, SeekLandsOnFramesAndIgnoresNegativeTimes)
{
    player.SetFileName(clip);
    player.Play();
    player.Pause();
    const uint32_t length = player.Length();
    ASSERT_GT(length, 5000u);

    player.Seek(-1);
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsPaused);

    player.Seek(2000);
    // 2000 ms at 44.1 kHz stereo is 352800 bytes: frame 77 (rounded up), at 2011 ms.
    EXPECT_GE(player.Position(), 2011u);
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsPaused);

    player.Seek(int32_t(length) * 10); // beyond the end: the last whole frame
    player.Resume();
    ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
    EXPECT_EQ(*recorder.endReason, TMP3EndPlayReason::mepEndOfStream);
}

TEST_F(PlayerTest, SeekAfterTheDataEndedPlaysOnFromTheTarget)
{
    player.SetFileName(clip);
    DrainFor(player, 10ms);
    player.Play(); // queues the status and position notices
    // The file output takes the whole clip at once: wait until the worker has reached the end
    // and posted its notice as well, but do not deliver it yet.
    while (player.MessageWindow().QueuedMessages() < 3)
        std::this_thread::sleep_for(1ms);
    player.Seek(int32_t(player.Length()) - 1000);
    ASSERT_TRUE(DrainUntil(
        player, [&] { return recorder.endReason.has_value(); }, 10s))
        << "the seek left the player playing with an idle worker";
    EXPECT_EQ(*recorder.endReason, TMP3EndPlayReason::mepEndOfStream);
}

TEST_F(PlayerTest, EqualizerBandsAndIndexErrors)
{
    try {
        player.SetEqualizerValue(32, 0);
        FAIL() << "no exception";
    } catch (const EMP3Error& error) {
        EXPECT_NE(std::string(error.what()).find("(32)"), std::string::npos);
    }
    EXPECT_THROW(player.GetEqualizerFrequency(-1), EMP3Error);
    EXPECT_EQ(player.GetEqualizerFrequency(0), 0); // sub-band mode, nothing opened yet

    player.BeginLoading();
    player.SetEqualizerMode(TMP3EqualizerMode::memFreq);
    player.Loaded();
    const int expected[] = {60, 183, 560, 1712, 5234, 16000};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(player.GetEqualizerFrequency(i), expected[i]) << i;

    player.SetEqualizerRange(100, 50); // low above high: ignored
    EXPECT_EQ(player.GetEqualizerFrequency(0), 60);
}

TEST_F(PlayerTest, SubbandModeReportsSubbandCentresOnceOpened)
{
    player.SetFileName(clip);
    DrainFor(player, 20ms);
    EXPECT_EQ(player.GetEqualizerFrequency(0), 345);    // 44100 / 64 * 0.5, halves to even
    EXPECT_EQ(player.GetEqualizerFrequency(31), 21705); // 44100 / 64 * 31.5
}

// A stream whose middle cannot be read: opening it (front and tail) works, playing it fails
// once the first `good` bytes are behind.
class FailingStream : public TMPStream
{
  public:
    FailingStream(std::vector<uint8_t> bytes, int32_t good) : inner_(std::move(bytes)), good_(good) {}
    int32_t Read(void* buffer, int32_t count) override
    {
        if (inner_.Position() >= good_ && inner_.Position() < inner_.Size() - 16384)
            throw EMP3Error("read error");
        return inner_.Read(buffer, count);
    }
    int32_t Seek(int64_t offset, int origin) override { return inner_.Seek(offset, origin); }
    int32_t Size() override { return inner_.Size(); }

  private:
    TMPMemoryStream inner_;
    int32_t good_;
};

TEST_F(PlayerTest, WorkerExceptionIsShownOnTheOwnerThreadAndEndsPlay)
{
    std::vector<std::string> shown;
    const auto owner = std::this_thread::get_id();
    std::atomic<bool> shownOnOwner{true};
    SetExceptionDisplay([&](const std::exception_ptr& error) {
        shownOnOwner = shownOnOwner && std::this_thread::get_id() == owner;
        shown.push_back(ExceptionText(error));
    });
    const auto bytes = Join(DemoFrames());
    player.OpenStream(new FailingStream(bytes, 40000), kStreamSeekable | kStreamOwned);
    player.Play();
    ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
    SetExceptionDisplay(nullptr);
    EXPECT_EQ(*recorder.endReason, TMP3EndPlayReason::mepError);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "read error");
    EXPECT_TRUE(shownOnOwner);
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsStopped);
}

TEST(PlayerHandOver, DestroyingWhileAWorkerWaitsToShowAnErrorDoesNotDeadlock)
{
    // The owner never drains its queue: the worker waits in the hand-over while the owner
    // destroys the player, which stops and joins the worker.
    auto player = std::make_unique<TMP3Player>();
    player->SetAutoPlay(false);
    player->SetWaveFileName(TempPath("handover.wav"));
    player->OpenStream(new FailingStream(Join(DemoFrames()), 20000), kStreamSeekable | kStreamOwned);
    player->Play();
    ASSERT_TRUE(player->MessageWindow().WaitForMessage(10000));
    std::atomic<bool> destroyed{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 200 && !destroyed; ++i)
            std::this_thread::sleep_for(50ms);
        if (!destroyed) {
            std::fputs("deadlock: the player was not destroyed within 10 s\n", stderr);
            std::abort();
        }
    });
    player.reset();
    destroyed = true;
    watchdog.join();
}

// Each player decodes with its own decoder: a Layer III and a Layer II file, opened one after
// the other and played at the same time, both come out exactly as decoded alone.
TEST(TwoPlayers, PlayTwoFilesAtOnceEachExactly)
{
    const std::vector<uint8_t> layer3 = Join(DemoFrames());
    const std::vector<uint8_t> layer2 =
        ReadFileBytes(std::string(PT4_SOURCE_DIR) + "/tests/fixtures/layer12/l2_44k_stereo_192.mp2");
    struct Side {
        std::string file;
        std::string wave;
        TMP3Player player;
        bool ended = false;
    };
    Side sides[2];
    for (int i = 0; i < 2; ++i) {
        Side& side = sides[i];
        side.file = TempPath(i == 0 ? "both3.mp3" : "both2.mp2");
        side.wave = TempPath(i == 0 ? "both3.wav" : "both2.wav");
        std::vector<uint8_t> bytes;
        for (int copy = 0; copy < 6; ++copy) // long enough for the two workers to overlap
            bytes.insert(bytes.end(), (i == 0 ? layer3 : layer2).begin(), (i == 0 ? layer3 : layer2).end());
        WriteFileBytes(side.file, bytes);
        side.player.SetAutoPlay(false);
        side.player.SetWaveFileName(side.wave);
        side.player.OnEndPlay = [&side](TMP3Player&, TMP3EndPlayReason) { side.ended = true; };
        side.player.SetFileName(side.file);
    }
    sides[0].player.Play();
    sides[1].player.Play();
    for (Side& side : sides)
        ASSERT_TRUE(DrainUntil(side.player, [&side] { return side.ended; }));
    for (Side& side : sides)
        EXPECT_EQ(WavePcm(ReadFileBytes(side.wave)), DecodeAll(ReadFileBytes(side.file))) << side.file;
}

} // namespace
} // namespace pt4
