// Gapless play: a continuous sweep cut into three files, encoded with lame. Each file's decode
// leaves out the encoder's delay and padding exactly as mpg123 does, a seek lands on the sample
// a straight decode has there, and the player joins the three into one unbroken stream.
#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/input/file_stream.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/output/riff_wave_header.h"
#include "mp3plyr/player/frame_source.h"
#include "mp3plyr/player/location_opener.h"
#include "mp3plyr/runtime/thread.h"
#include "output/support/pcm_signal.h"
#include "output/support/pulse_daemon.h"
#include "support/player_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pt4 {
namespace {

using namespace pt4::testing;
using namespace std::chrono_literals;

// A RIFF WAVE file of 16-bit samples.
std::vector<uint8_t> WaveFile(const std::vector<int16_t>& samples, int rate, int channels)
{
    const auto header = RiffWaveHeader(uint32_t(rate), uint16_t(channels), 16, samples.size() * 2);
    std::vector<uint8_t> out(header.begin(), header.end());
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples.data());
    out.insert(out.end(), bytes, bytes + samples.size() * 2);
    return out;
}

// What mpg123 decodes from `file` (its options first), as PCM bytes.
std::vector<uint8_t> Reference(const std::vector<std::string>& options, const std::string& file)
{
    std::vector<std::string> argv{"mpg123", "-q", "-s"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(file);
    const std::optional<std::string> out = test::RunProgram(argv);
    return out ? std::vector<uint8_t>(out->begin(), out->end()) : std::vector<uint8_t>{};
}

std::vector<uint8_t> Decode(const std::string& file, bool gapless)
{
    TMPFileStream stream(file);
    auto decoder = std::make_unique<DecoderState>();
    TOutputOptions options;
    options.Gapless = gapless;
    TMPFrameSource source(*decoder, options);
    source.Open(&stream, true);
    std::vector<uint8_t> pcm, frame(TMPFrameSource::kPcmBufferSize);
    for (TFrameOutcome outcome; (outcome = source.ProduceFrame(frame.data())) != TFrameOutcome::EndOfData;)
        if (outcome == TFrameOutcome::Frame)
            pcm.insert(pcm.end(), frame.begin(), frame.begin() + source.LastFrameBytes());
    return pcm;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t from = 0)
{
    int worst = 0;
    for (size_t i = from; i + 1 < std::min(a.size(), b.size()); i += 2) {
        const int x = int16_t(a[i] | a[i + 1] << 8), y = int16_t(b[i] | b[i + 1] << 8);
        worst = std::max(worst, std::abs(x - y));
    }
    return worst;
}

struct Encoding {
    const char* name;
    const char* lameOptions;
};

// A sweep from 200 to 2000 Hz over `samples` stereo frames (the right channel at half level,
// inverted).
std::vector<int16_t> Sweep(int rate, int samples)
{
    std::vector<int16_t> sweep;
    double phase = 0;
    for (int i = 0; i < samples; ++i) {
        phase += 2 * M_PI * (200.0 + 1800.0 * i / samples) / rate;
        const auto v = int16_t(12000 * std::sin(phase));
        sweep.insert(sweep.end(), {v, int16_t(-v / 2)});
    }
    return sweep;
}

// Every sample of `joined` is in the recording in order, from the first sounding one on: no
// gap, no repeat, nothing left out at a seam or at the end.
void ExpectRecordingHolds(const std::vector<int16_t>& recording, const std::vector<int16_t>& joined)
{
    const auto aligned = test::Align(recording, joined, {}, 1, 4410);
    ASSERT_TRUE(aligned) << "the album is not in the recording";
    const size_t frames = joined.size() / 2 - aligned->pcmFrame;
    ASSERT_LE(aligned->recordedFrame + frames, recording.size() / 2) << "the end was not heard";
    EXPECT_LE(test::MaxDifference(recording, aligned->recordedFrame, joined, aligned->pcmFrame, frames, {}),
              1);
}

// One continuous sweep, cut into three files per encoding.
class Gapless : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        constexpr int kRate = 44100;
        constexpr int kPartSamples = kRate * 13 / 10; // not a whole number of frames
        const std::vector<int16_t> sweep = Sweep(kRate, 3 * kPartSamples);
        for (const Encoding& e : kEncodings)
            for (int part = 0; part < 3; ++part) {
                const std::string base = TempPath(std::string(e.name) + char('a' + part));
                WriteFileBytes(base + ".wav", WaveFile({sweep.begin() + 2L * part * kPartSamples,
                                                        sweep.begin() + 2L * (part + 1) * kPartSamples},
                                                       kRate, 2));
                const std::string encode =
                    "lame --quiet " + std::string(e.lameOptions) + " " + base + ".wav " + base + ".mp3";
                ASSERT_EQ(std::system(encode.c_str()), 0) << encode;
            }
    }
    static std::string File(const Encoding& e, int part)
    {
        return TempPath(std::string(e.name) + char('a' + part) + ".mp3");
    }

    static constexpr Encoding kEncodings[] = {
        {"cbr", "-b 128"}, {"vbr", "-V 2"}, {"mpeg2", "--resample 22.05 -b 64"}};
};

TEST_F(Gapless, EveryFileDecodesAsTheReferenceDoesWithAndWithoutTrimming)
{
    for (const Encoding& e : kEncodings)
        for (int part = 0; part < 3; ++part) {
            const std::string file = File(e, part);
            SCOPED_TRACE(file);
            const auto trimmed = Decode(file, true);
            const auto reference = Reference({}, file);
            ASSERT_FALSE(reference.empty());
            EXPECT_EQ(trimmed.size(), reference.size());
            EXPECT_LE(MaxDifference(trimmed, reference), 1);

            const auto whole = Decode(file, false);
            const auto wholeReference = Reference({"--no-gapless"}, file);
            EXPECT_EQ(whole.size(), wholeReference.size());
            EXPECT_LE(MaxDifference(whole, wholeReference), 1);
            EXPECT_GT(whole.size(), trimmed.size());
        }
}

// Without the encoder's header, an iTunes-style comment gives the same figures: the file, cut
// from the same encoding as the header-carrying one, plays exactly what mpg123 plays of that.
TEST_F(Gapless, AnItunesCommentTrimsAStreamWithoutTheEncodersHeader)
{
    const std::string tagged = File(kEncodings[0], 1);
    const std::string plain = TempPath("plain.mp3");
    ASSERT_EQ(std::system(("lame --quiet -t -b 128 " + TempPath("cbrb.wav") + " " + plain).c_str()), 0);
    const std::vector<uint8_t> audio = ReadFileBytes(plain);
    ASSERT_FALSE(audio.empty());
    const std::string text = " 00000000 00000240 000002F4 000000000000DFF2"; // 576, 756, 57330
    std::vector<uint8_t> comment{0, 'e', 'n', 'g'};
    for (const char c : std::string("iTunSMPB"))
        comment.push_back(uint8_t(c));
    comment.push_back(0);
    comment.insert(comment.end(), text.begin(), text.end());
    std::vector<uint8_t> file{'I', 'D',
                              '3', 3,
                              0,   0,
                              0,   0,
                              0,   uint8_t(10 + comment.size()),
                              'C', 'O',
                              'M', 'M',
                              0,   0,
                              0,   uint8_t(comment.size()),
                              0,   0};
    file.insert(file.end(), comment.begin(), comment.end());
    file.insert(file.end(), audio.begin(), audio.end());
    const std::string withComment = TempPath("itunes.mp3");
    WriteFileBytes(withComment, file);

    const auto trimmed = Decode(withComment, true);
    const auto reference = Reference({}, tagged);
    EXPECT_EQ(trimmed.size(), 57330u * 4);
    EXPECT_EQ(trimmed.size(), reference.size());
    EXPECT_LE(MaxDifference(trimmed, reference), 1);
}

TEST_F(Gapless, SeekLandsOnTheSampleAStraightDecodeHasThere)
{
    for (const Encoding& e : {kEncodings[0], kEncodings[1]}) {
        const std::string file = File(e, 1);
        const auto straight = Decode(file, true);
        for (const int64_t sample :
             {int64_t(0), int64_t(1), int64_t(12345), int64_t(straight.size() / 4 - 700)}) {
            SCOPED_TRACE(file + " at sample " + std::to_string(sample));
            TMPFileStream stream(file);
            auto decoder = std::make_unique<DecoderState>();
            TMPFrameSource source(*decoder);
            source.Open(&stream, true);
            ASSERT_EQ(source.SeekToSample(sample), sample);
            std::vector<uint8_t> rest, frame(TMPFrameSource::kPcmBufferSize);
            for (TFrameOutcome o; (o = source.ProduceFrame(frame.data())) != TFrameOutcome::EndOfData;)
                if (o == TFrameOutcome::Frame)
                    rest.insert(rest.end(), frame.begin(), frame.begin() + source.LastFrameBytes());
            const std::vector<uint8_t> expected(straight.begin() + sample * 4, straight.end());
            ASSERT_EQ(rest.size(), expected.size());
            EXPECT_LE(MaxDifference(rest, expected), 1);
        }
    }
}

// The same album through a private sound server of each kind: the recording of its sink holds the three
// decodes back to back, with no sample missing or added at either change of file.
TEST_F(Gapless, TheSoundServerHearsNoSeam)
{
    const Encoding& e = kEncodings[0];
    std::vector<uint8_t> joinedBytes;
    for (int part = 0; part < 3; ++part) {
        const auto pcm = Decode(File(e, part), true);
        joinedBytes.insert(joinedBytes.end(), pcm.begin(), pcm.end());
    }
    const std::vector<int16_t> joined = AsSamples(joinedBytes);

    for (const test::ServerKind kind : {test::ServerKind::PulseAudio, test::ServerKind::PipeWire}) {
        SCOPED_TRACE(test::ServerName(kind));
        test::SoundServer server(kind);
        test::MonitorRecorder recorder;
        TMP3Player player;
        player.SetAutoPlay(false);
        int next = 1;
        bool ended = false;
        player.OnNeedNext = [&](TMP3Player& p) {
            if (next < 3)
                p.QueueNext(File(e, next++));
        };
        player.OnEndPlay = [&](TMP3Player&, TMP3EndPlayReason) { ended = true; };
        player.SetFileName(File(e, 0));
        EXPECT_EQ(player.Length(), 1300u); // the trimmed length
        player.Play();
        ASSERT_TRUE(DrainUntil(
            player, [&] { return ended; }, 30s));
        std::this_thread::sleep_for(400ms);
        const std::vector<int16_t> recording = recorder.Stop();

        ExpectRecordingHolds(recording, joined);
    }
}

// The file to follow is opened on the opening thread while the one before still plays, at least
// five seconds before it is heard: an opening that takes two seconds (a slow disk, a network
// folder) is not heard, as a gap or as a stall, and neither the owner nor the worker opens it.
TEST_F(Gapless, ASlowOpeningOfTheNextFileIsNotHeard)
{
    constexpr int kRate = 44100;
    constexpr int kPartSamples = kRate * 7;
    const std::vector<int16_t> sweep = Sweep(kRate, 2 * kPartSamples);
    std::string files[2];
    std::vector<uint8_t> joinedBytes;
    for (int part = 0; part < 2; ++part) {
        const std::string base = TempPath(std::string("long") + char('a' + part));
        WriteFileBytes(base + ".wav", WaveFile({sweep.begin() + 2L * part * kPartSamples,
                                                sweep.begin() + 2L * (part + 1) * kPartSamples},
                                               kRate, 2));
        ASSERT_EQ(std::system(("lame --quiet -b 128 " + base + ".wav " + base + ".mp3").c_str()), 0);
        files[part] = base + ".mp3";
        const auto pcm = Decode(files[part], true);
        joinedBytes.insert(joinedBytes.end(), pcm.begin(), pcm.end());
    }
    const std::vector<int16_t> joined = AsSamples(joinedBytes);

    struct Opening {
        std::string location;
        bool onOwner, onWorker;
        std::chrono::steady_clock::time_point at;
    };
    std::mutex openingsLock;
    std::vector<Opening> openings;
    const std::thread::id owner = std::this_thread::get_id();
    TLocationOpener::SetOpeningHook([&](const std::string& location, const std::stop_token& stop) {
        {
            std::lock_guard held(openingsLock);
            openings.push_back({location, std::this_thread::get_id() == owner,
                                TMPThread::Current() != nullptr, std::chrono::steady_clock::now()});
        }
        std::mutex m;
        std::condition_variable_any slow;
        std::unique_lock held(m);
        slow.wait_for(held, stop, 2s, [] { return false; });
    });
    struct HookGone {
        ~HookGone() { TLocationOpener::SetOpeningHook(nullptr); }
    } hookGone;

    test::SoundServer server;
    test::MonitorRecorder recorder;
    TMP3Player player;
    player.SetAutoPlay(false);
    bool asked = false, ended = false;
    std::optional<std::chrono::steady_clock::time_point> heard;
    player.OnNeedNext = [&](TMP3Player& p) {
        if (!std::exchange(asked, true))
            p.QueueNext(files[1]);
    };
    player.OnChangeStatus = [&](TMP3Player& p) {
        if (p.FileName() == files[1] && !heard)
            heard = std::chrono::steady_clock::now();
    };
    player.OnEndPlay = [&](TMP3Player&, TMP3EndPlayReason) { ended = true; };
    player.SetFileName(files[0]);
    player.Play();
    ASSERT_TRUE(DrainUntil(
        player, [&] { return ended; }, 40s));
    std::this_thread::sleep_for(400ms);
    const std::vector<int16_t> recording = recorder.Stop();

    ExpectRecordingHolds(recording, joined);

    std::lock_guard held(openingsLock);
    ASSERT_EQ(openings.size(), 1u);
    EXPECT_EQ(openings[0].location, files[1]);
    EXPECT_FALSE(openings[0].onOwner);
    EXPECT_FALSE(openings[0].onWorker);
    ASSERT_TRUE(heard);
    EXPECT_GE(*heard - openings[0].at, 5s);
}

} // namespace
} // namespace pt4
