// Malformed and hostile files: the scan must end, stay inside its buffers, never raise for a
// bad structure, and report only what is really there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "mp3plyr/errors.h"
#include "mp3plyr/input/mp3_info.h"
#include "support/counting_stream.h"
#include "support/info_scan.h"
#include "support/tag_builder.h"

namespace pt4 {
namespace {

using namespace test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Item = TMP3InfoItem;

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

Bytes CombinedFile()
{
    return Concat(
        {Id3v2Tag({Id3v2Frame("TIT2", "Title"), Id3v2Frame("TPE1", "Artist")}, Id3v2Options().Padding(30)),
         AudioBytes(600),
         Lyrics3v2({Lyrics3v2Field("IND", "10"), Lyrics3v2Field("LYR", std::string(300, 'l'))}),
         Id3v1Tag(Id3v1Values().Title("One").Track(1))});
}

Bytes RiffFile()
{
    return RiffWave({WaveFormatChunk(),
                     RiffChunk("data", Concat({Id3v2Tag({Id3v2Frame("TIT2", "x")}), AudioBytes(301)})),
                     RiffInfoList({{"INAM", "Name"}, {"IART", "Who"}})});
}

TEST(Mp3InfoHostile, EmptyAndOneByteFiles)
{
    auto empty = ScanInfo({});
    EXPECT_FALSE(empty->leadingResult);
    EXPECT_TRUE(empty->info.Found().Empty());
    EXPECT_EQ(empty->info.DataStart(), 0);
    EXPECT_EQ(empty->info.DataLength(), 0);

    for (int byte : {0x00, 0xFF, int{'I'}, int{'R'}}) {
        auto one = ScanInfo({static_cast<uint8_t>(byte)});
        EXPECT_TRUE(one->leadingResult);
        EXPECT_TRUE(one->info.Found().Empty());
        EXPECT_EQ(one->info.DataLength(), 1);
    }
    auto unseekable = ScanInfo({}, false);
    EXPECT_FALSE(unseekable->leadingResult);
}

TEST(Mp3InfoHostile, EveryTruncationScansWithoutError)
{
    for (const Bytes& whole :
         {CombinedFile(), RiffFile(), MacBinaryFile("m", CombinedFile(), AudioBytes(50))}) {
        for (size_t length = 0; length <= whole.size(); ++length) {
            const Bytes part(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length));
            for (bool seekable : {true, false}) {
                std::unique_ptr<InfoScan> scan;
                ASSERT_NO_THROW(scan = ScanInfo(part, seekable)) << length;
                EXPECT_GE(scan->info.DataStart(), 0);
                EXPECT_LE(scan->info.DataStart(), static_cast<int32_t>(length));
                EXPECT_GE(scan->info.DataLength(), 0);
            }
        }
    }
}

TEST(Mp3InfoHostile, Id3v2SizeBeyondTheFile)
{
    for (uint8_t version : {2, 3, 4}) {
        const Bytes tag =
            Id3v2Tag({Id3v2Frame("TIT2", "Song")}, Id3v2Options().Version(version).RawSize(0x7F7F7F7F));
        const Bytes file = Concat({tag, AudioBytes(500), Id3v1Tag(Id3v1Values().Title("v1"))});
        auto scan = ScanInfo(file);
        EXPECT_FALSE(scan->info.Found().Contains(Item::Id3v2));
        EXPECT_TRUE(scan->info.Found().Contains(Item::Id3v1));
        EXPECT_EQ(scan->info.DataStart(), 0);
        EXPECT_EQ(scan->info.DataLength(), static_cast<int32_t>(file.size()));
        // Unmasked size bytes give the largest size the header can state.
        const Bytes largest = Id3v2Tag({}, Id3v2Options().Version(version).RawSize(0xFFFFFFFF));
        EXPECT_NO_THROW(ScanInfo(Concat({largest, AudioBytes(100)})));
        EXPECT_NO_THROW(ScanInfo(Concat({largest, AudioBytes(100)}), false));
    }
}

TEST(Mp3InfoHostile, Id3v2FrameSizesNearTheThirtyTwoBitLimit)
{
    for (uint32_t size :
         {0x7FFFFFFFu, 0x7FFFFFF6u, 0x7FFFFFF5u, 0x7FFFC000u, 0x80000000u, 0xFFFFFFF6u, 0xFFFFFFFFu}) {
        const Bytes tag = Id3v2Tag({Id3v2Frame("TIT2", "Kept"), Id3v2FrameRaw("APIC", size, AudioBytes(40))});
        for (int32_t bufferSize : {16384, 64}) {
            std::unique_ptr<InfoScan> scan;
            ASSERT_NO_THROW(scan = ScanInfo(Concat({tag, AudioBytes(200)}), true, bufferSize)) << size;
            EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(tag.size())) << size;
            EXPECT_THAT(scan->info.Id3v2Frames(), ElementsAre("TIT2=Kept"));
        }
    }
}

TEST(Mp3InfoHostile, Id3v2ExtendedHeaderSizes)
{
    for (uint32_t size : {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu}) {
        const Bytes tag = Id3v2Tag({Id3v2Frame("TIT2", "x")}, Id3v2Options().ExtendedHeader(size));
        auto scan = ScanInfo(Concat({tag, AudioBytes(50)}));
        EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(tag.size()));
        EXPECT_THAT(scan->info.Id3v2Frames(), IsEmpty());
    }
    // Extended header claiming the whole tag: frames would start past its end.
    const Bytes whole = Id3v2Tag({Id3v2Frame("TIT2", "x")}, Id3v2Options().ExtendedHeader(21));
    auto scan = ScanInfo(Concat({whole, AudioBytes(50)}));
    EXPECT_EQ(scan->info.DataStart(), static_cast<int32_t>(whole.size()));
    EXPECT_THAT(scan->info.Id3v2Frames(), IsEmpty());
}

TEST(Mp3InfoHostile, RiffChunkSizesThatOverflow)
{
    for (uint32_t size : {0x7FFFFFFFu, 0x7FFFFFF9u, 0x80000000u, 0xFFFFFFFFu, 0u}) {
        const Bytes file =
            RiffWave({RiffChunk("fmt ", AudioBytes(18), size), RiffChunk("data", AudioBytes(100))});
        for (bool seekable : {true, false}) {
            std::unique_ptr<InfoScan> scan;
            ASSERT_NO_THROW(scan = ScanInfo(file, seekable)) << size;
            EXPECT_FALSE(scan->info.Found().Contains(Item::RiffData));
        }
    }
    // A data chunk stretching far past the file: its end lies beyond 2^31-1.
    for (uint32_t size : {0x7FFFFFF0u, 0x7FFFFFFEu, 0x7FFFFFFFu}) {
        const Bytes file =
            RiffWave({WaveFormatChunk(), RiffChunk("data", AudioBytes(100), size),
                      RiffInfoList({{"INAM", "Never"}}), Id3v1Tag(Id3v1Values().Title("End"))});
        std::unique_ptr<InfoScan> scan;
        ASSERT_NO_THROW(scan = ScanInfo(file));
        EXPECT_TRUE(scan->info.Found().Contains(Item::RiffData));
        EXPECT_TRUE(scan->info.Found().Contains(Item::Id3v1));
        EXPECT_EQ(scan->info.RiffDataLength(), static_cast<int32_t>(size));
        EXPECT_THAT(scan->info.RiffInfoFields(), IsEmpty());
    }
    // List and sub-chunk sizes at the limit.
    Bytes info = RiffInfoList({{"INAM", "Name"}, {"IART", "Who"}});
    PutLittleEndian32(info, 4, 0x7FFFFFFF);
    PutLittleEndian32(info, 12 + 12 + 4, 0x7FFFFFFF); // IART's size
    auto scan = ScanInfo(RiffWave({RiffChunk("data", AudioBytes(10)), info}));
    EXPECT_THAT(scan->info.RiffInfoFields(), ElementsAre("INAM=Name"));
}

TEST(Mp3InfoHostile, Lyrics3SizesThatAreNotNumbers)
{
    for (const char* sizeText : {"00a100", " 00100", "-00010", "+00010", "000000", "0x0010", "      "}) {
        const Bytes file = Concat(
            {AudioBytes(200), Lyrics3v2({Lyrics3v2Field("IND", "01")}, sizeText), Id3v1Tag(Id3v1Values())});
        auto scan = ScanInfo(file);
        EXPECT_FALSE(scan->info.Found().Contains(Item::Lyrics3)) << sizeText;
        EXPECT_THAT(scan->info.LyricsFields(), IsEmpty());
    }
    for (const char* lengthText : {"0000a", " 0002", "-0002", "00000"}) {
        const Bytes file = Concat({AudioBytes(200), Lyrics3v2({Lyrics3v2Field("IND", "01", lengthText)})});
        auto scan = ScanInfo(file);
        EXPECT_FALSE(scan->info.Found().Contains(Item::Lyrics3)) << lengthText;
    }
}

TEST(Mp3InfoHostile, Lyrics3PointingBeforeTheStart)
{
    const Bytes block = Lyrics3v2({Lyrics3v2Field("IND", "01")}, "999999");
    for (const Bytes& file :
         {Concat({AudioBytes(30), block}), block, Concat({block, Id3v1Tag(Id3v1Values())})}) {
        std::unique_ptr<InfoScan> scan;
        ASSERT_NO_THROW(scan = ScanInfo(file));
        EXPECT_FALSE(scan->info.Found().Contains(Item::Lyrics3));
    }
    // End marks with no room in front of them.
    for (const char* text : {"LYRICS200", "12LYRICS200", "12345LYRICS200", "LYRICSEND"}) {
        std::unique_ptr<InfoScan> scan;
        ASSERT_NO_THROW(scan = ScanInfo(ToBytes(text))) << text;
        EXPECT_FALSE(scan->info.Found().Contains(Item::Lyrics3));
        ASSERT_NO_THROW(scan = ScanInfo(Concat({ToBytes(text), Id3v1Tag(Id3v1Values())}))) << text;
        EXPECT_FALSE(scan->info.Found().Contains(Item::Lyrics3));
    }
}

TEST(Mp3InfoHostile, MacBinaryForksLongerThanTheFile)
{
    const Bytes content = Concat({AudioBytes(500), Id3v1Tag(Id3v1Values().Title("Tail"))});
    for (uint32_t forkLength : {600u + 50u, 0x7FFFFF00u, 0x7FFFFFFFu}) {
        const Bytes file = Concat({MacBinaryHeader("long", forkLength, 0), content});
        std::unique_ptr<InfoScan> scan;
        ASSERT_NO_THROW(scan = ScanInfo(file)) << forkLength;
        EXPECT_TRUE(scan->info.Found().Contains(Item::MacBinary));
        EXPECT_FALSE(scan->info.Found().Contains(Item::Id3v1)); // the fork's end is past the file
        EXPECT_EQ(scan->info.DataStart(), 128);
        EXPECT_GE(scan->info.MacDataEnd(), 128);
    }
    // Resource fork longer than the file: only validated.
    auto scan = ScanInfo(Concat({MacBinaryHeader("r", 628, 0x7FFFFFFF), content}));
    EXPECT_TRUE(scan->info.Found().Contains(Item::Id3v1));
    EXPECT_EQ(scan->info.DataLength(), 628);
}

TEST(Mp3InfoHostile, TagLongerThanItsForkLeavesNoAudioNotANegativeLength)
{
    const Bytes tag = Id3v2Tag({Id3v2Frame("TIT2", std::string(100, 't'))});
    const Bytes file = Concat({MacBinaryHeader("short", 20, 0), tag, AudioBytes(300)});
    auto scan = ScanInfo(file);
    EXPECT_TRUE(scan->info.Found().Contains(Item::Id3v2));
    EXPECT_EQ(scan->info.DataStart(), 128 + static_cast<int32_t>(tag.size()));
    EXPECT_EQ(scan->info.DataLength(), 0);
}

TEST(Mp3InfoHostile, SmallBuffersNeverOverAskTheReader)
{
    const Bytes file = CombinedFile();
    const auto reference = ScanInfo(file);
    for (int32_t bufferSize = 1; bufferSize <= 400; bufferSize += (bufferSize < 20 ? 1 : 17)) {
        std::unique_ptr<InfoScan> scan;
        ASSERT_NO_THROW(scan = ScanInfo(file, true, bufferSize)) << bufferSize;
        if (bufferSize >= 128) { // every item but nothing larger than the buffer fits
            EXPECT_EQ(scan->info.Found(), reference->info.Found()) << bufferSize;
            EXPECT_EQ(scan->info.LyricsFields(), reference->info.LyricsFields()) << bufferSize;
            EXPECT_EQ(scan->info.Id3v1Fields(), reference->info.Id3v1Fields()) << bufferSize;
            EXPECT_EQ(scan->info.Id3v2Frames(), reference->info.Id3v2Frames()) << bufferSize;
        }
    }
    for (int32_t bufferSize : {1, 8, 11, 12, 127})
        EXPECT_NO_THROW(ScanInfo(RiffFile(), true, bufferSize));
}

TEST(Mp3InfoHostile, RandomlyDamagedFilesScanWithoutError)
{
    std::mt19937 random(20240601);
    const std::vector<Bytes> originals{CombinedFile(), RiffFile(), MacBinaryFile("m", CombinedFile(), {})};
    for (int round = 0; round < 3000; ++round) {
        Bytes file = originals[round % originals.size()];
        const int damage = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < damage; ++i) {
            const size_t at = random() % file.size();
            // Sizes are what hostile files get wrong; favour bytes that make them huge.
            file[at] = (random() % 3 == 0) ? static_cast<uint8_t>(random()) : (random() % 2 ? 0xFF : 0x7F);
        }
        if (random() % 4 == 0)
            file.resize(random() % file.size());
        const int32_t bufferSize = (round % 5 == 0) ? 64 : 16384;
        std::unique_ptr<InfoScan> scan;
        ASSERT_NO_THROW(scan = ScanInfo(file, round % 7 != 0, bufferSize)) << round;
        EXPECT_GE(scan->info.DataLength(), 0);
        EXPECT_GE(scan->info.DataStart(), 0);
    }
}

// --- Stream failures ---

TEST(Mp3InfoStreamFailures, ReadErrorsPropagateFromTheLeadingScan)
{
    CountingStream stream(CombinedFile());
    stream.FailReadsIn(0, 10);
    TMPStreamReader reader(16384);
    reader.Open(&stream, true);
    TMP3Info info;
    info.Attach(reader);
    EXPECT_THROW(info.ReadLeadingInfo(), EMP3Error);
}

TEST(Mp3InfoStreamFailures, ErrorsInTheRiffInfoStepAreSwallowed)
{
    Bytes file = RiffWave({WaveFormatChunk(), RiffChunk("data", AudioBytes(1000)),
                           RiffInfoList({{"INAM", "Name"}}), RiffChunk("junk", AudioBytes(400))});
    Append(file, Id3v1Tag(Id3v1Values().Title("Still read")));
    const int32_t listOffset = 46 + 1000;
    CountingStream stream(file);
    TMPStreamReader reader(16384);
    reader.Open(&stream, true);
    TMP3Info info;
    info.Attach(reader);
    ASSERT_TRUE(info.ReadLeadingInfo());
    stream.FailReadsIn(listOffset, listOffset + 20);
    EXPECT_TRUE(info.ReadTrailingInfo());
    EXPECT_THAT(info.RiffInfoFields(), IsEmpty());
    EXPECT_TRUE(info.Found().Contains(Item::Id3v1));
    EXPECT_EQ(info.GetTitle(), "Still read");

    // Outside that step a failure reaches the caller.
    info.Attach(reader);
    reader.Seek(0, kSeekFromBeginning);
    stream.FailReadsIn(0, 0);
    ASSERT_TRUE(info.ReadLeadingInfo());
    stream.FailReadsIn(static_cast<int32_t>(file.size()) - 128, static_cast<int32_t>(file.size()));
    EXPECT_THROW(info.ReadTrailingInfo(), EMP3Error);
}

} // namespace
} // namespace pt4
