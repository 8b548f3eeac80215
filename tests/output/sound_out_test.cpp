// The wave output's ring of blocks, observed through its file output: no sound server needed.
#include "mp3plyr/errors.h"
#include "mp3plyr/output/sound_out.h"
#include "mp3plyr/runtime/exception_display.h"
#include "output/support/deadline.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

namespace pt4 {
namespace {

using test::kDeadlockGuardMs;

constexpr int32_t kBlockBytes = 88200; // half a second of 44100 Hz 16-bit stereo

std::vector<uint8_t> Pcm(size_t bytes, uint8_t seed = 1)
{
    std::vector<uint8_t> pcm(bytes);
    uint32_t state = seed;
    for (uint8_t& b : pcm) {
        state = state * 1103515245u + 12345u;
        b = uint8_t(state >> 16);
    }
    return pcm;
}

// Writes everything, waiting for the output thread whenever the ring is full.
void WriteAll(TSoundOut& out, const std::vector<uint8_t>& pcm)
{
    TMPSimpleEvent room;
    size_t offset = 0;
    while (offset < pcm.size()) {
        offset += size_t(out.Write(pcm.data() + offset, int32_t(pcm.size() - offset)));
        if (offset < pcm.size()) {
            room.ResetEvent();
            out.SetNotifyEvent(&room);
            ASSERT_EQ(room.WaitFor(kDeadlockGuardMs), kWaitSignalled);
        }
    }
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t Get32(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

uint16_t Get16(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint16_t(bytes[at] | bytes[at + 1] << 8);
}

std::string Tag(const std::vector<uint8_t>& bytes, size_t at)
{
    return std::string(bytes.begin() + long(at), bytes.begin() + long(at) + 4);
}

// The read end of a named pipe: whoever writes into it stalls once the pipe is full, until the
// reader is released and drains it.
class PipeReader {
public:
    explicit PipeReader(std::filesystem::path path) : path_(std::move(path))
    {
        EXPECT_EQ(mkfifo(path_.c_str(), 0600), 0);
        // Opened before the writer, without waiting for it, so that a test that never writes
        // cannot leave the reader stuck.
        fd_ = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        EXPECT_GE(fd_, 0);
        fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        reader_ = std::thread([this] {
            released_.WaitFor(kInfinite);
            std::array<uint8_t, 65536> chunk;
            ssize_t n = 0;
            while ((n = read(fd_, chunk.data(), chunk.size())) > 0)
                bytes_.insert(bytes_.end(), chunk.begin(), chunk.begin() + n);
        });
    }
    ~PipeReader()
    {
        released_.SetEvent();
        if (reader_.joinable())
            reader_.join();
        close(fd_);
    }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;

    void Release() { released_.SetEvent(); }
    // After the writer has closed the pipe.
    std::vector<uint8_t> Finish()
    {
        released_.SetEvent();
        reader_.join();
        return bytes_;
    }

private:
    std::filesystem::path path_;
    int fd_ = -1;
    TMPSimpleEvent released_;
    std::vector<uint8_t> bytes_;
    std::thread reader_;
};

class SoundOutFile : public ::testing::Test {
protected:
    // A sound server is never contacted: the volume falls back to 100 at once.
    static void SetUpTestSuite() { setenv("PULSE_SERVER", "unix:/nonexistent/pt4-sound-out-test/native", 1); }

    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "pt4-wave.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::filesystem::path Path(const char* name) const { return dir_ / name; }

    static void ExpectHeader(const std::vector<uint8_t>& file, uint32_t rate, uint16_t channels,
                             uint16_t bits, uint32_t dataBytes)
    {
        ASSERT_GE(file.size(), 44u);
        EXPECT_EQ(Tag(file, 0), "RIFF");
        EXPECT_EQ(Get32(file, 4), dataBytes + 36);
        EXPECT_EQ(Tag(file, 8), "WAVE");
        EXPECT_EQ(Tag(file, 12), "fmt ");
        EXPECT_EQ(Get32(file, 16), 16u);
        EXPECT_EQ(Get16(file, 20), 1u);
        EXPECT_EQ(Get16(file, 22), channels);
        EXPECT_EQ(Get32(file, 24), rate);
        EXPECT_EQ(Get32(file, 28), rate * channels * bits / 8);
        EXPECT_EQ(Get16(file, 32), channels * bits / 8);
        EXPECT_EQ(Get16(file, 34), bits);
        EXPECT_EQ(Tag(file, 36), "data");
        EXPECT_EQ(Get32(file, 40), dataBytes);
    }

    std::filesystem::path dir_;
};

TEST_F(SoundOutFile, BlockIsHalfASecondRoundedUpToWholeWords)
{
    struct Case {
        int32_t rate, bits, channels, blockSize;
    };
    for (const Case c : {Case{44100, 16, 2, 88200}, Case{48000, 16, 2, 96000}, Case{22050, 16, 1, 22052},
                         Case{11025, 8, 1, 5512}, Case{11025, 16, 1, 11028}, Case{8000, 8, 2, 8000}}) {
        TSoundOut out;
        out.SetSampleRate(c.rate);
        out.SetBitsPerSample(c.bits);
        out.SetChannels(c.channels);
        out.SetWaveFileName(Path("block.wav"));
        out.Open();
        EXPECT_EQ(out.BlockSize(), c.blockSize)
            << c.rate << " Hz " << c.bits << "-bit " << c.channels << " ch";
        EXPECT_EQ(out.FreeSpacePercent(), 100);
        out.Close();
    }
}

TEST_F(SoundOutFile, WriteQueuesFullBlocksAndKeepsTheRestForLater)
{
    const std::vector<uint8_t> pcm = Pcm(100000);
    TSoundOut out;
    out.SetWaveFileName(Path("ring.wav"));
    out.Open();
    EXPECT_EQ(out.Write(pcm.data(), int32_t(pcm.size())), 100000);
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs));
    // One block went out; 11800 bytes wait in the second.
    EXPECT_EQ(out.GetDoneBytes(), kBlockBytes);
    EXPECT_EQ(out.FreeSpacePercent(), (4 * kBlockBytes - 11800) * 100 / (4 * kBlockBytes));
    EXPECT_TRUE(out.CanWrite());
    out.Flush();
    EXPECT_TRUE(out.WaitForDone(0)) << "Flush returns once the thread has stored the part block";
    EXPECT_EQ(out.GetDoneBytes(), 11800);
    EXPECT_EQ(out.GetDoneBytes(), 0);
    out.Close();

    const std::vector<uint8_t> file = ReadFile(Path("ring.wav"));
    ASSERT_EQ(file.size(), pcm.size() + 44);
    ExpectHeader(file, 44100, 2, 16, uint32_t(pcm.size()));
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 44));
}

TEST_F(SoundOutFile, FileOfNBytesGetsBothLengthsAtClose)
{
    const std::vector<uint8_t> pcm = Pcm(30001, 2);
    TSoundOut out;
    out.SetSampleRate(11025);
    out.SetBitsPerSample(8);
    out.SetChannels(1);
    out.SetWaveFileName(Path("mono8.wav"));
    out.Open();
    WriteAll(out, pcm); // more than the ring holds
    out.Flush();
    out.Close();

    const std::vector<uint8_t> file = ReadFile(Path("mono8.wav"));
    ASSERT_EQ(file.size(), pcm.size() + 44);
    ExpectHeader(file, 11025, 1, 8, uint32_t(pcm.size()));
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 44));
}

TEST_F(SoundOutFile, CloseStoresOnlyTheBlocksThatWereQueued)
{
    const std::vector<uint8_t> pcm = Pcm(kBlockBytes + 1000, 3);
    TSoundOut out;
    out.SetWaveFileName(Path("queued.wav"));
    out.Open();
    EXPECT_EQ(out.Write(pcm.data(), int32_t(pcm.size())), int32_t(pcm.size()));
    out.Close();

    const std::vector<uint8_t> file = ReadFile(Path("queued.wav"));
    ASSERT_EQ(file.size(), size_t(kBlockBytes) + 44);
    ExpectHeader(file, 44100, 2, 16, kBlockBytes);
}

TEST_F(SoundOutFile, DestroyingAnOpenOutputFinishesTheFile)
{
    const std::vector<uint8_t> pcm = Pcm(3 * kBlockBytes, 4);
    {
        TSoundOut out;
        out.SetWaveFileName(Path("destroyed.wav"));
        out.Open();
        EXPECT_EQ(out.Write(pcm.data(), int32_t(pcm.size())), int32_t(pcm.size()));
    }
    const std::vector<uint8_t> file = ReadFile(Path("destroyed.wav"));
    ASSERT_EQ(file.size(), pcm.size() + 44);
    ExpectHeader(file, 44100, 2, 16, uint32_t(pcm.size()));
}

TEST_F(SoundOutFile, WithEveryBlockQueuedNothingIsTakenUntilOneComesBack)
{
    // The output thread stalls writing the first block into the full pipe, so all four stay queued.
    const std::filesystem::path pipePath = Path("stalled.wav");
    PipeReader reader(pipePath);
    const std::vector<uint8_t> pcm = Pcm(4 * kBlockBytes + 10, 5);
    TSoundOut out;
    out.SetWaveFileName(pipePath);
    out.Open();
    EXPECT_EQ(out.Write(pcm.data(), int32_t(pcm.size())), 4 * kBlockBytes);
    EXPECT_FALSE(out.CanWrite());
    EXPECT_EQ(out.Write(pcm.data() + 4 * kBlockBytes, 10), 0);
    EXPECT_EQ(out.FreeSpacePercent(), 0);
    EXPECT_FALSE(out.WaitForDone(0));
    TMPSimpleEvent room;
    out.SetNotifyEvent(&room);
    EXPECT_EQ(room.WaitFor(0), kWaitTimeout) << "no block has come back yet";
    // Nothing is filled: Flush neither queues a block nor waits for the stalled thread.
    test::FinishesWithin("Flush with nothing filled", [&] { out.Flush(); });

    reader.Release();
    EXPECT_EQ(room.WaitFor(kDeadlockGuardMs), kWaitSignalled)
        << "the first block back did not wake the writer";
    EXPECT_TRUE(out.CanWrite());
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs));
    EXPECT_EQ(out.GetDoneBytes(), 4 * kBlockBytes);
    // A pipe cannot be wound back to fill in the lengths; the output closes all the same.
    EXPECT_THROW(out.Close(), EMP3Error);
    EXPECT_FALSE(out.Active());
    const std::vector<uint8_t> stored = reader.Finish();
    ASSERT_EQ(stored.size(), size_t(4 * kBlockBytes) + 44);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + 4 * kBlockBytes, stored.begin() + 44));
}

TEST_F(SoundOutFile, NotifyEventIsSetAtOnceWhenThereIsRoomAndThenForgotten)
{
    const std::vector<uint8_t> pcm = Pcm(kBlockBytes, 6);
    TSoundOut out;
    out.SetWaveFileName(Path("notify.wav"));
    out.Open();
    TMPSimpleEvent room;
    out.SetNotifyEvent(&room);
    EXPECT_EQ(room.WaitFor(0), kWaitSignalled);
    room.ResetEvent();
    EXPECT_EQ(out.Write(pcm.data(), int32_t(pcm.size())), int32_t(pcm.size()));
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs));
    EXPECT_EQ(room.WaitFor(0), kWaitTimeout) << "a one-shot event was set twice";
    out.Close();
}

TEST_F(SoundOutFile, SettersIgnoreValuesOutOfRange)
{
    TSoundOut out;
    EXPECT_EQ(out.Volume(), 100u) << "a new output plays the samples unchanged";
    out.SetVolume(101);
    EXPECT_EQ(out.Volume(), 100u);
    out.SetVolume(0);
    EXPECT_EQ(out.Volume(), 0u);
    out.SetBalance(-101);
    out.SetBalance(101);
    EXPECT_EQ(out.Balance(), 0);
    out.SetBalance(-100);
    EXPECT_EQ(out.Balance(), -100);
    out.SetChannels(3);
    out.SetChannels(0);
    EXPECT_EQ(out.Channels(), 2);
    out.SetChannels(1);
    EXPECT_EQ(out.Channels(), 1);
    out.SetBitsPerSample(24);
    out.SetBitsPerSample(0);
    EXPECT_EQ(out.BitsPerSample(), 16);
    out.SetBitsPerSample(8);
    EXPECT_EQ(out.BitsPerSample(), 8);
    out.SetSampleRate(0);
    out.SetSampleRate(-44100);
    EXPECT_EQ(out.SampleRate(), 44100);
    out.SetSampleRate(1);
    EXPECT_EQ(out.SampleRate(), 1);
}

TEST_F(SoundOutFile, FileNameAndFormatTakeEffectAtTheNextOpen)
{
    TSoundOut out;
    out.SetWaveFileName(Path("first.wav"));
    out.Open();
    out.SetWaveFileName(Path("second.wav")); // ignored while active
    out.SetSampleRate(22050);
    EXPECT_EQ(out.BlockSize(), kBlockBytes);
    out.Close();
    EXPECT_TRUE(std::filesystem::exists(Path("first.wav")));
    EXPECT_FALSE(std::filesystem::exists(Path("second.wav")));

    out.SetWaveFileName(Path("second.wav"));
    out.Open();
    EXPECT_EQ(out.BlockSize(), kBlockBytes / 2);
    out.Close();
    ExpectHeader(ReadFile(Path("second.wav")), 22050, 2, 16, 0);
}

TEST_F(SoundOutFile, OpenAndCloseTwiceAreHarmless)
{
    const std::vector<uint8_t> pcm = Pcm(2 * kBlockBytes, 7);
    TSoundOut out;
    out.Close();
    EXPECT_FALSE(out.Active());
    out.SetWaveFileName(Path("twice.wav"));
    out.Open();
    EXPECT_EQ(out.Write(pcm.data(), kBlockBytes), kBlockBytes);
    out.Open(); // must neither recreate the file nor forget the queued block
    EXPECT_TRUE(out.Active());
    EXPECT_EQ(out.Write(pcm.data() + kBlockBytes, kBlockBytes), kBlockBytes);
    out.Close();
    out.Close();
    EXPECT_FALSE(out.Active());
    const std::vector<uint8_t> file = ReadFile(Path("twice.wav"));
    ASSERT_EQ(file.size(), pcm.size() + 44);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), file.begin() + 44));
}

TEST_F(SoundOutFile, DoneBytesCountFromThePreviousCall)
{
    const std::vector<uint8_t> pcm = Pcm(2 * kBlockBytes, 8);
    TSoundOut out;
    EXPECT_EQ(out.GetDoneBytes(), 0) << "not active";
    out.SetWaveFileName(Path("done.wav"));
    out.Open();
    EXPECT_EQ(out.GetDoneBytes(), 0);
    EXPECT_EQ(out.Write(pcm.data(), kBlockBytes), kBlockBytes);
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs));
    EXPECT_EQ(out.GetDoneBytes(), kBlockBytes);
    EXPECT_EQ(out.GetDoneBytes(), 0);
    EXPECT_EQ(out.Write(pcm.data() + kBlockBytes, kBlockBytes), kBlockBytes);
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs));
    EXPECT_EQ(out.GetDoneBytes(), kBlockBytes);
    out.Close();
    EXPECT_EQ(out.GetDoneBytes(), 0);
    // A new open counts from its own start.
    out.Open();
    EXPECT_EQ(out.GetDoneBytes(), 0);
    out.Close();
}

// A reset (a seek) drops the part block of the old position, as on the sound server.
TEST_F(SoundOutFile, ResetDropsThePartBlockAndPauseLeavesAFileAlone)
{
    const std::vector<uint8_t> pcm = Pcm(1000, 9);
    TSoundOut out;
    out.SetWaveFileName(Path("nopause.wav"));
    out.Open();
    EXPECT_EQ(out.Write(pcm.data(), int32_t(pcm.size())), 1000);
    out.Pause();
    out.Reset();
    out.Unpause();
    EXPECT_EQ(out.Write(pcm.data(), 400), 400);
    out.Flush();
    EXPECT_EQ(out.Write(pcm.data(), 600), 600);
    out.Reset();
    EXPECT_EQ(out.Write(pcm.data(), 300), 300);
    out.Flush();
    out.Close();
    const std::vector<uint8_t> file = ReadFile(Path("nopause.wav"));
    ASSERT_EQ(file.size(), 44u + 400 + 300);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + 400, file.begin() + 44));
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + 300, file.begin() + 444));
}

TEST_F(SoundOutFile, FailedOpenLeavesTheOutputClosed)
{
    TSoundOut out;
    const std::filesystem::path missing = Path("missing") / "out.wav";
    out.SetWaveFileName(missing);
    try {
        out.Open();
        ADD_FAILURE() << "a file in a missing folder was created";
    } catch (const EMP3Error& e) {
        EXPECT_NE(std::string(e.what()).find(missing.string()), std::string::npos) << e.what();
    }
    EXPECT_FALSE(out.Active());
    EXPECT_FALSE(out.CanWrite());
    EXPECT_EQ(out.Write(reinterpret_cast<const uint8_t*>("abcd"), 4), 0);
    EXPECT_EQ(out.FreeSpacePercent(), 0);
    test::FinishesWithin("Close after a failed open", [&] { out.Close(); });

    out.SetWaveFileName(Path("works.wav"));
    out.Open();
    EXPECT_TRUE(out.Active());
    out.Close();
}

// A block that cannot be stored still comes back, so that nobody waits for it forever, and the
// failure goes to the output's OnException with the output as sender.
TEST_F(SoundOutFile, StoreFailureIsHandedOverAndTheBlockComesBack)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    const std::vector<uint8_t> pcm = Pcm(kBlockBytes, 10);
    std::mutex mutex;
    std::vector<std::string> failures;
    const void* sender = nullptr;
    TSoundOut out;
    out.OnException = [&](const void* from, const std::exception_ptr& error, bool& handled) {
        std::lock_guard lock(mutex);
        sender = from;
        failures.push_back(ExceptionText(error));
        handled = true;
    };
    out.SetWaveFileName("/dev/full");
    out.Open();
    EXPECT_EQ(out.Write(pcm.data(), int32_t(pcm.size())), int32_t(pcm.size()));
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs)) << "the failed block never came back";
    try {
        out.Close();
    } catch (const EMP3Error&) {
        // finishing the file fails as well; the output is closed all the same
    }
    EXPECT_FALSE(out.Active());
    // The hand-over runs on the output's thread and may come just after the block.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDeadlockGuardMs);
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (!failures.empty() || std::chrono::steady_clock::now() > deadline)
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::lock_guard lock(mutex);
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_NE(failures[0].find("(/dev/full)"), std::string::npos) << failures[0];
    EXPECT_EQ(sender, &out);
}

TEST_F(SoundOutFile, NoPositionNoticesWhenTheIntervalIsMinusOne)
{
    const std::vector<uint8_t> pcm = Pcm(3 * kBlockBytes, 11);
    int notices = 0;
    TSoundOut out;
    out.SetOnNotify([&](TSoundOut&) { ++notices; });
    out.SetWaveFileName(Path("quiet.wav"));
    out.Open();
    EXPECT_EQ(out.Write(pcm.data(), int32_t(pcm.size())), int32_t(pcm.size()));
    ASSERT_TRUE(out.WaitForDone(kDeadlockGuardMs));
    out.Close();
    EXPECT_EQ(notices, 0);
}

} // namespace
} // namespace pt4
