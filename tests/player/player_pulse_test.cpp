// The player component playing through a real sound server, PulseAudio and PipeWire in turn: a
// private server with a null sink whose monitor is recorded and compared with the decoded PCM.
#include "mp3plyr/errors.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/runtime/exception_display.h"
#include "mp3plyr/runtime/message_window.h"
#include "output/support/pcm_signal.h"
#include "output/support/pulse_daemon.h"
#include "support/player_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pt4 {
namespace {

using namespace pt4::testing;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kMonitorDelay = 400ms;
constexpr size_t kFrameSamples = 1152;

size_t Frames(std::chrono::milliseconds time)
{
    return size_t(time.count()) * 44100 / 1000;
}

// Where PCM frames [pcmFrame, pcmFrame + length) appear in the recording, within `tolerance`.
std::optional<size_t> FindSegment(const std::vector<int16_t>& recording, const std::vector<int16_t>& pcm,
                                  size_t pcmFrame, size_t length, int tolerance)
{
    const size_t recordedFrames = recording.size() / 2;
    for (size_t r = 0; r + length <= recordedFrames; ++r) {
        bool match = true;
        for (size_t i = 0; i < length && match; ++i)
            for (size_t c = 0; c < 2 && match; ++c)
                match = std::abs(recording[2 * (r + i) + c] - pcm[2 * (pcmFrame + i) + c]) <= tolerance;
        if (match)
            return r;
    }
    return std::nullopt;
}

size_t FirstSoundingFrame(const std::vector<int16_t>& samples)
{
    const auto it = std::find_if(samples.begin(), samples.end(), [](int16_t v) { return v != 0; });
    return size_t(it - samples.begin()) / 2;
}

using test::ServerKind;

class PlayerPulse : public ::testing::TestWithParam<ServerKind> {
protected:
    static void SetUpTestSuite()
    {
        // Three seconds of the demo clip, its information frame left out.
        auto frames = DemoFrames();
        frames.resize(116);
        clipBytes_ = Join(frames);
        clip_ = TempPath("pulse-clip.mp3");
        WriteFileBytes(clip_, clipBytes_);
        pcm_ = AsSamples(DecodeAll(clipBytes_));
    }
    static void TearDownTestSuite() { daemon_.reset(); }

    void SetUp() override
    {
        if (!daemon_ || daemon_->Kind() != GetParam()) {
            daemon_.reset();
            daemon_ = std::make_unique<test::SoundServer>(GetParam());
        }
        player.SetAutoPlay(false);
        player.OnEndPlay = [this](TMP3Player& p, TMP3EndPlayReason reason) {
            if (const std::optional<TMP3PlayError> error = p.LastError())
                endError = error->Text;
            endReason = reason;
            endTime = Clock::now();
        };
        player.OnChangePosition = [this](TMP3Player&) { positionTimes.push_back(Clock::now()); };
        player.SetFileName(clip_);
    }

    bool PlayToTheEnd()
    {
        return DrainUntil(
            player, [&] { return endReason.has_value(); }, 20s);
    }

    static std::unique_ptr<test::SoundServer> daemon_;
    static std::vector<uint8_t> clipBytes_;
    static std::string clip_;
    static std::vector<int16_t> pcm_;

    TMP3Player player;
    std::optional<TMP3EndPlayReason> endReason;
    std::string endError; // the failure the last end of play told
    Clock::time_point endTime;
    std::vector<Clock::time_point> positionTimes;
};

std::unique_ptr<test::SoundServer> PlayerPulse::daemon_;
std::vector<uint8_t> PlayerPulse::clipBytes_;
std::string PlayerPulse::clip_;
std::vector<int16_t> PlayerPulse::pcm_;

INSTANTIATE_TEST_SUITE_P(Servers, PlayerPulse,
                         ::testing::Values(ServerKind::PulseAudio, ServerKind::PipeWire),
                         [](const ::testing::TestParamInfo<ServerKind>& info) {
                             return test::ServerName(info.param);
                         });

TEST_P(PlayerPulse, PlaysTheDecodedPcmAndEndsOnlyAfterItWasHeard)
{
    test::MonitorRecorder recorder;
    const auto started = Clock::now();
    player.Play();
    ASSERT_TRUE(PlayToTheEnd());
    EXPECT_EQ(*endReason, TMP3EndPlayReason::mepEndOfStream);
    std::this_thread::sleep_for(kMonitorDelay);
    const std::vector<int16_t> recording = recorder.Stop();

    // Placed by a distinctive stretch one second in; the music's quiet start makes its first
    // samples a poor anchor.
    const auto found = FindSegment(recording, pcm_, Frames(1000ms), 2000, 1);
    ASSERT_TRUE(found) << "the decoded PCM is not in the recording";
    const long offset = long(*found) - long(Frames(1000ms));
    const size_t firstSound = FirstSoundingFrame(pcm_);
    // A monitor may miss the first milliseconds after the sink wakes.
    const size_t from = std::max(firstSound + Frames(50ms), size_t(std::max(0L, -offset)));
    ASSERT_LE(size_t(long(pcm_.size() / 2) + offset), recording.size() / 2) << "the end was not heard";
    EXPECT_LE(
        test::MaxDifference(recording, size_t(long(from) + offset), pcm_, from, pcm_.size() / 2 - from, {}),
        1);
    // The end is reported once the sound has been played, not when the last frame was decoded.
    const auto duration = std::chrono::milliseconds(pcm_.size() / 2 * 1000 / 44100);
    EXPECT_GE(endTime - started, duration - 100ms);

    // Position notices about every 400 ms while it played.
    ASSERT_GE(positionTimes.size(), 5u);
    std::vector<double> gaps;
    for (size_t i = 1; i < positionTimes.size(); ++i)
        gaps.push_back(
            std::chrono::duration<double, std::milli>(positionTimes[i] - positionTimes[i - 1]).count());
    std::nth_element(gaps.begin(), gaps.begin() + long(gaps.size() / 2), gaps.end());
    EXPECT_NEAR(gaps[gaps.size() / 2], 400.0, 120.0);
}

// The window's first-start volume, 10, is heard as a gain of 0.1 (-20 dB) on every server.
TEST_P(PlayerPulse, VolumeAndBalanceShapeWhatIsHeard)
{
    player.SetVolume(10);
    player.SetVolBalance(-100);
    test::MonitorRecorder recorder;
    player.Play();
    ASSERT_TRUE(PlayToTheEnd());
    std::this_thread::sleep_for(kMonitorDelay);
    const std::vector<int16_t> recording = recorder.Stop();
    // Left at a tenth, right silent: the stretch one second in, scaled.
    std::vector<int16_t> expected(pcm_.size());
    for (size_t i = 0; i < pcm_.size(); i += 2) {
        expected[i] = int16_t(std::lround(pcm_[i] * 6553 / 65535.0));
        expected[i + 1] = 0;
    }
    const auto found = FindSegment(recording, expected, Frames(1000ms), Frames(500ms), 2);
    EXPECT_TRUE(found) << "left channel at a tenth with a silent right channel not found";
    bool rightSilent = true;
    for (size_t i = 1; i < recording.size(); i += 2)
        rightSilent = rightSilent && recording[i] == 0;
    EXPECT_TRUE(rightSilent) << "balance -100 left sound in the right channel";
}

TEST_P(PlayerPulse, PauseHoldsTheSoundAndSeekingWhilePausedContinuesAtTheFrame)
{
    player.Play();
    std::this_thread::sleep_for(800ms);
    player.Pause();
    DrainFor(player, 50ms);
    test::MonitorRecorder recorder; // the paused sink gives silence
    player.Seek(2000);              // frame 77, at 2011 ms
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsPaused);
    std::this_thread::sleep_for(500ms);
    player.Resume();
    ASSERT_TRUE(PlayToTheEnd());
    std::this_thread::sleep_for(kMonitorDelay);
    const std::vector<int16_t> recording = recorder.Stop();

    // Nothing was heard while paused, also not after the seek.
    const size_t firstSound = FirstSoundingFrame(recording);
    EXPECT_GE(firstSound, Frames(400ms));
    // The first frames after a seek are decoded against the old overlap and reservoir; from the
    // third frame on the sound is the continuous decode, placed where the seek put it.
    const size_t landed = 77 * kFrameSamples;
    const auto third = FindSegment(recording, pcm_, landed + 3 * kFrameSamples, 2000, 1);
    ASSERT_TRUE(third) << "the sound after the seek is not the decode from frame 80";
    const long offset = long(*third) - long(firstSound);
    EXPECT_NEAR(double(offset), double(3 * kFrameSamples), double(Frames(20ms)));
}

// What is heard follows the controls at once, not after the two seconds queued: a pause is
// silent within 50 ms of sound, and a new equalizer preset is heard within 300 ms (the queued
// sound is played again from the position heard, with the new settings).
TEST_P(PlayerPulse, PauseIsSilentAtOnceAndAPresetChangeIsHeardWithin300Ms)
{
    // Delivers the player's notices for a while, as a window's event loop would.
    const auto run = [&](std::chrono::milliseconds time) {
        const auto until = Clock::now() + time;
        while (Clock::now() < until)
            if (player.MessageWindow().WaitForMessage(10))
                player.MessageWindow().DispatchMessages();
    };
    test::MonitorRecorder recorder;
    player.Play();
    run(700ms);
    const size_t pausedAt = Frames(std::chrono::milliseconds(player.Position()));
    player.Pause();
    run(600ms);
    player.Resume();
    run(600ms);
    const size_t changedAt = Frames(std::chrono::milliseconds(player.Position()));
    for (int32_t band = 0; band < player.EqualizerCount(); ++band)
        player.SetEqualizerValue(band, -100);
    run(800ms);
    player.Stop();
    std::this_thread::sleep_for(kMonitorDelay);
    const std::vector<int16_t> recording = recorder.Stop();
    ASSERT_GT(pcm_.size() / 2, changedAt + Frames(800ms)) << "the clip is too short";

    // The sound before the pause, placed in the decode.
    const test::Silence pause = test::LongestInnerSilence(recording);
    ASSERT_GE(pause.frames, Frames(400ms)) << "the pause was not heard";
    const size_t tail = std::min(pause.start, Frames(50ms));
    const std::span<const int16_t> lastBefore(recording.data() + 2 * (pause.start - tail), 2 * tail);
    const auto before = test::Align(lastBefore, pcm_, {}, 1, pcm_.size() / 2);
    ASSERT_TRUE(before) << "the sound before the pause is not the decode";
    const size_t stoppedAt = before->pcmFrame + tail;
    EXPECT_LE(stoppedAt, pausedAt + Frames(50ms)) << "sound went on after the pause";
    EXPECT_GE(stoppedAt + Frames(50ms), pausedAt) << "the position ran ahead of the sound";

    // After the pause the decode goes on, unchanged, up to where the new preset is heard.
    const size_t resumedFrame = pause.start + pause.frames;
    const auto after = test::Align({recording.data() + 2 * resumedFrame, recording.size() - 2 * resumedFrame},
                                   pcm_, {}, 1, Frames(100ms), stoppedAt - std::min(stoppedAt, Frames(50ms)));
    ASSERT_TRUE(after) << "the sound after the pause is not the decode";
    const long offset = long(resumedFrame + after->recordedFrame) - long(after->pcmFrame);
    size_t frame = after->pcmFrame;
    while (frame + 64 < pcm_.size() / 2 && size_t(long(frame) + offset) + 64 < recording.size() / 2 &&
           test::MaxDifference(recording, size_t(long(frame) + offset), pcm_, frame, 64, {}) <= 1)
        frame += 64;
    RecordProperty("preset_heard_after_ms", int((long(frame) - long(changedAt)) * 1000 / 44100));
    std::printf("%s: pause silent %.0f ms after the call's position, preset heard %.0f ms after\n",
                test::ServerName(GetParam()), (double(stoppedAt) - double(pausedAt)) * 1000 / 44100,
                (double(frame) - double(changedAt)) * 1000 / 44100);
    EXPECT_LE(frame, changedAt + Frames(300ms)) << "the new preset waited for the queued sound";
    EXPECT_GE(frame + Frames(50ms), changedAt) << "the sound changed before the preset did";
}

TEST_P(PlayerPulse, StopDropsWhatWasQueued)
{
    test::MonitorRecorder recorder;
    player.Play();
    std::this_thread::sleep_for(700ms);
    player.Stop();
    std::this_thread::sleep_for(1000ms);
    const std::vector<int16_t> recording = recorder.Stop();
    // Two seconds were queued when it stopped; only what had played may be heard.
    EXPECT_LT(test::SoundingFrames(recording), Frames(1000ms));
    EXPECT_GT(test::SoundingFrames(recording), Frames(300ms));
}

TEST_P(PlayerPulse, WithoutAServerPlayFailsAtOnceAndStaysStopped)
{
    const std::string server = std::getenv("PULSE_SERVER");
    setenv("PULSE_SERVER", ("unix:" + TempPath("no-server-here")).c_str(), 1);
    // An open stream keeps the connection it was made on; a new one goes to the server named now.
    const auto started = Clock::now();
    EXPECT_THROW(player.Play(), EMP3Error);
    EXPECT_LT(Clock::now() - started, 3s);
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsStopped);
    setenv("PULSE_SERVER", server.c_str(), 1);
    player.Play();
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsPlaying);
    player.Stop();
}

// A server that hangs during play: play ends with the server's silence reported after five
// seconds, and the next Play gives up after a second.
TEST_P(PlayerPulse, HangingServerEndsPlayWithAMessage)
{
    player.Play();
    DrainFor(player, 500ms);
    daemon_->Freeze();
    const auto frozen = Clock::now();
    const bool ended = PlayToTheEnd();
    const double endedAfter = std::chrono::duration<double>(Clock::now() - frozen).count();
    const auto replaying = Clock::now();
    std::string replayError;
    try {
        player.Play();
    } catch (const EMP3Error& e) {
        replayError = e.what();
    }
    const double replayTook = std::chrono::duration<double>(Clock::now() - replaying).count();
    daemon_->Thaw();
    const std::string shown = endError;
    std::printf("hanging %s: play ended after %.2f s, the next Play gave up after %.2f s\n",
                test::ServerName(GetParam()), endedAfter, replayTook);
    ASSERT_TRUE(ended);
    EXPECT_EQ(*endReason, TMP3EndPlayReason::mepError);
    EXPECT_EQ(shown, "the sound server does not respond(TSoundOut.WaveWrite)");
    EXPECT_GE(endedAfter, 4.5);
    EXPECT_LT(endedAfter, 7.0);
    EXPECT_EQ(replayError, "the sound server does not respond(TSoundOut.Open:WaveOutOpen)");
    EXPECT_LT(replayTook, 1.5);
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsStopped);
}

// Stopping and destroying players whose server hangs takes at most about a second each.
TEST_P(PlayerPulse, HangingServerHoldsNeitherStopNorDestruction)
{
    auto other = std::make_unique<TMP3Player>();
    other->SetAutoPlay(false);
    other->SetFileName(clip_);
    player.Play();
    other->Play();
    DrainFor(player, 300ms);
    daemon_->Freeze();
    auto timed = [](const std::function<void()>& work) {
        const auto start = Clock::now();
        work();
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    const double stopTook = timed([&] { player.Stop(); });
    const double destroyTook = timed([&] { other.reset(); });
    daemon_->Thaw();
    std::printf("hanging %s: Stop took %.2f s, destruction %.2f s\n", test::ServerName(GetParam()), stopTook,
                destroyTook);
    EXPECT_LT(stopTook, 1.5);
    EXPECT_LT(destroyTook, 1.5);
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsStopped);
}

} // namespace
} // namespace pt4

namespace pt4 {
namespace {

TEST(PlayerLostServer, PlayWaitsForTheServerAndTheLossIsReportedOnce)
{
    auto daemon = std::make_unique<test::SoundServer>();
    auto frames = DemoFrames();
    const std::string clip = TempPath("lost-server.mp3");
    WriteFileBytes(clip, Join(frames));
    int shown = 0;
    {
        TMP3Player player;
        player.SetAutoPlay(false);
        std::optional<TMP3EndPlayReason> reason;
        // The loss is told with a change of status; play does not end for it.
        player.OnChangeStatus = [&](TMP3Player& p) {
            if (const std::optional<TMP3PlayError> error = p.LastError()) {
                ++shown;
                EXPECT_EQ(error->Kind, TErrorKind::Device);
                EXPECT_EQ(error->Reason, "the sound server is gone; trying to reach it again");
            }
        };
        player.OnEndPlay = [&](TMP3Player& p, TMP3EndPlayReason r) {
            shown += p.LastError().has_value();
            reason = r;
        };
        player.SetFileName(clip);
        player.Play();
        DrainFor(player, 800ms);
        daemon->Kill();
        // The file, its position and the status stay while the player waits for a server.
        const auto deadline = Clock::now() + 3s;
        uint32_t position = 0;
        while (Clock::now() < deadline) {
            EXPECT_NO_THROW(position = player.Position());
            DrainFor(player, 100ms);
        }
        EXPECT_FALSE(reason.has_value());
        EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsPlaying);
        EXPECT_EQ(player.FileName(), clip);
        EXPECT_LT(position, 2000u);
        const auto stopping = Clock::now();
        player.Stop();
        EXPECT_LT(Clock::now() - stopping, 1s);
        EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsStopped);
    }
    EXPECT_EQ(shown, 1);
}

} // namespace
} // namespace pt4
