// pt4 on streams that cannot seek: standard input, a station served over HTTP (redirects,
// playlists, inline titles) and the faults of a station, each ending with one message.
#include "cli/support/radio_server.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace pt4 {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class StreamCommand : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = new test::RadioServer(Demo()); }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() / ("pt4-stream-" + std::to_string(getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    static std::string Demo() { return std::string(PT4_SOURCE_DIR) + "/demo/demo.mp3"; }
    static std::string Pt4() { return std::string(PT4_BINARY_DIR) + "/bin/pt4"; }

    // Runs a shell command line; a hang ends after 60 s with status 124.
    Outcome Run(const std::string& line)
    {
        const fs::path out = folder_ / "out.txt";
        const fs::path err = folder_ / "err.txt";
        const std::string command = "timeout 60 sh -c '" + line + "' >" + out.string() + " 2>" + err.string();
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(out), ReadText(err)};
    }

    // The raw PCM of `input` decoded by pt4.
    std::string Decode(const std::string& input, const std::string& prefix = "")
    {
        const fs::path pcm = folder_ / "pcm.raw";
        const Outcome outcome = Run(prefix + Pt4() + " decode --raw " + input + " -o " + pcm.string());
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        return ReadText(pcm);
    }

    static test::RadioServer* server_;
    fs::path folder_;
};

test::RadioServer* StreamCommand::server_ = nullptr;

TEST_F(StreamCommand, StandardInputAndStationDecodeAsTheFile)
{
    const std::string file = Decode(Demo());
    ASSERT_GT(file.size(), 1000000u);
    EXPECT_TRUE(Decode("-", "cat " + Demo() + " | ") == file) << "standard input";
    // A station plays whole: its encoder's delay and padding are not left out.
    const std::string whole = Decode("--no-gapless " + Demo());
    // A redirect to a playlist served as text that names the station, whose audio comes with
    // metadata blocks every 1000 bytes.
    EXPECT_TRUE(Decode(server_->Url("/redirect")) == whole) << "station";
    EXPECT_TRUE(Decode(server_->Url("/icy")) == whole) << "ICY status line";
    // A station joined inside a frame starts at the next whole frame (the file's fifth, its
    // fourth audio frame after the information frame); after two frames of reservoir and
    // overlap the sound is the file's.
    const std::string joined = Decode(server_->Url("/joined"));
    constexpr size_t kFrameBytes = 1152 * 4;
    ASSERT_EQ(whole.size() - joined.size(), 3 * kFrameBytes) << "joined";
    EXPECT_TRUE(joined.substr(2 * kFrameBytes) == whole.substr(5 * kFrameBytes)) << "joined";
    const fs::path local = folder_ / "local.pls";
    std::ofstream(local) << "[playlist]\nFile1=" << server_->Url("/audio.mp3") << "\nNumberOfEntries=1\n";
    EXPECT_TRUE(Decode(local.string()) == whole) << "local playlist";
}

TEST_F(StreamCommand, StationNameAndTitleInInfo)
{
    const Outcome outcome = Run(Pt4() + " info " + server_->Url("/audio.mp3"));
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    // The first title, sent in Latin-1, shown as UTF-8.
    EXPECT_NE(outcome.out.find("title:        Caf\xC3\xA9 Ol\xC3\xA9\n"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("artist:       Test Station\n"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("data length:  unknown"), std::string::npos) << outcome.out;
    // Terminal controls in a station's name and titles are shown, not obeyed.
    const std::string shown = Run(Pt4() + " info " + server_->Url("/escapes")).out;
    EXPECT_NE(shown.find("title:        Clear\u241B[2J\u2421Screen\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("artist:       Evil\u241B]0;owned\u2407 Station\uFFFD2J\n"), std::string::npos)
        << shown;
}

TEST_F(StreamCommand, FaultsEndWithOneMessage)
{
    const std::string refused = "http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/";
    const struct {
        std::string url;
        std::string message;
    } cases[] = {
        {refused, "the station refused the connection"}, // not the HTTP library's own text
        {server_->Url("/missing"), "the server answered HTTP 404"},
        {server_->Url("/page.html"), "the station sends text/html, not MPEG audio"}, // named by its type
        {server_->Url("/empty.pls"), "the playlist names no stream"},
        {server_->Url("/stall"), "the server stopped sending"},
        {server_->Url("/slow-headers"), "no answer from the server"},
        {server_->Url("/noise"), "the station stopped sending MPEG audio"},
        {server_->Url("/huge-header"), "the server's answer is too large (a header line"},
        {server_->Url("/many-headers"), "the server's answer is too large (over 64 KB"},
        {(folder_ / "missing.mp3").string(),
         "No such file or directory"}, // in English, not the window's text
    };
    for (const auto& c : cases) {
        const auto started = std::chrono::steady_clock::now();
        const Outcome outcome = Run("PT4_STREAM_TIMEOUT=2 " + Pt4() + " decode --raw " + c.url + " -o " +
                                    (folder_ / "x").string());
        EXPECT_EQ(outcome.status, 1) << c.url;
        EXPECT_TRUE(outcome.err.starts_with("pt4: " + c.url + ": ")) << outcome.err;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)) << c.url;
    }
}

} // namespace
} // namespace pt4
