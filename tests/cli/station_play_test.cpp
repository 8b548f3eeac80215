// `pt4 play` against stations that misbehave as real ones do: connections that drop or stall, a
// station slower than real time or without a burst at the start, a change of sample rate, a
// refused connection, audio of another format, a web page and an old server's "ICY 404". Each is
// judged by what the sound server heard and what pt4 said. The station sends a tone whose pitch
// tells each second of its program (second k at 400 + 25k Hz), so a recording shows which
// seconds were heard, and in which order.
#include "cli/support/radio_server.h"
#include "output/support/pcm_signal.h"
#include "output/support/pulse_daemon.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace pt4 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr size_t kRate = test::kSinkRate;
// The recording is judged in windows of a fifth of a second.
constexpr size_t kWindow = kRate / 5;

// Silence this long is a gap; shorter ones are the decoder finding its feet where a new
// connection's audio joins on (its first frames' reservoir lies in the old connection's bytes).
constexpr size_t kGap = kRate / 200;
// Samples nearer zero than this are quiet.
constexpr int kQuiet = 50;

// A tone of `seconds` seconds, second k at 400 + 25k Hz, encoded at `rate` Hz with `channels`.
fs::path ToneFile(const fs::path& dir, const std::string& name, int rate, int channels, int seconds)
{
    std::vector<int16_t> pcm;
    double phase = 0;
    for (int i = 0; i < rate * seconds; ++i) {
        phase += 2 * M_PI * (400 + 25 * (i / rate)) / rate;
        pcm.insert(pcm.end(), size_t(channels), int16_t(9000 * std::sin(phase)));
    }
    const fs::path raw = dir / (name + ".raw");
    std::ofstream(raw, std::ios::binary)
        .write(reinterpret_cast<const char*>(pcm.data()), std::streamsize(pcm.size() * 2));
    const fs::path mp3 = dir / (name + ".mp3");
    std::vector<std::string> lame{"lame",
                                  "--quiet",
                                  "-r",
                                  "-s",
                                  std::to_string(rate / 1000.0).substr(0, 5),
                                  "-b",
                                  channels == 2 ? "128" : "64"};
    if (channels == 1)
        lame.insert(lame.end(), {"-m", "m"});
    lame.insert(lame.end(), {raw.string(), mp3.string()});
    if (!test::RunProgram(lame))
        throw std::runtime_error("lame failed");
    return mp3;
}

// What the recording held: the program second heard in each window of sound (by its pitch,
// from the left channel's zero crossings), or -1 for a window with a gap in it. A crossing counts
// once the sound has gone past the quiet level on the other side: the sink's first samples after
// silence flicker around zero, and would count as a higher pitch.
std::vector<int> SecondsHeard(const std::vector<int16_t>& recording)
{
    std::vector<int> seconds;
    for (size_t at = 0; (at + kWindow) * 2 <= recording.size(); at += kWindow) {
        int crossings = 0;
        size_t quiet = 0;
        bool silent = false;
        int side = 0; // the side of zero the sound was last heard on, past the quiet level
        for (size_t i = at; i < at + kWindow; ++i) {
            const int16_t a = recording[2 * i];
            const int now = a >= kQuiet ? 1 : a <= -kQuiet ? -1 : side;
            crossings += side != 0 && now != side;
            side = now;
            quiet = std::abs(a) < kQuiet ? quiet + 1 : 0;
            silent = silent || quiet >= kGap;
        }
        const double hertz = crossings / 2.0 * kRate / kWindow;
        seconds.push_back(silent ? -1 : int(std::lround((hertz - 400) / 25)));
    }
    return seconds;
}

// The windows as runs, "second×count" ("-" for silence), for the failure messages.
std::string Runs(const std::vector<int>& seconds)
{
    std::string text;
    for (size_t i = 0; i < seconds.size();) {
        size_t j = i;
        while (j < seconds.size() && seconds[j] == seconds[i])
            ++j;
        text += (seconds[i] < 0 ? std::string("-") : std::to_string(seconds[i])) + "x" +
                std::to_string(j - i) + " ";
        i = j;
    }
    return text;
}

// Times `text` occurs in `in` (0 for an empty text).
int Count(const std::string& in, const std::string& text)
{
    int n = 0;
    for (size_t at = in.find(text); !text.empty() && at != std::string::npos; at = in.find(text, at + 1))
        ++n;
    return n;
}

struct Heard {
    int windows = 0;  // windows of sound
    int silences = 0; // runs of silent windows between the first and the last sound
    bool inOrder = true;
};

Heard Judge(const std::vector<int>& seconds)
{
    Heard heard;
    int last = -1;
    bool inSilence = false;
    size_t end = seconds.size();
    while (end > 0 && seconds[end - 1] < 0)
        --end;
    for (size_t i = 0; i < end; ++i) {
        // A second lasts five windows: a lone window unlike both its neighbours straddles a
        // join of two connections, where the decoder finds its feet; it counts for nothing.
        if (seconds[i] >= 0 && i > 0 && i + 1 < end && seconds[i] != seconds[i - 1] &&
            seconds[i] != seconds[i + 1] && seconds[i - 1] >= 0)
            continue;
        if (seconds[i] < 0) {
            if (last >= 0 && !inSilence)
                ++heard.silences;
            inSilence = true;
            continue;
        }
        inSilence = false;
        ++heard.windows;
        // A program second heard after a later one: the station was not heard in order.
        heard.inOrder = heard.inOrder && seconds[i] + 1 >= last;
        last = std::max(last, seconds[i]);
    }
    return heard;
}

struct Outcome {
    int status = -1; // 124: still playing when its time was up
    std::string out;
    std::string err;
    Heard heard;
    std::vector<int> seconds;
};

class StationPlay : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = fs::temp_directory_path() / ("pt4-station-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        const fs::path tone = ToneFile(dir_, "tone", 44100, 2, 40);
        const fs::path other = ToneFile(dir_, "mono", 22050, 1, 30);
        server_ =
            std::make_unique<test::RadioServer>(std::vector<std::string>{tone.string(), other.string()});
        daemon_ = std::make_unique<test::SoundServer>();
    }
    static void TearDownTestSuite()
    {
        daemon_.reset();
        server_.reset();
        fs::remove_all(dir_);
    }

    // pt4 play of `url` for at most `limit`, heard through the private sound server.
    static Outcome Play(const std::string& url, std::chrono::seconds limit)
    {
        test::MonitorRecorder recorder;
        const fs::path out = dir_ / "out.txt", err = dir_ / "err.txt";
        const std::string command = "PT4_STREAM_TIMEOUT=2 timeout -s INT " + std::to_string(limit.count()) +
                                    " " + PT4_BINARY_DIR + "/bin/pt4 play '" + url + "' >" + out.string() +
                                    " 2>" + err.string();
        const int status = std::system(command.c_str());
        std::this_thread::sleep_for(400ms); // the monitor lags behind the sink
        Outcome outcome;
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        const std::vector<int16_t> rec = recorder.Stop();
        outcome.seconds = SecondsHeard(rec);
        outcome.heard = Judge(outcome.seconds);
        std::ifstream o(out), e(err);
        outcome.out.assign(std::istreambuf_iterator<char>(o), {});
        outcome.err.assign(std::istreambuf_iterator<char>(e), {});
        return outcome;
    }

    // pt4 play of `url` in a terminal of its own, Space typed at `pause` and again at `resume`,
    // interrupted at `end` (all counted from the start).
    static Outcome PlayPaused(const std::string& url, std::chrono::milliseconds pause,
                              std::chrono::milliseconds resume, std::chrono::milliseconds end)
    {
        test::MonitorRecorder recorder;
        int master = -1, slave = -1;
        if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            return {};
        const auto started = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child == 0) {
            for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
                dup2(slave, fd);
            setenv("PT4_STREAM_TIMEOUT", "2", 1);
            execl((std::string(PT4_BINARY_DIR) + "/bin/pt4").c_str(), "pt4", "play", url.c_str(), nullptr);
            _exit(127);
        }
        Outcome outcome;
        int typed = 0;
        for (;;) {
            const auto now = std::chrono::steady_clock::now() - started;
            if (now >= end)
                break;
            if ((typed == 0 && now >= pause) || (typed == 1 && now >= resume)) {
                if (write(master, " ", 1) == 1)
                    ++typed;
            }
            pollfd readable{master, POLLIN, 0};
            if (poll(&readable, 1, 50) > 0) {
                char bytes[512];
                const ssize_t n = read(master, bytes, sizeof bytes);
                if (n > 0)
                    outcome.out.append(bytes, size_t(n));
            }
        }
        kill(child, SIGINT);
        int status = 0;
        waitpid(child, &status, 0);
        close(master), close(slave);
        std::this_thread::sleep_for(400ms);
        outcome.status = WIFSIGNALED(status) ? 124 : WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.seconds = SecondsHeard(recorder.Stop());
        return outcome;
    }

    static fs::path dir_;
    static std::unique_ptr<test::RadioServer> server_;
    static std::unique_ptr<test::SoundServer> daemon_;
};

fs::path StationPlay::dir_;
std::unique_ptr<test::RadioServer> StationPlay::server_;
std::unique_ptr<test::SoundServer> StationPlay::daemon_;

TEST_F(StationPlay, MisbehavingStations)
{
    const std::string refused = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/";
    const struct {
        const char* name;
        std::string url;
        std::chrono::seconds limit;
        int status;       // 124: still playing at the limit
        std::string said; // in what pt4 printed or reported ...
        int times;        // ... at least this many times
        int reconnects;   // lines that say so
        int minWindows;   // of sound heard (a fifth of a second each)
        int maxSilences;  // gaps in what was heard
    } cases[] = {
        // Drops every 5 s, three times, then 404: the 15 s sent are heard, the last of them after
        // the refusal, and the end says why.
        {"drop", server_->Url("/live?session=drop&drop=5&drops=3&then=404"), 30s, 1,
         "the station refused: HTTP 404", 1, 3, 72, 0},
        // Stalls twice after 3 s: each heard as one pause, and reconnected after the read limit
        // (2 s here); what was buffered before the stall is heard after it.
        {"stall", server_->Url("/live?session=stall&stall=3&drops=2"), 16s, 124, "", 0, 2, 40, 2},
        // 90 % of real time: a pause to refill now and then (after the first fill), each said,
        // rather than a stutter.
        {"slow", server_->Url("/live?session=slow&speed=0.9"), 20s, 124, "buffering", 3, 0, 70, 2},
        // Strictly in real time, no burst: not one gap.
        {"no burst", server_->Url("/live?session=realtime"), 10s, 124, "", 0, 0, 40, 0},
        // 44.1 kHz stereo, then 22.05 kHz mono from the fourth second: plays on.
        // The output opens again in the new format: a gap while it does, and at most one more
        // short one while the old format plays out.
        {"rate change", server_->Url("/live?session=change&change=4"), 10s, 124, "", 0, 0, 35, 2},
        {"refused", refused, 20s, 1, "the station refused the connection", 1, 0, 0, 0},
        {"AAC", server_->Url("/live?session=aac&type=audio/aac"), 20s, 1, "AAC audio (audio/aac)", 1, 0, 0,
         0},
        {"web page", server_->Url("/page.html"), 20s, 1, "the station sends text/html, not MPEG audio", 1, 0,
         0, 0},
        {"ICY 404", server_->Url("/icy404"), 20s, 1, "the server answered HTTP 404", 1, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = Play(c.url, c.limit);
        EXPECT_EQ(outcome.status, c.status) << outcome.err;
        EXPECT_GE(Count(outcome.out + outcome.err, c.said), c.times) << outcome.out << outcome.err;
        EXPECT_EQ(Count(outcome.err, "pt4: "), c.status == 1 ? 1 : 0) << outcome.err;
        EXPECT_EQ(Count(outcome.out, ": reconnecting"), c.reconnects) << outcome.out;
        EXPECT_GE(outcome.heard.windows, c.minWindows) << Runs(outcome.seconds);
        EXPECT_LE(outcome.heard.silences, c.maxSilences) << Runs(outcome.seconds);
        if (c.minWindows > 0 && std::string(c.name) != "rate change") {
            EXPECT_TRUE(outcome.heard.inOrder) << Runs(outcome.seconds);
        }
        // The library's own texts never reach the user.
        EXPECT_EQ(outcome.err.find("Couldn't"), std::string::npos) << outcome.err;
        EXPECT_EQ(outcome.err.find("HTTP/0.9"), std::string::npos) << outcome.err;
    }
}

// A station paused for 20 s plays on from where it was: the first second heard after the pause
// is the one heard last before it, and what follows is heard in order. A station that sends a
// pause's worth of audio faster than its bound (5 minutes) is let go at the bound and joined live
// again at the end of the pause, which pt4 says.
TEST_F(StationPlay, APauseLosesNothingUpToItsBound)
{
    const struct {
        const char* name;
        std::string url;
        bool live; // joined live again after the pause
    } cases[] = {
        // A server that drops a listener who takes nothing for 2 s.
        {"pause", server_->Url("/live?session=pause&strict=1"), false},
        // 20 s of audio a second: 400 s during the pause.
        {"past the bound", server_->Url("/live?session=bound&speed=20&loop=1"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = PlayPaused(c.url, 5s, 25s, 37s);
        EXPECT_EQ(outcome.status, 124) << outcome.out;
        EXPECT_EQ(Count(outcome.out, "the pause outlasted the buffer: reconnecting to play live"),
                  c.live ? 1 : 0)
            << outcome.out;
        const std::vector<int>& seconds = outcome.seconds;
        // The pause: the longest run of silent windows.
        size_t gapStart = 0, gapLength = 0;
        for (size_t i = 0; i < seconds.size();) {
            size_t j = i;
            while (j < seconds.size() && seconds[j] < 0)
                ++j;
            if (j - i > gapLength && i > 0 && j < seconds.size())
                gapStart = i, gapLength = j - i;
            i = j + 1;
        }
        ASSERT_GE(gapLength, 90u) << Runs(seconds); // 18 s or more
        const std::vector<int> after(seconds.begin() + ptrdiff_t(gapStart + gapLength), seconds.end());
        const Heard heard = Judge(after);
        EXPECT_GE(heard.windows, c.live ? 25 : 50) << Runs(seconds);
        if (!c.live) {
            // Within the second heard last, or the next one at its boundary.
            const int before = seconds[gapStart - 1];
            EXPECT_TRUE(after.front() == before || after.front() == before + 1) << Runs(seconds);
            EXPECT_TRUE(heard.inOrder) << Runs(seconds);
            EXPECT_EQ(heard.silences, 0) << Runs(seconds);
        }
    }
}

} // namespace
} // namespace pt4
