#include "mp3plyr/input/stream_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <span>

#include "mp3plyr/errors.h"
#include "support/counting_stream.h"

namespace pt4 {
namespace {

using test::CountingStream;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

std::vector<uint8_t> Pattern(size_t count)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i * 131 + i / 256);
    return bytes;
}

// The reader's window must always hold the source bytes at its Position.
void ExpectWindowMatches(const TMPStreamReader& reader, const std::vector<uint8_t>& source)
{
    ASSERT_LE(reader.Position() + reader.Count(), static_cast<int32_t>(source.size()));
    const auto begin = source.begin() + reader.Position();
    EXPECT_TRUE(std::equal(begin, begin + reader.Count(), reader.Buffer())) << "at " << reader.Position();
}

class StreamReaderTest : public ::testing::Test {
protected:
    void OpenOn(size_t streamSize, bool seekable = true, int32_t bufferSize = 16384)
    {
        source = Pattern(streamSize);
        stream = std::make_unique<CountingStream>(source);
        reader = std::make_unique<TMPStreamReader>(bufferSize);
        reader->Open(stream.get(), seekable);
        stream->ClearLog();
    }

    std::vector<uint8_t> source;
    std::unique_ptr<CountingStream> stream;
    std::unique_ptr<TMPStreamReader> reader;
};

// --- Fill: read sizes ---

TEST_F(StreamReaderTest, SmallFillReadsOneAheadBlock)
{
    OpenOn(100000);
    EXPECT_TRUE(reader->Fill(4));
    EXPECT_THAT(stream->ReadRequests(), ElementsAre(4096));
    EXPECT_EQ(reader->Count(), 4096);
    EXPECT_EQ(reader->Position(), 0);
    ExpectWindowMatches(*reader, source);
}

TEST_F(StreamReaderTest, SmallFillOnShortStreamTakesTheRest)
{
    OpenOn(1000);
    EXPECT_TRUE(reader->Fill(4));
    EXPECT_THAT(stream->ReadRequests(), ElementsAre(4096));
    EXPECT_EQ(reader->Count(), 1000);
    ExpectWindowMatches(*reader, source);
}

TEST_F(StreamReaderTest, FullBufferFillIsOneRead)
{
    OpenOn(100000);
    EXPECT_TRUE(reader->Fill(16384));
    EXPECT_THAT(stream->ReadRequests(), ElementsAre(16384));
    EXPECT_EQ(reader->Count(), 16384);
    ExpectWindowMatches(*reader, source);
}

TEST_F(StreamReaderTest, LargeNeedReadsExactlyWhatIsMissing)
{
    OpenOn(100000);
    ASSERT_TRUE(reader->Fill(100));   // 4096 present
    ASSERT_TRUE(reader->Fill(5000));  // need 904 < 4096: another read-ahead block
    ASSERT_TRUE(reader->Fill(16000)); // need 7808 >= 4096: exactly that
    EXPECT_THAT(stream->ReadRequests(), ElementsAre(4096, 4096, 7808));
    EXPECT_EQ(reader->Count(), 16000);
    ExpectWindowMatches(*reader, source);
}

TEST_F(StreamReaderTest, ReadAheadIsCappedByFreeBufferSpace)
{
    OpenOn(100000, true, 6000);
    ASSERT_TRUE(reader->Fill(10));   // min(6000, 4096)
    ASSERT_TRUE(reader->Fill(4100)); // need 4 -> free space 1904
    EXPECT_THAT(stream->ReadRequests(), ElementsAre(4096, 1904));
    EXPECT_EQ(reader->Count(), 6000);

    OpenOn(100000, true, 100);
    ASSERT_TRUE(reader->Fill(1));
    EXPECT_THAT(stream->ReadRequests(), ElementsAre(100));
}

TEST_F(StreamReaderTest, ShortReadsRepeatUntilEnough)
{
    OpenOn(1000);
    stream->SetMaxDelivery(7);
    EXPECT_TRUE(reader->Fill(20));
    EXPECT_THAT(stream->ReadRequests(), ElementsAre(4096, 4096, 4096));
    EXPECT_EQ(reader->Count(), 21);
    ExpectWindowMatches(*reader, source);
}

TEST_F(StreamReaderTest, FillWithinCountDoesNotRead)
{
    OpenOn(1000);
    EXPECT_TRUE(reader->Fill(0));
    EXPECT_THAT(stream->ReadRequests(), IsEmpty());
    ASSERT_TRUE(reader->Fill(10));
    stream->ClearLog();
    EXPECT_TRUE(reader->Fill(1000));
    EXPECT_TRUE(reader->Fill(0));
    EXPECT_THAT(stream->ReadRequests(), IsEmpty());
}

TEST_F(StreamReaderTest, FillPastEndKeepsWhatItRead)
{
    OpenOn(300);
    EXPECT_FALSE(reader->Fill(500));
    EXPECT_EQ(reader->Count(), 300);
    ExpectWindowMatches(*reader, source);
    EXPECT_FALSE(reader->Fill(301));
    EXPECT_TRUE(reader->Fill(300));
}

TEST_F(StreamReaderTest, EmptyStreamFillsNothing)
{
    OpenOn(0);
    EXPECT_TRUE(reader->Fill(0));
    EXPECT_FALSE(reader->Fill(1));
    EXPECT_EQ(reader->Count(), 0);
}

// --- Skip ---

TEST_F(StreamReaderTest, SkipWithinBufferMovesBytesDown)
{
    OpenOn(10000);
    ASSERT_TRUE(reader->Fill(8));
    stream->ClearLog();
    EXPECT_TRUE(reader->Skip(1000));
    EXPECT_EQ(reader->Position(), 1000);
    EXPECT_EQ(reader->Count(), 4096 - 1000);
    ExpectWindowMatches(*reader, source);
    EXPECT_TRUE(reader->Skip(reader->Count()));
    EXPECT_EQ(reader->Count(), 0);
    EXPECT_EQ(reader->Position(), 4096);
    EXPECT_THAT(stream->ReadRequests(), IsEmpty());
    EXPECT_THAT(stream->Seeks(), IsEmpty());
}

TEST_F(StreamReaderTest, SkipBeyondBufferSeeksRelativeToReadPoint)
{
    OpenOn(10000);
    ASSERT_TRUE(reader->Fill(8));
    ASSERT_TRUE(reader->Skip(100));
    stream->ClearLog();
    const int32_t count = reader->Count();
    EXPECT_TRUE(reader->Skip(count + 1));
    EXPECT_EQ(reader->Position(), 100 + count + 1);
    EXPECT_EQ(reader->Count(), 0);
    ASSERT_EQ(stream->Seeks().size(), 1u);
    EXPECT_EQ(stream->Seeks()[0].origin, kSeekFromCurrent);
    EXPECT_EQ(stream->Position(), reader->Position());
    ASSERT_TRUE(reader->Fill(10));
    ExpectWindowMatches(*reader, source);
}

TEST_F(StreamReaderTest, SkipToExactEndSucceedsOnePastFails)
{
    OpenOn(10000);
    ASSERT_TRUE(reader->Fill(4));
    EXPECT_TRUE(reader->Skip(10000));
    EXPECT_EQ(reader->Position(), 10000);
    EXPECT_FALSE(reader->Fill(1));

    OpenOn(10000);
    ASSERT_TRUE(reader->Skip(5));
    EXPECT_FALSE(reader->Skip(10000 - 5 + 1));
    EXPECT_EQ(reader->Position(), 10000);
    EXPECT_EQ(reader->Count(), 0);
}

TEST_F(StreamReaderTest, SkipOfLargestCountFailsWithoutOverflow)
{
    OpenOn(10000);
    ASSERT_TRUE(reader->Skip(9000));
    EXPECT_FALSE(reader->Skip(std::numeric_limits<int32_t>::max()));
    EXPECT_EQ(reader->Position(), 10000);
}

TEST_F(StreamReaderTest, UnseekableSkipReadsThrough)
{
    OpenOn(100000, false, 1000);
    EXPECT_EQ(reader->Size(), 0);
    EXPECT_EQ(stream->SizeQueries(), 0);
    ASSERT_TRUE(reader->Fill(10));
    EXPECT_TRUE(reader->Skip(54321));
    EXPECT_EQ(reader->Position(), 54321);
    EXPECT_THAT(stream->Seeks(), IsEmpty());
    ASSERT_TRUE(reader->Fill(500));
    ExpectWindowMatches(*reader, source);
    EXPECT_TRUE(reader->Skip(100000 - 54321));
    EXPECT_EQ(reader->Position(), 100000);
    EXPECT_FALSE(reader->Skip(1));
}

TEST_F(StreamReaderTest, UnseekableSkipPastEndFails)
{
    OpenOn(5000, false, 1000);
    EXPECT_FALSE(reader->Skip(5001));
    EXPECT_EQ(reader->Count(), 0);
    EXPECT_EQ(reader->Position(), 5000);
}

// --- Seek ---

TEST_F(StreamReaderTest, SeekFromCurrentIsRelativeToReadPoint)
{
    OpenOn(10000);
    ASSERT_TRUE(reader->Fill(4));
    ASSERT_TRUE(reader->Skip(50));
    EXPECT_EQ(reader->Seek(0, kSeekFromCurrent), 50);
    EXPECT_EQ(reader->Count(), 0);
    EXPECT_EQ(stream->Position(), 50);
    ASSERT_TRUE(reader->Fill(4));
    EXPECT_EQ(reader->Seek(-20, kSeekFromCurrent), 30);
    ASSERT_TRUE(reader->Fill(4));
    ExpectWindowMatches(*reader, source);
}

TEST_F(StreamReaderTest, SeekFromBeginningAndEnd)
{
    OpenOn(10000);
    ASSERT_TRUE(reader->Fill(100));
    EXPECT_EQ(reader->Seek(1234, kSeekFromBeginning), 1234);
    EXPECT_EQ(reader->Count(), 0);
    ASSERT_TRUE(reader->Fill(4));
    ExpectWindowMatches(*reader, source);
    EXPECT_EQ(reader->Seek(-16, kSeekFromEnd), 10000 - 16);
    EXPECT_FALSE(reader->Fill(17));
    EXPECT_EQ(reader->Count(), 16);
    ExpectWindowMatches(*reader, source);
}

// --- Open and Close ---

TEST_F(StreamReaderTest, OpenQueriesSizeOnlyWhenSeekable)
{
    CountingStream counted(Pattern(777));
    TMPStreamReader seekable(64);
    seekable.Open(&counted, true);
    EXPECT_EQ(seekable.Size(), 777);
    EXPECT_EQ(counted.SizeQueries(), 1);
    EXPECT_TRUE(seekable.Active());
    EXPECT_EQ(seekable.Stream(), &counted);
    EXPECT_EQ(seekable.BufferSize(), 64);
    ASSERT_NE(seekable.Buffer(), nullptr);
}

TEST_F(StreamReaderTest, ReopenResetsTheWindow)
{
    OpenOn(10000);
    ASSERT_TRUE(reader->Fill(100));
    ASSERT_TRUE(reader->Skip(10));
    CountingStream second(Pattern(50));
    reader->Open(&second, true);
    EXPECT_EQ(reader->Position(), 0);
    EXPECT_EQ(reader->Count(), 0);
    EXPECT_EQ(reader->Size(), 50);
    EXPECT_EQ(reader->Stream(), &second);
}

TEST_F(StreamReaderTest, CloseLeavesTheStreamAlone)
{
    OpenOn(10000);
    ASSERT_TRUE(reader->Fill(100));
    stream->ClearLog();
    reader->Close();
    EXPECT_FALSE(reader->Active());
    EXPECT_EQ(reader->Stream(), nullptr);
    EXPECT_EQ(reader->Buffer(), nullptr);
    EXPECT_EQ(reader->Count(), 0);
    EXPECT_EQ(reader->Size(), 0);
    EXPECT_THAT(stream->ReadRequests(), IsEmpty());
    EXPECT_THAT(stream->Seeks(), IsEmpty());
    EXPECT_EQ(stream->Position(), 4096);
    reader->Close(); // closing twice is harmless
    reader.reset();  // destroying never touches the stream either
    EXPECT_EQ(stream->Position(), 4096);
}

TEST_F(StreamReaderTest, FailingSizeQueryClosesTheReader)
{
    CountingStream failing(Pattern(10));
    failing.FailSize();
    TMPStreamReader local(64);
    EXPECT_THROW(local.Open(&failing, true), EMP3Error);
    EXPECT_FALSE(local.Active());
    EXPECT_EQ(local.Stream(), nullptr);
    EXPECT_EQ(local.Buffer(), nullptr);
}

// --- Stream failures ---

TEST_F(StreamReaderTest, FailingReadPropagatesAndKeepsFields)
{
    OpenOn(10000);
    ASSERT_TRUE(reader->Fill(4));
    ASSERT_TRUE(reader->Skip(4096)); // buffer empty, stream at 4096
    stream->FailReadsIn(4096, 5000);
    EXPECT_THROW(reader->Fill(4), EMP3Error);
    EXPECT_EQ(reader->Position(), 4096);
    EXPECT_EQ(reader->Count(), 0);
    EXPECT_EQ(reader->Size(), 10000);
}

TEST_F(StreamReaderTest, BytesDeliveredBeforeAFailingReadStayBuffered)
{
    OpenOn(10000);
    stream->SetMaxDelivery(100);
    stream->FailReadsIn(100, 200);
    EXPECT_THROW(reader->Fill(150), EMP3Error);
    // The first 100 bytes were read and the stream moved past them: they stay in the window.
    EXPECT_EQ(reader->Count(), 100);
    EXPECT_EQ(reader->Position(), 0);
    ExpectWindowMatches(*reader, source);
}

TEST_F(StreamReaderTest, FailingSeekPropagatesAndKeepsFields)
{
    OpenOn(10000);
    ASSERT_TRUE(reader->Fill(4));
    ASSERT_TRUE(reader->Skip(10));
    stream->FailSeekNumber(1);
    EXPECT_THROW(reader->Seek(500, kSeekFromBeginning), EMP3Error);
    EXPECT_EQ(reader->Position(), 10);
    EXPECT_EQ(reader->Count(), 4086);
    ExpectWindowMatches(*reader, source);
}

// --- Preconditions ---

template <typename Call> void ExpectAssertion(Call call)
{
    try {
        call();
        ADD_FAILURE() << "no assertion failure";
    } catch (const EAssertionFailed& failure) {
        EXPECT_THAT(failure.what(), ::testing::MatchesRegex("Assertion failure \\(mp3plyr, line [0-9]+\\)"));
        EXPECT_GT(failure.line(), 0);
    }
}

TEST(StreamReaderPreconditions, BrokenPreconditionsRaiseAssertionFailures)
{
    ExpectAssertion([] { TMPStreamReader reader(0); });
    ExpectAssertion([] { TMPStreamReader reader(-5); });

    TMPStreamReader closed(64);
    ExpectAssertion([&] { closed.Fill(1); });
    ExpectAssertion([&] { closed.Skip(1); });
    ExpectAssertion([&] { closed.Seek(0, kSeekFromBeginning); });
    ExpectAssertion([&] { closed.Open(nullptr, true); });

    CountingStream stream(Pattern(1000));
    TMPStreamReader reader(64);
    reader.Open(&stream, false);
    ExpectAssertion([&] { reader.Fill(65); });
    ExpectAssertion([&] { reader.Fill(-1); });
    ExpectAssertion([&] { reader.Skip(-1); });
    ExpectAssertion([&] { reader.Seek(0, kSeekFromBeginning); }); // not seekable
    EXPECT_TRUE(reader.Fill(64));
    EXPECT_EQ(reader.Count(), 64);
}

// --- The window stays true to the stream through any sequence of operations ---

void RunRandomOperations(bool seekable, int32_t bufferSize, uint32_t seed)
{
    const std::vector<uint8_t> source = Pattern(50000);
    CountingStream stream(source);
    stream.SetMaxDelivery(seed % 3 == 0 ? 333 : 0);
    TMPStreamReader reader(bufferSize);
    reader.Open(&stream, seekable);
    std::mt19937 random(seed);
    for (int step = 0; step < 2000; ++step) {
        const int32_t before = reader.Position();
        switch (random() % (seekable ? 3 : 2)) {
        case 0: {
            const auto n = static_cast<int32_t>(random() % (bufferSize + 1));
            const bool filled = reader.Fill(n);
            EXPECT_EQ(filled, reader.Count() >= n);
            EXPECT_EQ(filled, before + n <= 50000);
            break;
        }
        case 1: {
            const auto n = static_cast<int32_t>(random() % (2 * bufferSize + 10));
            const bool skipped = reader.Skip(n);
            EXPECT_EQ(skipped, before + n <= 50000);
            EXPECT_EQ(reader.Position(), std::min(before + n, 50000));
            break;
        }
        default: {
            const auto target = static_cast<int32_t>(random() % 50001);
            EXPECT_EQ(reader.Seek(target, kSeekFromBeginning), target);
            break;
        }
        }
        ExpectWindowMatches(reader, source);
        if (::testing::Test::HasFailure())
            return;
    }
}

TEST(StreamReaderModel, WindowMatchesStreamOnSeekableStreams)
{
    for (uint32_t seed = 1; seed <= 6; ++seed)
        RunRandomOperations(true, seed % 2 ? 16384 : 700, seed);
}

TEST(StreamReaderModel, WindowMatchesStreamOnUnseekableStreams)
{
    for (uint32_t seed = 1; seed <= 6; ++seed)
        RunRandomOperations(false, seed % 2 ? 16384 : 700, seed);
}

} // namespace
} // namespace pt4
