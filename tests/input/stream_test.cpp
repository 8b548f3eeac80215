#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "mp3plyr/errors.h"
#include "mp3plyr/input/descriptor_stream.h"
#include "mp3plyr/input/file_stream.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/input/memory_stream.h"

namespace pt4 {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// A scratch folder per test, removed afterwards.
class ScratchDir {
public:
    ScratchDir()
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = fs::temp_directory_path() /
                ("pt4_stream_test_" + std::to_string(::getpid()) + "_" + info->name());
        fs::create_directories(path_);
    }
    ~ScratchDir()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    fs::path File(const std::string& name, const std::string& contents) const
    {
        const fs::path file = path_ / name;
        std::ofstream(file, std::ios::binary) << contents;
        return file;
    }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

std::string OpenError(const fs::path& path)
{
    try {
        TMPFileStream stream(path.string());
    } catch (const EMP3Error& error) {
        return error.what();
    }
    return "(opened)";
}

TEST(FileStream, ReadsSeeksAndSizes)
{
    ScratchDir dir;
    const fs::path file = dir.File("a.mp3", "0123456789");
    TMPFileStream stream(file.string());
    EXPECT_EQ(stream.Size(), 10);
    char buffer[16] = {};
    EXPECT_EQ(stream.Read(buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(stream.Seek(2, kSeekFromCurrent), 6);
    EXPECT_EQ(stream.Read(buffer, 16), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(stream.Read(buffer, 16), 0);
    EXPECT_EQ(stream.Seek(-3, kSeekFromEnd), 7);
    EXPECT_EQ(stream.Read(buffer, 1), 1);
    EXPECT_EQ(buffer[0], '7');
    // Past the end is a position like any other; there is nothing to read there.
    EXPECT_EQ(stream.Seek(100, kSeekFromBeginning), 100);
    EXPECT_EQ(stream.Read(buffer, 16), 0);
    EXPECT_THROW(stream.Seek(-1, kSeekFromBeginning), EMP3Error);
    EXPECT_EQ(stream.Seek(int64_t{5} << 31, kSeekFromBeginning), int64_t{5} << 31);
    EXPECT_EQ(stream.Read(buffer, 16), 0);
    EXPECT_THROW(stream.Seek(0, 3), EMP3Error);
}

TEST(FileStream, RefusesWhatItCannotPlayWithAOneLineReason)
{
    ScratchDir dir;
    const std::string missing = OpenError(dir.Path() / "missing.mp3");
    EXPECT_THAT(missing, HasSubstr("missing.mp3"));
    EXPECT_THAT(missing, HasSubstr("No such file"));

    const std::string directory = OpenError(dir.Path());
    EXPECT_THAT(directory, HasSubstr(dir.Path().string()));
    EXPECT_THAT(directory, HasSubstr("directory"));

    const fs::path fifo = dir.Path() / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THAT(OpenError(fifo), HasSubstr("not a regular file"));

    for (const auto& text : {missing, directory})
        EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(FileStream, RefusesUnreadableFiles)
{
    ScratchDir dir;
    const fs::path file = dir.File("locked.mp3", "data");
    fs::permissions(file, fs::perms::none);
    if (std::ifstream(file).good())
        GTEST_SKIP() << "permissions do not bind this user (root)";
    const std::string text = OpenError(file);
    EXPECT_THAT(text, HasSubstr("locked.mp3"));
    EXPECT_THAT(text, HasSubstr("Permission denied"));
}

TEST(FileStream, ReadsPastFourGibibytes)
{
    ScratchDir dir;
    const fs::path big = dir.File("big.mp3", "");
    const int64_t size = (int64_t{1} << 32) + 7;
    fs::resize_file(big, uintmax_t(size - 1)); // sparse: costs no disk space
    std::ofstream(big, std::ios::binary | std::ios::app).put('x');
    TMPFileStream file(big.string());
    EXPECT_EQ(file.Size(), size);
    EXPECT_EQ(file.Seek(-2, kSeekFromEnd), size - 2);
    char bytes[4] = {1, 1, 1, 1};
    EXPECT_EQ(file.Read(bytes, 4), 2);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 'x');
    EXPECT_EQ(file.Read(bytes, 1), 0);
}

TEST(MemoryStream, ViewAndOwnedCopyBehaveAlike)
{
    const std::vector<uint8_t> bytes{1, 2, 3, 4, 5};
    TMPMemoryStream view{std::span<const uint8_t>(bytes)};
    TMPMemoryStream owned{std::vector<uint8_t>(bytes)};
    for (TMPMemoryStream* stream : {&view, &owned}) {
        EXPECT_EQ(stream->Size(), 5);
        uint8_t buffer[8] = {};
        EXPECT_EQ(stream->Read(buffer, 3), 3);
        EXPECT_EQ(buffer[2], 3);
        EXPECT_EQ(stream->Read(buffer, 8), 2);
        EXPECT_EQ(buffer[1], 5);
        EXPECT_EQ(stream->Read(buffer, 8), 0);
        EXPECT_EQ(stream->Seek(-4, kSeekFromEnd), 1);
        EXPECT_EQ(stream->Seek(1, kSeekFromCurrent), 2);
        EXPECT_EQ(stream->Read(buffer, 1), 1);
        EXPECT_EQ(buffer[0], 3);
        EXPECT_EQ(stream->Seek(1000, kSeekFromBeginning), 1000);
        EXPECT_EQ(stream->Read(buffer, 8), 0);
        EXPECT_THROW(stream->Seek(-1001, kSeekFromCurrent), EMP3Error);
        EXPECT_EQ(stream->Position(), 1000);
    }
}

TEST(MemoryStream, EmptyStream)
{
    TMPMemoryStream stream{std::span<const uint8_t>()};
    uint8_t byte = 0;
    EXPECT_EQ(stream.Size(), 0);
    EXPECT_EQ(stream.Read(&byte, 1), 0);
    EXPECT_EQ(stream.Seek(0, kSeekFromEnd), 0);
}

TEST(StreamSeekTarget, StaysWithinTheLargestOffset)
{
    EXPECT_EQ(ResolveSeekTarget(5, kSeekFromCurrent, 10, 100), 15);
    EXPECT_EQ(ResolveSeekTarget(-100, kSeekFromEnd, 10, 100), 0);
    EXPECT_EQ(ResolveSeekTarget(kMaxStreamOffset, kSeekFromBeginning, 10, 100), kMaxStreamOffset);
    EXPECT_THROW(ResolveSeekTarget(kMaxStreamOffset, kSeekFromCurrent, 1, 100), EMP3Error);
    EXPECT_THROW(ResolveSeekTarget(std::numeric_limits<int64_t>::min(), kSeekFromEnd, 0, 100), EMP3Error);
    EXPECT_THROW(ResolveSeekTarget(std::numeric_limits<int64_t>::max(), kSeekFromEnd, 0, 100), EMP3Error);
}

// The kind is what the player and the terminal tool act on, so each failure must carry its own.
TEST(ErrorKind, EachFailureSaysWhatWentWrong)
{
    ScratchDir dir;
    std::ofstream(dir.Path() / "empty.m3u") << "# nothing to play\n";
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::vector<uint8_t> bytes(10);
    struct Case {
        const char* what;
        std::function<void()> fail;
        TErrorKind kind;
    };
    const Case cases[] = {
        {"missing file", [&] { OpenLocation((dir.Path() / "missing.mp3").string()); }, TErrorKind::Open},
        {"empty playlist", [&] { OpenLocation((dir.Path() / "empty.m3u").string()); }, TErrorKind::Open},
        {"pipe read",
         [&] {
             char c;
             TMPDescriptorStream(fds[1]).Read(&c, 1);
         },
         TErrorKind::Input},
        {"pipe seek", [&] { TMPDescriptorStream(fds[0]).Seek(0, kSeekFromBeginning); }, TErrorKind::Internal},
        {"seek outside", [&] { TMPMemoryStream(bytes).Seek(-1, kSeekFromBeginning); }, TErrorKind::Internal},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.fail();
            ADD_FAILURE() << "no error";
        } catch (const EMP3Error& error) {
            EXPECT_EQ(error.Kind(), c.kind) << error.what();
        }
    }
    ::close(fds[0]);
    ::close(fds[1]);
}

} // namespace
} // namespace pt4
