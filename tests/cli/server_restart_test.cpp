// `pt4 play` while the sound server goes away and comes back: play waits for it, says so once,
// and goes on from where it was heard last.
#include "output/support/pcm_signal.h"
#include "output/support/pulse_daemon.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace pt4 {
namespace {

using namespace std::chrono_literals;
constexpr size_t kRate = test::kSinkRate;

// The first and the last sounding frame of a recording, or nothing when it is silent.
std::optional<std::pair<size_t, size_t>> SoundingSpan(std::span<const int16_t> recording)
{
    std::optional<std::pair<size_t, size_t>> span;
    for (size_t frame = 0; frame < recording.size() / 2; ++frame) {
        if (recording[2 * frame] == 0 && recording[2 * frame + 1] == 0)
            continue;
        if (!span)
            span = std::make_pair(frame, frame);
        span->second = frame;
    }
    return span;
}

TEST(ServerRestart, PlayWaitsForTheServerAndGoesOnWhereItWasHeard)
{
    test::SoundServer server;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("pt4-restart-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string pt4 = std::string(PT4_BINARY_DIR) + "/bin/pt4";

    // 20 s of a chirp: any stretch of a few frames tells where in the file it lies.
    std::vector<int16_t> chirp;
    double phase = 0;
    for (size_t i = 0; i < 20 * kRate; ++i) {
        phase += 2 * M_PI * (200.0 + 150.0 * double(i) / kRate) / kRate;
        chirp.insert(chirp.end(), {int16_t(9000 * std::sin(phase)), int16_t(-7000 * std::sin(1.5 * phase))});
    }
    std::ofstream((dir / "chirp.raw").string(), std::ios::binary)
        .write(reinterpret_cast<const char*>(chirp.data()), std::streamsize(chirp.size() * 2));
    const std::string file = (dir / "chirp.mp3").string();
    ASSERT_TRUE(test::RunProgram(
        {"lame", "--quiet", "-r", "-s", "44.1", "-b", "192", (dir / "chirp.raw").string(), file}));
    const std::optional<std::string> decoded = test::RunProgram({pt4, "decode", "--raw", file, "-o", "-"});
    ASSERT_TRUE(decoded);
    const std::span<const int16_t> pcm(reinterpret_cast<const int16_t*>(decoded->data()),
                                       decoded->size() / 2);

    auto before = std::make_unique<test::MonitorRecorder>();
    const std::string errors = (dir / "stderr.txt").string();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execl(pt4.c_str(), "pt4", "play", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(5s);
    server.Kill();
    const std::vector<int16_t> heard = before->Stop();
    before.reset();
    std::this_thread::sleep_for(3s);
    server.Restart();
    test::MonitorRecorder after;
    std::this_thread::sleep_for(6s);
    const std::vector<int16_t> resumed = after.Stop();
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);

    // Where play stopped: the last frame heard before the server went.
    const auto first = SoundingSpan(heard);
    ASSERT_TRUE(first) << "nothing was heard before the server went";
    const size_t tail = std::min<size_t>(first->second - first->first + 1, kRate / 10);
    const std::span<const int16_t> lastHeard(heard.data() + 2 * (first->second + 1 - tail), 2 * tail);
    const auto stopped = test::Align(lastHeard, pcm, {}, 1, pcm.size() / 2);
    ASSERT_TRUE(stopped) << "what was heard before is not the file";
    const size_t stoppedAt = stopped->pcmFrame + tail;

    // Within five seconds of the server's return, the file again, from within two seconds of there.
    const auto again = SoundingSpan(resumed);
    ASSERT_TRUE(again) << "nothing was heard after the server came back";
    EXPECT_LT(again->first, 5 * kRate) << "play went on only after " << double(again->first) / kRate << " s";
    const std::span<const int16_t> firstAgain(
        resumed.data() + 2 * again->first,
        std::min<size_t>(resumed.size() - 2 * again->first, 2 * kRate / 10));
    const auto wentOn = test::Align(firstAgain, pcm, {}, 1, pcm.size() / 2);
    ASSERT_TRUE(wentOn) << "what was heard after is not the file";
    const double jump = (double(wentOn->pcmFrame) - double(stoppedAt)) / kRate;
    std::printf("stopped at %.2f s of the file, went on at %.2f s, %.2f s after the server's return\n",
                double(stoppedAt) / kRate, double(wentOn->pcmFrame) / kRate, double(again->first) / kRate);
    EXPECT_LT(std::abs(jump), 2.0);
    EXPECT_GT(stoppedAt, 2 * kRate) << "play had hardly begun";

    // Said once, in English, and play went on rather than ending with a failure.
    std::stringstream said;
    said << std::ifstream(errors).rdbuf();
    const std::string text = said.str();
    const std::string notice = "the sound server is gone";
    ASSERT_NE(text.find(notice), std::string::npos) << text;
    EXPECT_EQ(text.find(notice), text.rfind(notice)) << text;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM)
        << "pt4 ended before it was told to: " << text;
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace pt4
