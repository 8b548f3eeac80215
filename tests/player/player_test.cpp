// The player component against the WAVE file output: states, events, end of play, seeking,
// properties and the exception hand-over. No sound server is needed.
#include "mp3plyr/errors.h"
#include "mp3plyr/input/memory_stream.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/runtime/exception_display.h"
#include "mp3plyr/runtime/message_window.h"
#include "mp3plyr/runtime/messages.h"
#include "support/player_fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace pt4 {
namespace {

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

class PlayerTest : public ::testing::Test {
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
class SlowStream : public TMPStream {
public:
    SlowStream(std::vector<uint8_t> bytes, std::chrono::milliseconds delay)
        : inner_(std::move(bytes)), delay_(delay)
    {
    }
    std::atomic<int> reads{0};
    int32_t Read(void* buffer, int32_t count) override
    {
        ++reads;
        std::this_thread::sleep_for(delay_);
        return inner_.Read(buffer, count);
    }
    int64_t Seek(int64_t offset, int origin) override { return inner_.Seek(offset, origin); }
    int64_t Size() override { return inner_.Size(); }

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
    // A position notice the output had queued before the stop waits for the stop's status and
    // end, and then reports the rewound position.
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"status:0", "end:1", "position:0"}));
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

// What a closed player names: a file that opened but holds no audio leaves nothing named; one
// that cannot be opened at all keeps the name given (nothing was opened or closed); a name not
// opened yet gives its file name as the title.
TEST(ClosedPlayerNames, AfterAFailedOpenAndWithoutAutoOpen)
{
    const std::string junk = TempPath("names-junk.mp3");
    WriteFileBytes(junk, std::vector<uint8_t>(4000, 0x11));
    const std::string missing = TempPath("nowhere/missing.mp3");
    const std::string clip = TempPath("named.mp3");
    WriteFileBytes(clip, Join(DemoFrames()));
    const struct {
        const char* what;
        std::string name;
        bool autoOpen, throws;
        std::string fileName, title;
    } cases[] = {
        {"no audio", junk, true, true, "", ""},
        {"missing", missing, true, true, missing, "missing.mp3"},
        {"not opened", clip, false, false, clip, "named.mp3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TMP3Player player;
        player.SetAutoPlay(false);
        player.SetAutoOpen(c.autoOpen);
        bool threw = false;
        try {
            player.SetFileName(c.name);
        } catch (const EMP3Error&) {
            threw = true;
        }
        EXPECT_EQ(threw, c.throws);
        EXPECT_EQ(player.Capabilities(), mpcOpen);
        EXPECT_EQ(player.FileName(), c.fileName);
        EXPECT_EQ(player.Title(), c.title);
    }
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

// In the file output a pause holds the writing, and a seek drops the partly filled block of the
// old position: the file holds whole blocks from the start, then the target frame on exactly as a
// decode from the start gives it.
TEST_F(PlayerTest, PausedSeekInTheFileOutputWritesWholeBlocksThenTheTargetExactly)
{
    // 64 seconds: the worker is still reading when the pause comes.
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < 8; ++i)
        for (auto& frame : DemoFrames())
            frames.push_back(std::move(frame));
    const std::vector<uint8_t> bytes = Join(frames);
    auto* stream = new SlowStream(bytes, 0ms);
    player.OpenStream(stream, kStreamSeekable | kStreamOwned);
    player.Play();
    std::this_thread::sleep_for(2ms); // some frames, the last block partly filled
    player.Pause();
    const int readsAtPause = stream->reads;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(stream->reads, readsAtPause) << "the worker went on while paused";
    player.Seek(40000); // frame 1532
    player.Resume();
    ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
    const std::vector<uint8_t> whole = DecodeAll(bytes);
    const std::vector<uint8_t> written = WavePcm(ReadFileBytes(wave));
    const size_t frameBytes = 4608, blockBytes = 88200; // half a second at 44.1 kHz, 16-bit stereo
    const size_t target = 1532 * frameBytes;
    ASSERT_GE(written.size(), whole.size() - target);
    const size_t before = written.size() - (whole.size() - target);
    EXPECT_EQ(before % blockBytes, 0u) << "a partly filled block of the old position was kept";
    EXPECT_TRUE(std::equal(written.begin(), written.begin() + std::ptrdiff_t(before), whole.begin()));
    EXPECT_TRUE(std::equal(written.begin() + std::ptrdiff_t(before), written.end(),
                           whole.begin() + std::ptrdiff_t(target)));
}

// A VBR file without a header frame: the first frame's bit rate gives a wrong length until the
// count, made after the open, corrects it with a change of status; seeks land exactly.
TEST_F(PlayerTest, CountedFramesCorrectTheLengthAndSeeksLandExactly)
{
    const std::string vbr = std::string(PT4_SOURCE_DIR) + "/tests/fixtures/layer3/l3_22k_vbr_v2.mp3";
    const std::vector<uint8_t> whole = DecodeAll(ReadFileBytes(vbr));
    const int trueMs = int(whole.size() / 2 * 1000 / 22050);
    player.SetFileName(vbr);
    const int estimate = int(player.Length());
    ASSERT_TRUE(DrainUntil(player, [&] { return int(player.Length()) != estimate; }));
    EXPECT_GT(std::abs(estimate - trueMs), 1000);
    EXPECT_NEAR(int(player.Length()), trueMs, 30);
    EXPECT_EQ(recorder.events.back(), "status:0");

    player.Play();
    player.Pause();
    player.Seek(3000); // frame 115 (rounded up), 576 samples a frame
    player.Resume();
    ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
    const std::vector<uint8_t> written = WavePcm(ReadFileBytes(wave));
    const size_t target = 115 * 576 * 2;
    ASSERT_GE(written.size(), whole.size() - target);
    EXPECT_TRUE(std::equal(whole.begin() + std::ptrdiff_t(target), whole.end(),
                           written.end() - std::ptrdiff_t(whole.size() - target)));
}

// The loudness gain holds from the first sample played; auto follows whether an album plays.
TEST_F(PlayerTest, LoudnessModeScalesThePlayFromItsFirstSample)
{
    std::string tag("ID3\3\0\0\0\0\0\0", 10);
    for (const std::string& body : {std::string("\0REPLAYGAIN_TRACK_GAIN\0-6 dB", 28),
                                    std::string("\0REPLAYGAIN_ALBUM_GAIN\0-12 dB", 29)})
        tag += "TXXX" + std::string{0, 0, 0, char(body.size()), 0, 0} + body;
    tag[9] = char(tag.size() - 10);
    std::vector<uint8_t> file(tag.begin(), tag.end());
    const std::vector<uint8_t> audio = Join(DemoFrames());
    file.insert(file.end(), audio.begin(), audio.end());
    WriteFileBytes(clip, file);
    const std::vector<int16_t> plain = AsSamples(DecodeAll(audio));
    const struct {
        TReplayGainMode mode;
        bool album;
        double db;
    } cases[] = {{TReplayGainMode::Auto, false, -6},
                 {TReplayGainMode::Auto, true, -12},
                 {TReplayGainMode::Off, true, 0}};
    for (const auto& c : cases) {
        player.SetReplayGainMode(c.mode);
        player.SetPlaysAlbum(c.album);
        player.SetFileName(clip);
        recorder.endReason.reset();
        player.Play();
        ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
        const std::vector<int16_t> played = AsSamples(WavePcm(ReadFileBytes(wave)));
        ASSERT_EQ(played.size(), plain.size());
        double cross = 0, power = 0, firstFrame = 0;
        for (size_t i = 0; i < plain.size(); ++i) {
            cross += double(plain[i]) * played[i], power += double(plain[i]) * plain[i];
            firstFrame += i < 2304 ? std::abs(played[i] - plain[i] * std::pow(10, c.db / 20)) : 0;
        }
        EXPECT_NEAR(cross / power, std::pow(10, c.db / 20), 0.01 * std::pow(10, c.db / 20)) << c.db;
        EXPECT_LT(firstFrame / 2304, 2) << "the first frame played at another gain";
    }
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

// Power of one channel of 16-bit stereo PCM at `hz` (Goertzel), summed over a few neighbours.
double PowerNear(const std::vector<uint8_t>& pcm, int channel, double hz, double rate)
{
    double power = 0;
    for (const double f : {hz - 20, hz, hz + 20}) {
        const double coefficient = 2 * std::cos(2 * M_PI * f / rate);
        double s1 = 0, s2 = 0;
        for (size_t i = size_t(channel) * 2; i + 1 < pcm.size(); i += 4) {
            const double s0 = int16_t(pcm[i] | pcm[i + 1] << 8) + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        power += s1 * s1 + s2 * s2 - coefficient * s1 * s2;
    }
    return power;
}

// Frequency mode with the six bands from 60 Hz to 16000 Hz: a band turned down changes the
// output only where the mapping puts that band (Layer III lines: line 0 follows band 0, line 575
// band 5; Layer II subbands: subband 0, up to 689 Hz, follows band 2) and nowhere else.
TEST_F(PlayerTest, FrequencyEqualizerChangesOnlyTheBandsItMapsTo)
{
    const std::string layer2 = std::string(PT4_SOURCE_DIR) + "/tests/fixtures/layer12/l2_44k_stereo_192.mp2";
    const struct {
        std::string file;
        int channel; // the Layer II fixture: a chirp on the left, tones at 440 and 3100 Hz on the right
        int band;
        std::vector<double> changed;
        std::vector<double> unchanged;
    } cases[] = {
        {clip, 0, 0, {40, 70}, {400, 1000, 5000, 12000}},
        {clip, 0, 5, {10000, 11000}, {100, 1000, 5000}},
        {layer2, 1, 2, {440}, {3100, 8000, 14000}},
        {layer2, 0, 5, {10000, 12000}, {1000, 3000}},
    };
    player.BeginLoading();
    player.SetEqualizerMode(TMP3EqualizerMode::memFreq);
    player.SetEqualizerEnabled(true);
    player.Loaded();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + " band " + std::to_string(c.band));
        for (int band = 0; band < 6; ++band)
            player.SetEqualizerValue(band, band == c.band ? -100 : 0);
        player.SetFileName(c.file);
        DrainFor(player, 10ms); // the gain tables follow the open
        recorder.endReason.reset();
        player.Play();
        ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
        const std::vector<uint8_t> plain = DecodeAll(ReadFileBytes(c.file));
        const std::vector<uint8_t> equalized = WavePcm(ReadFileBytes(wave));
        ASSERT_EQ(equalized.size(), plain.size());
        std::vector<uint8_t> difference(plain.size());
        for (size_t i = 0; i + 1 < plain.size(); i += 2) {
            const int d =
                int16_t(equalized[i] | equalized[i + 1] << 8) - int16_t(plain[i] | plain[i + 1] << 8);
            difference[i] = uint8_t(d & 0xFF);
            difference[i + 1] = uint8_t((d >> 8) & 0xFF);
        }
        // Turned down by 20 dB, the difference keeps 90 % of the amplitude where the band acts.
        // Elsewhere only the rounding to 16 bits differs: white noise of about a sixth of a
        // step squared, a power of N / 2 over the three probes of N samples.
        const double frames = double(plain.size() / 4);
        for (const double hz : c.changed) {
            const double before = PowerNear(plain, c.channel, hz, 44100);
            ASSERT_GT(before, 100 * frames) << hz << " Hz: nothing there to change";
            EXPECT_GT(PowerNear(difference, c.channel, hz, 44100), 0.5 * before) << hz << " Hz";
        }
        for (const double hz : c.unchanged)
            EXPECT_LT(PowerNear(difference, c.channel, hz, 44100),
                      2 * frames + 1e-4 * PowerNear(plain, c.channel, hz, 44100))
                << hz << " Hz";
    }
    player.SetEqualizerEnabled(false);
    DrainFor(player, 10ms);
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
class FailingStream : public TMPStream {
public:
    FailingStream(std::vector<uint8_t> bytes, int32_t good) : inner_(std::move(bytes)), good_(good) {}
    std::atomic<bool> failed{false};
    int32_t Read(void* buffer, int32_t count) override
    {
        if (inner_.Position() >= good_ && inner_.Position() < inner_.Size() - 16384) {
            failed = true;
            throw EMP3Error("read error");
        }
        return inner_.Read(buffer, count);
    }
    int64_t Seek(int64_t offset, int origin) override { return inner_.Seek(offset, origin); }
    int64_t Size() override { return inner_.Size(); }

private:
    TMPMemoryStream inner_;
    int32_t good_;
};

TEST_F(PlayerTest, WorkerExceptionIsShownOnTheOwnerThreadAndEndsPlay)
{
    std::vector<std::string> shown;
    const auto owner = std::this_thread::get_id();
    std::atomic<bool> shownOnOwner{true};
    player.OnEndPlay = [&, recorded = player.OnEndPlay](TMP3Player& p, TMP3EndPlayReason reason) {
        if (const std::optional<TMP3PlayError> error = p.LastError()) {
            shownOnOwner = shownOnOwner && std::this_thread::get_id() == owner;
            shown.push_back(error->Text);
        }
        recorded(p, reason);
    };
    const auto bytes = Join(DemoFrames());
    player.OpenStream(new FailingStream(bytes, 40000), kStreamSeekable | kStreamOwned);
    player.Play();
    ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
    EXPECT_EQ(*recorder.endReason, TMP3EndPlayReason::mepError);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "read error");
    EXPECT_TRUE(shownOnOwner);
    EXPECT_EQ(player.Status(), TMP3PlayerStatus::mpsStopped);
}

// An error notice still queued when its playback was stopped is told (with that stop's end of
// play), but the playback of the next file goes on to its end.
TEST_F(PlayerTest, ErrorOfAStoppedPlaybackDoesNotStopTheNext)
{
    std::vector<std::string> shown;
    player.OnEndPlay = [&, recorded = player.OnEndPlay](TMP3Player& p, TMP3EndPlayReason reason) {
        if (const std::optional<TMP3PlayError> error = p.LastError())
            shown.push_back(error->Text);
        recorded(p, reason);
    };
    auto* failing = new FailingStream(Join(DemoFrames()), 20000);
    player.OpenStream(failing, kStreamSeekable | kStreamOwned);
    player.Play();
    for (int i = 0; i < 2000 && !failing->failed; ++i)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(failing->failed);
    std::this_thread::sleep_for(50ms); // the worker hands the error over
    player.SetFileName(clip);          // stops the failed playback and opens the next file
    player.Play();
    ASSERT_TRUE(DrainUntil(player, [&] {
        return recorder.endReason == TMP3EndPlayReason::mepEndOfStream ||
               recorder.endReason == TMP3EndPlayReason::mepError;
    }));
    EXPECT_EQ(*recorder.endReason, TMP3EndPlayReason::mepEndOfStream);
    EXPECT_EQ(shown, std::vector<std::string>{"read error"});
    EXPECT_EQ(WavePcm(ReadFileBytes(wave)), DecodeAll(ReadFileBytes(clip)));
}

// A file that cannot be played says why in plain Japanese words beside the window's own text, and
// the terminal tool keeps its English reason.
TEST(FileFailureTexts, NameTheCause)
{
    const std::string junk = TempPath("texts-junk.mp3");
    WriteFileBytes(junk, std::vector<uint8_t>(4000, 0x11));
    const std::string locked = TempPath("texts-locked.mp3");
    WriteFileBytes(locked, Join(DemoFrames()));
    chmod(locked.c_str(), 0);
    const bool privileged = geteuid() == 0; // reads whatever the permissions say
    const struct {
        const char* what;
        std::string name;
        std::string text, detail, reason;
    } cases[] = {
        {"missing", TempPath("nowhere/gone.mp3"),
         "ファイル " + TempPath("nowhere/gone.mp3") + " は開けません", "ファイルが見つかりません。",
         "No such file or directory"},
        {"folder", TempPath(""), "ファイル " + TempPath("") + " は開けません",
         "ファイルではなくフォルダです。", "directory"},
        {"not audio", junk, kUnknownFormat, "MPEG オーディオのファイルではありません。", ""},
        {"not readable", locked, "ファイル " + locked + " は開けません", "ファイルを読む権限がありません。",
         "Permission denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (privileged && c.name == locked)
            continue;
        TMP3Player player;
        player.SetAutoPlay(false);
        TMP3PlayError error;
        try {
            player.SetFileName(c.name);
        } catch (...) {
            error = DescribeError(std::current_exception());
        }
        EXPECT_EQ(error.Text, c.text);
        EXPECT_EQ(error.Detail, c.detail);
        EXPECT_EQ(error.ShownText(), c.text + "\n" + c.detail);
        EXPECT_NE(error.Reason.find(c.reason), std::string::npos) << error.Reason;
        EXPECT_EQ(error.NotFound(), std::string(c.what) == "missing");
    }
}

// The player shows nothing itself: a failure while playing is told with the end of play, whose
// handler reads it (its text, kind and playback) from LastError; at any other time there is none.
TEST_F(PlayerTest, AFailureIsToldWithItsEndOfPlayAndShownByNobody)
{
    int displayed = 0;
    SetExceptionDisplay([&](const std::exception_ptr&) { ++displayed; });
    std::vector<TMP3PlayError> told;
    const auto tell = [&told](TMP3Player& p) {
        if (const std::optional<TMP3PlayError> error = p.LastError())
            told.push_back(*error);
    };
    player.OnEndPlay = [&, recorded = player.OnEndPlay](TMP3Player& p, TMP3EndPlayReason reason) {
        tell(p);
        recorded(p, reason);
    };
    player.OnChangeStatus = [&, recorded = player.OnChangeStatus](TMP3Player& p) {
        tell(p);
        recorded(p);
    };
    player.OpenStream(new FailingStream(Join(DemoFrames()), 20000), kStreamSeekable | kStreamOwned);
    player.Play();
    ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
    EXPECT_EQ(*recorder.endReason, TMP3EndPlayReason::mepError);
    EXPECT_FALSE(player.LastError().has_value());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].Text, "read error");
    EXPECT_NE(told[0].Id, 0u);
    EXPECT_TRUE(told[0].Error);

    // A file played to its end tells no failure.
    recorder.endReason.reset();
    player.SetFileName(clip);
    player.Play();
    ASSERT_TRUE(DrainUntil(player, [&] { return recorder.endReason.has_value(); }));
    EXPECT_EQ(*recorder.endReason, TMP3EndPlayReason::mepEndOfStream);
    EXPECT_EQ(told.size(), 1u);
    SetExceptionDisplay(nullptr);
    EXPECT_EQ(displayed, 0);
}

// A WAVE file that cannot be finished: the player reports it while stopping and keeps it in
// while it is destroyed.
TEST(PlayerFileErrors, DestroyingAPlayerWhoseFileCannotBeFinishedDoesNotThrow)
{
    auto player = std::make_unique<TMP3Player>();
    player->SetAutoPlay(false);
    player->SetWaveFileName("/dev/full");
    SetExceptionDisplay([](const std::exception_ptr&) {});
    const std::string clip = TempPath("full.mp3");
    WriteFileBytes(clip, Join(DemoFrames()));
    player->SetFileName(clip);
    player->Play();
    std::this_thread::sleep_for(50ms);
    player.reset();
    SetExceptionDisplay(nullptr);
}

TEST(PlayerHandOver, DestroyingWhileAWorkerWaitsToShowAnErrorDoesNotDeadlock)
{
    // The owner never drains its queue: the worker's failure is still queued while the owner
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
