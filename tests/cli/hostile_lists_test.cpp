// Lists as a hostile server or file system would give them to pt4: a fetched list larger than
// the transfer's buffer, one that stalls, a FIFO or a folder under a list's name, a list that
// is missing. Each is read, or refused at once with its cause in English, and never hangs.
#include "cli/support/pt4_run.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace pt4 {
namespace {

using namespace pt4::test;
namespace fs = std::filesystem;

// Entries of the fetched lists: about 570 KB, more than twice the transfer's buffer.
constexpr int kEntries = 15000;

// list_server.py (beside the cli tests' support) on a loopback port, stopped by its process id.
class ListServer {
public:
    ListServer()
    {
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            const std::string script = std::string(PT4_SOURCE_DIR) + "/tests/cli/support/list_server.py";
            execlp("python3", "python3", script.c_str(), std::to_string(kEntries).c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        char line[32] = {};
        FILE* from = fdopen(out[0], "r");
        const bool started = from && std::fgets(line, sizeof line, from);
        if (from)
            std::fclose(from);
        if (!started)
            throw std::runtime_error("the list server did not start");
        port_ = std::atoi(line);
    }
    ~ListServer()
    {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    ListServer(const ListServer&) = delete;
    ListServer& operator=(const ListServer&) = delete;

    std::string Url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

class HostileLists : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("pt4-lists-" + std::to_string(getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    fs::path folder;
};

TEST_F(HostileLists, AreReadOrRefusedWithTheirCauseAndNeverHang)
{
    ListServer server;
    const std::string fifo = (folder / "fifo.m3u").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folderList = (folder / "folder.m3u").string();
    fs::create_directories(folderList);
    const std::string missing = (folder / "missing.m3u").string();

    const struct {
        const char* what;
        std::string args;
        std::string environment;
        int status;
        std::string inOut; // looked for in standard output
        std::string inErr; // looked for in standard error
    } rows[] = {
        {"a fetched list larger than the buffer", "info " + server.Url("/big.m3u"), "", 0,
         std::to_string(kEntries) + " entries", ""},
        {"its last entry", "info " + server.Url("/big.m3u"), "", 0, "station-014999.mp3", ""},
        {"a fetched list that stalls", "info " + server.Url("/stall.m3u"), "PT4_STREAM_TIMEOUT=2", 1, "",
         "no answer from the server"},
        {"a fetched list that stalls, played", "play " + server.Url("/stall.m3u"), "PT4_STREAM_TIMEOUT=2", 1,
         "", "no answer from the server"},
        {"a FIFO named as a list", "info " + ShellWord(fifo), "", 1, "", "not a regular file"},
        {"a FIFO named as a list, played", "play " + ShellWord(fifo), "", 1, "", "not a regular file"},
        {"a folder named as a list", "info " + ShellWord(folderList), "", 1, "",
         "it is a directory, not a file."},
        {"a folder named as a list, played", "play " + ShellWord(folderList), "", 1, "",
         "it is a directory, not a file."},
        {"a missing list, played", "play " + ShellWord(missing), "", 1, "", "No such file or directory"},
        {"a missing list", "info " + ShellWord(missing), "", 1, "", "No such file or directory"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const Pt4Result run = RunPt4(row.args, folder, 20, row.environment);
        EXPECT_EQ(run.status, row.status) << run.err;
        EXPECT_NE(run.out.find(row.inOut), std::string::npos) << run.out.substr(0, 300);
        EXPECT_NE(run.err.find(row.inErr), std::string::npos) << run.err;
        // pt4 speaks English: the window's own texts never reach its error lines.
        EXPECT_EQ(run.err.find("開けません"), std::string::npos) << run.err;
    }
}

} // namespace
} // namespace pt4
