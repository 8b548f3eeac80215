// `pt4 play` in a terminal: single-key mode while it plays, and the terminal's own settings back
// when a signal ends it; playlists played whole. Plays into a private sound server's null sink.
#include "output/support/pcm_signal.h"
#include "output/support/pulse_daemon.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace pt4 {
namespace {

// Reads what the program writes to the terminal until `text` shows, for up to ten seconds.
bool WaitForOutput(int master, const std::string& text)
{
    std::string seen;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (seen.find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        pollfd readable{master, POLLIN, 0};
        if (poll(&readable, 1, 100) <= 0)
            continue;
        char bytes[256];
        const ssize_t n = read(master, bytes, sizeof bytes);
        if (n <= 0)
            return false;
        seen.append(bytes, size_t(n));
    }
    return true;
}

TEST(PlayCommand, TerminalIsGivenBackWhenASignalEndsPlay)
{
    test::SoundServer daemon;
    const std::string pt4 = std::string(PT4_BINARY_DIR) + "/bin/pt4";
    const std::string demo = std::string(PT4_SOURCE_DIR) + "/demo/demo.mp3";
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        int master = -1;
        int slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            dup2(slave, STDIN_FILENO);
            dup2(slave, STDOUT_FILENO);
            close(master);
            close(slave);
            execl(pt4.c_str(), "pt4", "play", demo.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        EXPECT_TRUE(WaitForOutput(master, "keys:"));
        termios playing{};
        ASSERT_EQ(tcgetattr(slave, &playing), 0);
        EXPECT_EQ(playing.c_lflag & (ICANON | ECHO), 0u) << "not in single-key mode";

        kill(child, signal);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
        termios after{};
        ASSERT_EQ(tcgetattr(slave, &after), 0);
        EXPECT_EQ(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
        close(master);
        close(slave);
    }
}

// `n` moves on at once, past a file that does not open (exit status 1), and ends play on the last.
TEST(PlayCommand, NMovesOnThroughTheFiles)
{
    test::SoundServer daemon;
    const std::string demo = std::string(PT4_SOURCE_DIR) + "/demo/demo.mp3";
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
            dup2(slave, fd);
        execl((std::string(PT4_BINARY_DIR) + "/bin/pt4").c_str(), "pt4", "play", demo.c_str(),
              "/nonexistent.mp3", demo.c_str(), nullptr);
        _exit(127);
    }
    for (int file = 0; file < 2; ++file) {
        EXPECT_TRUE(WaitForOutput(master, "梅の調べ\r\n")) << file;
        ASSERT_EQ(write(master, "n", 1), 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(6)); // 16 s of sound
    close(master), close(slave);
}

// Three parts of one sweep named in a list of each kind: what the sound server hears is the three
// decodes back to back, each title is shown in turn, and an entry that is missing is told once.
TEST(PlayCommand, APlaylistPlaysItsEntriesInOrder)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("pt4-list-play-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string pt4 = std::string(PT4_BINARY_DIR) + "/bin/pt4";
    const char* parts[] = {"一.mp3", "二.mp3", "三.mp3"};
    std::vector<int16_t> joined;
    double phase = 0;
    for (const char* part : parts) {
        std::vector<int16_t> sweep;
        for (int i = 0; i < 50000; ++i) {
            phase += 2 * M_PI * (300.0 + phase / 40) / 44100;
            sweep.insert(sweep.end(), {int16_t(9000 * std::sin(phase)), int16_t(-6000 * std::sin(phase))});
        }
        std::ofstream((dir / "part.raw").string(), std::ios::binary)
            .write(reinterpret_cast<const char*>(sweep.data()), std::streamsize(sweep.size() * 2));
        ASSERT_TRUE(test::RunProgram({"lame", "--quiet", "-r", "-s", "44.1", "-b", "128",
                                      (dir / "part.raw").string(), (dir / part).string()}));
        const std::optional<std::string> pcm =
            test::RunProgram({pt4, "decode", "--raw", (dir / part).string(), "-o", "-"});
        ASSERT_TRUE(pcm);
        joined.insert(joined.end(), reinterpret_cast<const int16_t*>(pcm->data()),
                      reinterpret_cast<const int16_t*>(pcm->data() + pcm->size()));
    }
    const std::pair<const char*, const char*> lists[] = {
        {"list.m3u", "#EXTINF:1,Eins\n一.mp3\n二.mp3\n三.mp3\nmissing.mp3\n"},
        {"歌.pls", "[playlist]\r\nFile2=二.mp3\r\nFile1=一.mp3\r\nTitle1=Eins\r\nFile3=三.mp3\r\n"},
        {"歌.m3u8", "#EXTM3U\n#EXTINF:1,Eins\n./一.mp3\nfile://@/二.mp3\n三.mp3\n"},
    };
    test::SoundServer server;
    for (const auto& [name, text] : lists) {
        SCOPED_TRACE(name);
        std::string listText = text;
        if (const size_t at = listText.find('@'); at != std::string::npos) // an absolute file:// URL
            listText.replace(at, 1, dir.string());
        std::ofstream(dir / name) << listText;
        test::MonitorRecorder recorder;
        const std::optional<std::string> output =
            test::RunProgram({"sh", "-c", "\"$0\" play \"$1\" 2>&1; true", pt4, (dir / name).string()});
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        const std::vector<int16_t> recording = recorder.Stop();
        ASSERT_TRUE(output);

        const size_t first = output->find("Eins"), second = output->find("二.mp3"),
                     third = output->find("三.mp3");
        EXPECT_TRUE(first < second && second < third && third != std::string::npos) << *output;
        const std::string notice = "pt4: " + (dir / "missing.mp3").string() + ":";
        const size_t told = output->find(notice);
        EXPECT_EQ(told != std::string::npos && output->find(notice, told + 1) == std::string::npos,
                  listText.find("missing") != std::string::npos)
            << *output;

        const auto aligned = test::Align(recording, joined, {}, 1, 4410);
        ASSERT_TRUE(aligned) << "the list is not in the recording";
        const size_t frames = joined.size() / 2 - aligned->pcmFrame;
        ASSERT_LE(aligned->recordedFrame + frames, recording.size() / 2) << "the end was not heard";
        EXPECT_LE(
            test::MaxDifference(recording, aligned->recordedFrame, joined, aligned->pcmFrame, frames, {}), 1);
    }
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace pt4
