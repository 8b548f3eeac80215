// The wave output against a real sound server, PulseAudio and PipeWire in turn: a private server
// with a null sink whose monitor is recorded while the wave output plays known PCM.
#include "mp3plyr/errors.h"
#include "mp3plyr/output/sound_out.h"
#include "output/support/deadline.h"
#include "output/support/pcm_signal.h"
#include "output/support/pulse_daemon.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace pt4 {
namespace {

using namespace std::chrono_literals;
using test::Gains;
using test::kDeadlockGuardMs;
using test::kSinkRate;
using Clock = std::chrono::steady_clock;

constexpr size_t kFrameBytes = 4;
constexpr int32_t kBlockBytes = 88200; // half a second at 44100 Hz, 16-bit stereo
// Time the monitor needs to deliver what the sink has played.
constexpr auto kMonitorDelay = 600ms;

size_t Frames(std::chrono::milliseconds time)
{
    return size_t(time.count()) * kSinkRate / 1000;
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

using test::ServerKind;
const auto kServers = ::testing::Values(ServerKind::PulseAudio, ServerKind::PipeWire);

class SoundOutPulse : public ::testing::Test {
protected:
    // The server of the test's kind; one of a kind is kept for the tests that follow.
    static test::SoundServer& Server(ServerKind kind)
    {
        if (!daemon_ || daemon_->Kind() != kind) {
            daemon_.reset();
            daemon_ = std::make_unique<test::SoundServer>(kind);
        }
        return *daemon_;
    }
    static void TearDownTestSuite() { daemon_.reset(); }

    // Writes everything the way the player's worker does: as much as fits, then wait for room.
    static void Feed(TSoundOut& out, std::span<const uint8_t> bytes)
    {
        TMPSimpleEvent room;
        size_t offset = 0;
        while (offset < bytes.size()) {
            offset += size_t(out.Write(bytes.data() + offset, int32_t(bytes.size() - offset)));
            if (offset < bytes.size()) {
                room.ResetEvent();
                out.SetNotifyEvent(&room);
                ASSERT_EQ(room.WaitFor(kDeadlockGuardMs), kWaitSignalled) << "no block came back";
            }
        }
    }

    static void PlayOut(TSoundOut& out)
    {
        out.Flush();
        ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs)) << "the last block never came back";
    }

    // Sums GetDoneBytes until it reaches `bytes`.
    static int64_t WaitUntilPlayed(TSoundOut& out, int64_t bytes, int64_t played = 0)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(kDeadlockGuardMs);
        while (played < bytes) {
            EXPECT_LT(Clock::now(), deadline) << "the server's clock does not advance";
            if (Clock::now() > deadline)
                break;
            std::this_thread::sleep_for(5ms);
            played += out.GetDoneBytes();
        }
        return played;
    }

    static std::unique_ptr<test::SoundServer> daemon_;
};

std::unique_ptr<test::SoundServer> SoundOutPulse::daemon_;

// Every test of this kind runs on both servers.
class SoundOnServer : public SoundOutPulse, public ::testing::WithParamInterface<ServerKind> {
protected:
    void SetUp() override { SoundOutPulse::Server(GetParam()); }
    test::SoundServer& Server() { return SoundOutPulse::Server(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Servers, SoundOnServer, kServers,
                         [](const ::testing::TestParamInfo<ServerKind>& info) {
                             return test::ServerName(info.param);
                         });

TEST_P(SoundOnServer, PlaysExactlyWhatWasWritten)
{
    // Four full blocks, then a part block that only Flush hands over.
    const std::vector<int16_t> pcm = test::MakeNoise(Frames(2300ms), 1);
    TSoundOut out;
    ASSERT_EQ(out.Volume(), 100u) << "a new output plays the samples unchanged";
    test::MonitorRecorder recorder;
    out.Open();
    Feed(out, test::AsBytes(pcm));
    PlayOut(out);
    std::this_thread::sleep_for(kMonitorDelay);
    const std::vector<int16_t> recording = recorder.Stop();
    out.Close();

    const auto at = test::Align(recording, pcm, {}, 1, Frames(50ms));
    ASSERT_TRUE(at) << "the PCM's start is not in the recording";
    EXPECT_EQ(at->pcmFrame, 0u) << "the first frames were not heard";
    const size_t frames = pcm.size() / 2 - at->pcmFrame;
    EXPECT_LE(test::MaxDifference(recording, at->recordedFrame, pcm, at->pcmFrame, frames, {}), 1);
    // Nothing before it, nothing after it: every block was played once.
    EXPECT_EQ(test::SoundingFrames(recording), frames);
}

// The sink's own volume is the user's business: a new stream neither reads it nor copies it.
TEST_P(SoundOnServer, StreamIsNamedAfterTheProgramAndLeavesTheSinkVolumeAlone)
{
    ASSERT_TRUE(test::RunProgram({"pactl", "set-sink-volume", test::kSinkName, "50%"}));
    TSoundOut out;
    EXPECT_EQ(out.Volume(), 100u);
    out.Open();
    const std::vector<uint8_t> bytes = test::AsBytes(test::MakeNoise(Frames(1000ms), 2));
    ASSERT_EQ(out.Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    const std::optional<std::string> inputs = test::RunProgram({"pactl", "list", "sink-inputs"});
    out.Reset();
    out.Close();
    ASSERT_TRUE(test::RunProgram({"pactl", "set-sink-volume", test::kSinkName, "100%"}));
    ASSERT_TRUE(inputs);
    EXPECT_NE(inputs->find("application.name = \"Plumtone4\""), std::string::npos) << *inputs;
    EXPECT_NE(inputs->find("media.name = \"Plumtone4\""), std::string::npos) << *inputs;
    EXPECT_NE(inputs->find("front-left: 65536 / 100%"), std::string::npos) << *inputs;
}

struct GainCase {
    const char* name;
    uint32_t volume;
    int32_t balance;
    Gains gains;
    int32_t channels = 2;
};

class SoundOutPulseGains : public SoundOutPulse,
                           public ::testing::WithParamInterface<std::tuple<ServerKind, GainCase>> {
protected:
    void SetUp() override { Server(std::get<0>(GetParam())); }
};

// The server applies the stream's channel volumes from the first sample on; the expected gains
// are the volume words over 65535 (volume 50: 32767; balance 50 turns the left side down to
// half). A mono file is heard on both sides, and the balance acts on it as on stereo.
TEST_P(SoundOutPulseGains, VolumeAndBalanceBecomeTheChannelGains)
{
    const GainCase c = std::get<1>(GetParam());
    std::vector<int16_t> pcm = test::MakeNoise(Frames(1000ms), 3);
    std::vector<int16_t> written = pcm;
    if (c.channels == 1) {
        written.resize(pcm.size() / 2);
        for (size_t f = 0; f < written.size(); ++f) {
            written[f] = pcm[2 * f];
            pcm[2 * f + 1] = pcm[2 * f];
        }
    }
    TSoundOut out;
    out.SetChannels(c.channels);
    out.SetVolume(c.volume);
    out.SetBalance(c.balance);
    test::MonitorRecorder recorder;
    out.Open();
    Feed(out, test::AsBytes(written));
    PlayOut(out);
    std::this_thread::sleep_for(kMonitorDelay);
    const std::vector<int16_t> recording = recorder.Stop();
    out.Close();

    const auto at = test::Align(recording, pcm, c.gains, 2, Frames(50ms));
    ASSERT_TRUE(at) << "the scaled PCM is not in the recording";
    const size_t frames = pcm.size() / 2 - at->pcmFrame;
    EXPECT_LE(test::MaxDifference(recording, at->recordedFrame, pcm, at->pcmFrame, frames, c.gains), 2);
    // The gain measured over the whole recording, for the record.
    double sums[4] = {};
    for (size_t f = 0; f < frames && 2 * (at->recordedFrame + f) + 1 < recording.size(); ++f)
        for (size_t ch = 0; ch < 2; ++ch) {
            sums[ch] += std::abs(recording[2 * (at->recordedFrame + f) + ch]);
            sums[2 + ch] += std::abs(pcm[2 * (at->pcmFrame + f) + ch]);
        }
    std::printf("gain on %s, volume %u balance %d: left %.4f right %.4f\n",
                test::ServerName(std::get<0>(GetParam())), c.volume, c.balance, sums[0] / sums[2],
                sums[1] / sums[3]);
}

INSTANTIATE_TEST_SUITE_P(
    Mapping, SoundOutPulseGains,
    ::testing::Combine(
        kServers, ::testing::Values(GainCase{"Volume50", 50, 0, {32767 / 65535.0, 32767 / 65535.0}},
                                    GainCase{"Balance50", 100, 50, {32767 / 65535.0, 1.0}},
                                    GainCase{"BalanceLeft", 100, -100, {1.0, 0.0}},
                                    GainCase{"Volume10", 10, 0, {6553 / 65535.0, 6553 / 65535.0}},
                                    GainCase{"MonoBalance50", 100, 50, {32767 / 65535.0, 1.0}, 1},
                                    GainCase{"MonoBalanceMinus50", 100, -50, {1.0, 32767 / 65535.0}, 1})),
    [](const ::testing::TestParamInfo<std::tuple<ServerKind, GainCase>>& info) {
        return std::string(test::ServerName(std::get<0>(info.param))) + std::get<1>(info.param).name;
    });

// A volume change reaches the sound within the server's short latency, not after the two
// seconds that are queued in the ring.
TEST_P(SoundOnServer, VolumeChangeIsHeardAtOnce)
{
    const std::vector<int16_t> pcm = test::MakeNoise(Frames(2000ms), 4);
    const std::vector<uint8_t> bytes = test::AsBytes(pcm);
    TSoundOut out;
    test::MonitorRecorder recorder;
    out.Open();
    ASSERT_EQ(out.Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    const int64_t playedBefore = WaitUntilPlayed(out, int64_t(Frames(500ms) * kFrameBytes));
    out.SetVolume(50);
    PlayOut(out);
    std::this_thread::sleep_for(kMonitorDelay);
    const std::vector<int16_t> recording = recorder.Stop();
    out.Close();

    const auto at = test::Align(recording, pcm, {}, 1, Frames(50ms));
    ASSERT_TRUE(at);
    const Gains half{32767 / 65535.0, 32767 / 65535.0};
    size_t changedAt = 0; // first PCM frame heard at half volume
    for (size_t f = at->pcmFrame; f + 32 < pcm.size() / 2; ++f) {
        const size_t r = at->recordedFrame + (f - at->pcmFrame);
        if (test::MaxDifference(recording, r, pcm, f, 32, half) <= 2) {
            changedAt = f;
            break;
        }
    }
    ASSERT_GT(changedAt, 0u) << "the volume never changed";
    const size_t playedFrames = size_t(playedBefore) / kFrameBytes;
    // Not before it was asked for: the count played is read from the server's clock, which runs
    // up to one period of the server's graph ahead of what left the sink.
    EXPECT_GE(changedAt + Frames(25ms), playedFrames);
    EXPECT_LT(changedAt, playedFrames + Frames(500ms)) << "the change waited for the queued sound";
}

TEST_P(SoundOnServer, PauseHoldsTheSoundAndResumeContinuesWhereItStopped)
{
    const std::vector<int16_t> pcm = test::MakeNoise(Frames(2000ms), 5);
    const std::vector<uint8_t> bytes = test::AsBytes(pcm);
    TSoundOut out;
    test::MonitorRecorder recorder;
    out.Open();
    ASSERT_EQ(out.Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    int64_t played = WaitUntilPlayed(out, int64_t(Frames(600ms) * kFrameBytes));
    out.Pause();
    std::this_thread::sleep_for(300ms);
    played += out.GetDoneBytes();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(out.GetDoneBytes(), 0) << "the clock ran on while paused";
    EXPECT_FALSE(out.WaitForDone(0));
    out.Unpause();
    PlayOut(out);
    EXPECT_EQ(played + out.GetDoneBytes(), int64_t(bytes.size()))
        << "the pause's silence was counted as played";
    std::this_thread::sleep_for(kMonitorDelay);
    const std::vector<int16_t> recording = recorder.Stop();
    out.Close();

    const test::Silence gap = test::LongestInnerSilence(recording);
    ASSERT_GE(gap.frames, Frames(700ms)) << "the pause was not heard";
    const std::span<const int16_t> before(recording.data(), 2 * gap.start);
    const std::span<const int16_t> after(recording.data() + 2 * (gap.start + gap.frames),
                                         recording.size() - 2 * (gap.start + gap.frames));
    const auto start = test::Align(before, pcm, {}, 1, Frames(50ms));
    ASSERT_TRUE(start);
    const size_t stopped = start->pcmFrame + (before.size() / 2 - start->recordedFrame);
    EXPECT_LE(test::MaxDifference(before, start->recordedFrame, pcm, start->pcmFrame,
                                  stopped - start->pcmFrame, {}),
              1);
    // Seamless: the first frame heard after the pause is the one after the last frame heard
    // before it.
    const auto resumed =
        test::Align(after, pcm, {}, 1, Frames(400ms), stopped - std::min(stopped, Frames(200ms)));
    ASSERT_TRUE(resumed) << "the sound after the pause is not the PCM near frame " << stopped;
    EXPECT_EQ(resumed->recordedFrame, 0u);
    const long seam = long(resumed->pcmFrame) - long(stopped);
    RecordProperty("seam_frames", int(seam));
    std::printf("pause seam on %s: %ld frames (negative: heard twice)\n", test::ServerName(GetParam()), seam);
    EXPECT_EQ(seam, 0) << "stopped at PCM frame " << stopped << ", went on at " << resumed->pcmFrame;
    const size_t rest = pcm.size() / 2 - resumed->pcmFrame;
    EXPECT_EQ(test::SoundingFrames(after), rest) << "sound was lost or repeated after the pause";
    EXPECT_LE(test::MaxDifference(after, 0, pcm, resumed->pcmFrame, rest, {}), 1);
}

TEST_P(SoundOnServer, ResetDropsTheQueuedSoundAndReturnsEveryBlock)
{
    const std::vector<int16_t> first = test::MakeNoise(Frames(2000ms), 6);
    const std::vector<int16_t> second = test::MakeNoise(Frames(700ms), 7);
    const std::vector<uint8_t> firstBytes = test::AsBytes(first);
    TSoundOut out;
    test::MonitorRecorder recorder;
    out.Open();
    ASSERT_EQ(out.Write(firstBytes.data(), int32_t(firstBytes.size())), int32_t(firstBytes.size()));
    EXPECT_FALSE(out.CanWrite());
    const int64_t playedBeforeReset = WaitUntilPlayed(out, int64_t(Frames(300ms) * kFrameBytes));
    out.Reset();
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs)) << "the queued blocks did not come back";
    EXPECT_EQ(out.FreeSpacePercent(), 100);
    EXPECT_TRUE(out.CanWrite());

    // The count starts again at the reset.
    out.GetDoneBytes();
    Feed(out, test::AsBytes(second));
    PlayOut(out);
    EXPECT_EQ(out.GetDoneBytes(), int32_t(second.size() * 2));
    std::this_thread::sleep_for(kMonitorDelay);
    const std::vector<int16_t> recording = recorder.Stop();
    out.Close();

    // Of the first PCM only what had been played (plus the server's short latency) was heard,
    // then the second PCM in full.
    const std::vector<int16_t> heard = test::WithoutSilence(recording);
    const auto at = test::Align(heard, first, {}, 1, Frames(50ms));
    ASSERT_TRUE(at);
    size_t firstHeard = 0;
    while (at->pcmFrame + firstHeard < first.size() / 2 &&
           test::MaxDifference(heard, firstHeard, first, at->pcmFrame + firstHeard, 1, {}) <= 1)
        ++firstHeard;
    EXPECT_GE(firstHeard + at->pcmFrame + Frames(10ms), size_t(playedBeforeReset) / kFrameBytes);
    EXPECT_LT(firstHeard + at->pcmFrame, size_t(playedBeforeReset) / kFrameBytes + Frames(400ms))
        << "queued sound was played after the reset";
    // The monitor may miss the first milliseconds after the restart, as after any start.
    const std::span<const int16_t> rest(heard.data() + 2 * firstHeard, heard.size() - 2 * firstHeard);
    const auto then = test::Align(rest, second, {}, 1, Frames(50ms));
    ASSERT_TRUE(then) << "the sound written after the reset is not in the recording";
    EXPECT_EQ(then->recordedFrame, 0u);
    const size_t frames = second.size() / 2 - then->pcmFrame;
    EXPECT_EQ(rest.size() / 2, frames);
    EXPECT_LE(test::MaxDifference(rest, 0, second, then->pcmFrame, frames, {}), 1);
}

// A seek while paused resets the paused output: the blocks still come back, the new sound waits
// for the resume.
TEST_P(SoundOnServer, ResetWhilePausedReturnsTheBlocksAndKeepsThePause)
{
    const std::vector<uint8_t> bytes = test::AsBytes(test::MakeNoise(Frames(2000ms), 12));
    TSoundOut out;
    out.Open();
    ASSERT_EQ(out.Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    WaitUntilPlayed(out, int64_t(Frames(200ms) * kFrameBytes));
    out.Pause();
    out.Reset();
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs)) << "a paused reset kept the blocks";
    out.GetDoneBytes();
    ASSERT_EQ(out.Write(bytes.data(), kBlockBytes), kBlockBytes);
    std::this_thread::sleep_for(600ms);
    EXPECT_EQ(out.GetDoneBytes(), 0) << "played while paused";
    EXPECT_FALSE(out.WaitForDone(0));
    out.Unpause();
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs));
    EXPECT_EQ(out.GetDoneBytes(), kBlockBytes);
    out.Close();
}

// A paused output never plays its queue out; closing it drops the queue instead of waiting.
TEST_P(SoundOnServer, CloseWhilePausedDoesNotWaitForTheQueue)
{
    const std::vector<uint8_t> bytes = test::AsBytes(test::MakeNoise(Frames(1800ms), 13));
    TSoundOut out;
    out.Open();
    ASSERT_EQ(out.Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    out.Pause();
    test::FinishesWithin("Close while paused", [&] { out.Close(); });
    EXPECT_FALSE(out.Active());
    // The same object plays again after the next Open.
    out.Open();
    ASSERT_EQ(out.Write(bytes.data(), kBlockBytes), kBlockBytes);
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs));
    out.Close();
}

size_t ThreadsOfThisProcess()
{
    return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                std::filesystem::directory_iterator{}));
}

// The connection's loop thread lives only as long as a stream needs it.
TEST_P(SoundOnServer, TheServerConnectionEndsWithTheLastStreamAndComesBackWithTheNext)
{
    const size_t idle = ThreadsOfThisProcess();
    for (int round = 0; round < 2; ++round) {
        {
            TSoundOut out;
            out.Open();
            EXPECT_GT(ThreadsOfThisProcess(), idle) << "round " << round;
        }
        EXPECT_EQ(ThreadsOfThisProcess(), idle) << "round " << round;
    }
}

struct FormatCase {
    const char* name;
    int32_t rate;
    int32_t bits;
    int32_t channels;
};

class SoundOutPulseFormats : public SoundOutPulse,
                             public ::testing::WithParamInterface<std::tuple<ServerKind, FormatCase>> {
protected:
    void SetUp() override { Server(std::get<0>(GetParam())); }
};

TEST_P(SoundOutPulseFormats, EveryFormatPlaysToTheEnd)
{
    const FormatCase c = std::get<1>(GetParam());
    TSoundOut out;
    out.SetSampleRate(c.rate);
    out.SetBitsPerSample(c.bits);
    out.SetChannels(c.channels);
    out.Open();
    const std::vector<uint8_t> bytes(size_t(out.BlockSize()) * 3 / 2, c.bits == 8 ? 0x80 : 0);
    Feed(out, bytes);
    PlayOut(out);
    EXPECT_EQ(out.GetDoneBytes(), int32_t(bytes.size()));
    out.Close();
}

INSTANTIATE_TEST_SUITE_P(Formats, SoundOutPulseFormats,
                         ::testing::Combine(kServers,
                                            ::testing::Values(FormatCase{"Mono8Bit11025", 11025, 8, 1},
                                                              FormatCase{"Mono16Bit22050", 22050, 16, 1},
                                                              FormatCase{"Stereo8Bit32000", 32000, 8, 2},
                                                              FormatCase{"Stereo16Bit48000", 48000, 16, 2})),
                         [](const ::testing::TestParamInfo<std::tuple<ServerKind, FormatCase>>& info) {
                             return std::string(test::ServerName(std::get<0>(info.param))) +
                                    std::get<1>(info.param).name;
                         });

// Lower bounds only: a block cannot come back before its sound has had time to play.
TEST_P(SoundOnServer, BlocksComeBackOnlyOnceTheyHaveBeenPlayed)
{
    const std::vector<uint8_t> bytes = test::AsBytes(test::MakeNoise(Frames(2000ms), 8));
    TSoundOut out;
    out.Open();
    ASSERT_EQ(out.BlockSize(), kBlockBytes);
    TMPSimpleEvent room;
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(out.Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    out.SetNotifyEvent(&room);
    ASSERT_EQ(room.WaitFor(kDeadlockGuardMs), kWaitSignalled);
    const double firstBack = Seconds(Clock::now() - start);
    const int32_t playedAtFirst = out.GetDoneBytes();
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs));
    const double allBack = Seconds(Clock::now() - start);
    const int32_t playedAtLast = playedAtFirst + out.GetDoneBytes();
    out.Close();

    EXPECT_GE(firstBack, 0.5 - 0.01);
    EXPECT_GE(playedAtFirst, kBlockBytes);
    EXPECT_GE(allBack, 2.0 - 0.01);
    EXPECT_EQ(playedAtLast, 4 * kBlockBytes);
}

TEST_P(SoundOnServer, PlayedBytesFollowTheServerClock)
{
    const std::vector<uint8_t> bytes = test::AsBytes(test::MakeNoise(Frames(2000ms), 9));
    TSoundOut out;
    out.Open();
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(out.Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    int64_t played = 0;
    while (!out.WaitForDone(50)) {
        const int32_t delta = out.GetDoneBytes();
        EXPECT_GE(delta, 0);
        played += delta;
        // Never ahead of the wall clock (a little slack for the server's timing estimate).
        const double elapsed = Seconds(Clock::now() - start);
        EXPECT_LE(played, int64_t((elapsed + 0.02) * kSinkRate) * int64_t(kFrameBytes));
    }
    played += out.GetDoneBytes();
    EXPECT_EQ(played, int64_t(bytes.size()));
    EXPECT_EQ(out.GetDoneBytes(), 0);
    out.Close();
    EXPECT_EQ(out.GetDoneBytes(), 0);
}

TEST_P(SoundOnServer, PositionNoticesComeWhileSoundIsQueuedAndStopAfterwards)
{
    const std::vector<uint8_t> bytes = test::AsBytes(test::MakeNoise(Frames(1500ms), 10));
    std::mutex mutex;
    std::vector<Clock::time_point> notices;
    TSoundOut out;
    out.NotifyInterval = 100;
    out.SetOnNotify([&](TSoundOut& sender) {
        EXPECT_EQ(&sender, &out);
        std::lock_guard lock(mutex);
        notices.push_back(Clock::now());
    });
    out.Open();
    ASSERT_EQ(out.Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    PlayOut(out);
    std::this_thread::sleep_for(200ms);
    size_t afterDone = 0;
    {
        std::lock_guard lock(mutex);
        afterDone = notices.size();
    }
    std::this_thread::sleep_for(600ms);
    out.Close();

    std::lock_guard lock(mutex);
    EXPECT_EQ(notices.size(), afterDone) << "notices went on with nothing queued";
    EXPECT_GE(notices.size(), 3u);
    for (size_t i = 1; i < notices.size(); ++i)
        EXPECT_GE(notices[i] - notices[i - 1], 100ms);
}

TEST(SoundOutWithoutServer, OpenFailsAtOnceWithTheServerText)
{
    const std::filesystem::path nowhere = std::filesystem::temp_directory_path() / "pt4-no-server" / "native";
    const char* configured = std::getenv("PULSE_SERVER");
    const std::optional<std::string> server =
        configured ? std::optional<std::string>(configured) : std::nullopt;
    setenv("PULSE_SERVER", ("unix:" + nowhere.string()).c_str(), 1);
    test::FinishesWithin("Open without a server", [] {
        TSoundOut out;
        EXPECT_EQ(out.Volume(), 100u);
        try {
            out.Open();
            ADD_FAILURE() << "Open succeeded without a server";
        } catch (const EMP3Error& e) {
            // The window says it in its own words; the server's text is the reason.
            EXPECT_EQ(e.Kind(), TErrorKind::Device);
            EXPECT_STREQ(e.what(), "サウンドサーバーに接続できません");
            EXPECT_EQ(e.Reason(), "Connection refused(TSoundOut.Open:WaveOutOpen)");
        }
        EXPECT_FALSE(out.Active());
        EXPECT_EQ(out.Write(reinterpret_cast<const uint8_t*>("ab"), 2), 0);
        out.Close();
    });
    if (server)
        setenv("PULSE_SERVER", server->c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

// A server that goes away returns every queued block, so nothing waits forever, and the next
// call reports it.
TEST_P(SoundOnServer, LostServerReturnsTheBlocksAndReportsTheError)
{
    test::SoundServer doomed(GetParam());
    const std::vector<uint8_t> bytes = test::AsBytes(test::MakeNoise(Frames(2000ms), 11));
    TSoundOut out;
    out.Open();
    ASSERT_EQ(out.Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    doomed.Kill();
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs));
    try {
        out.Write(bytes.data(), int32_t(bytes.size()));
        ADD_FAILURE() << "writing to a lost server succeeded";
    } catch (const EMP3Error& e) {
        const std::string text = e.what();
        EXPECT_TRUE(text.ends_with("(TSoundOut.WaveWrite)")) << text;
    }
    EXPECT_EQ(out.FreeSpacePercent(), 100) << "the failed block is still counted";
    EXPECT_THROW(out.Pause(), EMP3Error);
    test::FinishesWithin("Close after the server was lost", [&] { out.Close(); });
}

// A server that hangs (stopped, not gone): a play that does not move on for five seconds fails
// with its own message, and nothing else waits on the server for more than a second.
TEST_P(SoundOnServer, HangingServerEndsThePlayAfterFiveSecondsAndHoldsNothingLonger)
{
    const std::vector<uint8_t> bytes = test::AsBytes(test::MakeNoise(Frames(2000ms), 14));
    std::mutex mutex;
    std::string reported;
    TSoundOut out;
    out.OnException = [&](const void*, const std::exception_ptr& error, bool& handled) {
        std::lock_guard lock(mutex);
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            reported = e.what();
        }
        handled = true;
    };
    out.Open();
    ASSERT_EQ(out.Write(bytes.data(), int32_t(bytes.size())), int32_t(bytes.size()));
    WaitUntilPlayed(out, int64_t(Frames(200ms) * kFrameBytes));
    struct Frozen {
        test::SoundServer& server;
        explicit Frozen(test::SoundServer& s) : server(s) { server.Freeze(); }
        ~Frozen() { server.Thaw(); }
    } frozen(Server());
    const Clock::time_point since = Clock::now();
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs)) << "the blocks never came back";
    const double failedAfter = Seconds(Clock::now() - since);
    EXPECT_GE(failedAfter, 4.5);
    EXPECT_LT(failedAfter, 7.0);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(reported, "the sound server does not respond(TSoundOut.WaveWrite)");
    }
    EXPECT_THROW(out.Write(bytes.data(), int32_t(bytes.size())), EMP3Error);

    TSoundOut second;
    const Clock::time_point opening = Clock::now();
    try {
        second.Open();
        ADD_FAILURE() << "opened on a hanging server";
    } catch (const EMP3Error& e) {
        EXPECT_STREQ(e.what(), "the sound server does not respond(TSoundOut.Open:WaveOutOpen)");
    }
    EXPECT_LT(Seconds(Clock::now() - opening), 1.5);
    const Clock::time_point closing = Clock::now();
    out.Close();
    EXPECT_LT(Seconds(Clock::now() - closing), 0.5);
}

} // namespace
} // namespace pt4
