// `pt4 play` in a terminal: single-key mode while it plays, and the terminal's own settings back
// when a signal ends it. Plays into a private sound server's null sink.
#include "output/support/pulse_daemon.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

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

} // namespace
} // namespace pt4
