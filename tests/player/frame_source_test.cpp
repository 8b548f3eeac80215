// Opening, measuring and walking a stream the way the player and `pt4 decode` do.
#include "mp3plyr/errors.h"
#include "mp3plyr/input/memory_stream.h"
#include "mp3plyr/player/frame_source.h"
#include "support/player_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace pt4 {
namespace {

using namespace pt4::testing;

struct Opened {
    std::vector<uint8_t> bytes;
    std::unique_ptr<DecoderState> decoder = std::make_unique<DecoderState>();
    std::unique_ptr<TMPMemoryStream> stream;
    std::unique_ptr<TMPFrameSource> source;

    explicit Opened(std::vector<uint8_t> data) : bytes(std::move(data))
    {
        stream = std::make_unique<TMPMemoryStream>(std::span<const uint8_t>(bytes));
        source = std::make_unique<TMPFrameSource>(*decoder);
        source->Open(stream.get(), true);
    }

    // Frames produced until the end, and the PCM bytes they gave.
    int CountFrames()
    {
        std::vector<uint8_t> pcm(TMPFrameSource::kPcmBufferSize);
        int frames = 0;
        for (TFrameOutcome outcome; (outcome = source->ProduceFrame(pcm.data())) != TFrameOutcome::EndOfData;)
            frames += outcome == TFrameOutcome::Frame;
        return frames;
    }
};

std::vector<uint8_t> Id3v2Tag(size_t bodySize)
{
    std::vector<uint8_t> tag = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 0};
    tag[8] = uint8_t(bodySize >> 7 & 0x7F);
    tag[9] = uint8_t(bodySize & 0x7F);
    tag.resize(10 + bodySize, 0);
    return tag;
}

void PutBigEndian(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + size_t(i)] = uint8_t(value >> (24 - 8 * i));
}

// A silent copy of `frame` carrying a Xing, Info or VBRI header where encoders put it: Xing and
// Info where the side information ends (`at`), VBRI 32 bytes after the header in every mode.
std::vector<uint8_t> VbrFrame(const std::vector<uint8_t>& frame, const char* tag, uint32_t frames,
                              uint32_t bytes, size_t at = 4 + 32)
{
    std::vector<uint8_t> vbr(frame.size(), 0);
    std::memcpy(vbr.data(), frame.data(), 4);
    if (std::strcmp(tag, "VBRI") == 0)
        at = 36;
    std::memcpy(vbr.data() + at, tag, 4);
    if (std::strcmp(tag, "VBRI") != 0) {
        PutBigEndian(vbr, at + 4, 3); // frames and bytes present
        PutBigEndian(vbr, at + 8, frames);
        PutBigEndian(vbr, at + 12, bytes);
    } else {
        PutBigEndian(vbr, at + 10, bytes);
        PutBigEndian(vbr, at + 14, frames);
    }
    return vbr;
}

TEST(FrameSourceOpen, NoSyncInTheFirstKilobyteIsUnknownFormat)
{
    std::vector<uint8_t> bytes(1024, 0x20);
    const auto audio = Join(DemoFrames());
    bytes.insert(bytes.end(), audio.begin(), audio.end());
    try {
        Opened opened(bytes);
        FAIL() << "opened";
    } catch (const EMP3Error& error) {
        EXPECT_STREQ(error.what(), "unknown MPEG Audio format.");
    }
}

TEST(FrameSourceOpen, GarbageAfterTheTagMovesTheDataStart)
{
    const auto audio = Join(DemoFrames());
    auto bytes = Id3v2Tag(100);
    bytes.insert(bytes.end(), 300, 0x00);
    bytes.insert(bytes.end(), audio.begin(), audio.end());
    Opened opened(bytes);
    EXPECT_EQ(opened.source->DataStart(), 110 + 300);
    EXPECT_EQ(opened.source->DataLength(), int32_t(audio.size()));
    EXPECT_EQ(opened.source->BitRate(), 128000);
    EXPECT_EQ(opened.source->LengthMs(), int32_t(int64_t(audio.size()) * 8000 / 128000));
    EXPECT_EQ(opened.source->Layer(), 3);
    EXPECT_EQ(opened.source->Version(), 1);
    EXPECT_EQ(opened.CountFrames(), int(DemoFrames().size()));
}

// The frame count of a Xing, Info or VBRI header leaves out the frame that holds it (the
// encoders' count): 1000 frames of 1152 stereo samples at 44.1 kHz last 26122 ms.
TEST(FrameSourceOpen, VbrHeadersGiveTheLengthAndAreNotPlayed)
{
    auto mono = DemoFrames();
    for (auto& frame : mono)
        frame[3] = uint8_t(frame[3] | 0xC0); // single channel: shorter side information
    const struct {
        const char* tag;
        std::vector<std::vector<uint8_t>> frames;
        size_t xingAt;
    } cases[] = {
        {"Xing", DemoFrames(), 36}, {"Info", DemoFrames(), 36}, {"VBRI", DemoFrames(), 36},
        {"Xing", mono, 21},         {"VBRI", mono, 21},
    };
    for (auto c : cases) {
        SCOPED_TRACE(std::string(c.tag) + (c.xingAt == 21 ? " mono" : ""));
        const size_t played = c.frames.size();
        const uint32_t bytes = uint32_t(Join(c.frames).size() + c.frames[0].size());
        c.frames.insert(c.frames.begin(), VbrFrame(c.frames[0], c.tag, 1000, bytes, c.xingAt));
        Opened opened(Join(c.frames));
        EXPECT_EQ(opened.source->VbrHeader(),
                  std::string(c.tag) == "VBRI" ? TVbrHeaderKind::Vbri : TVbrHeaderKind::Xing);
        EXPECT_EQ(opened.source->BitRate(), 0);
        EXPECT_EQ(opened.source->LengthMs(), 26122);
        EXPECT_EQ(opened.source->DataStart(), int32_t(c.frames[0].size()));
        EXPECT_EQ(opened.source->DataLength(), int32_t(bytes - c.frames[0].size()));
        EXPECT_EQ(opened.source->SeekToFrame(0), 0);
        EXPECT_EQ(opened.source->Reader().Position(), int32_t(c.frames[0].size()));
        EXPECT_EQ(opened.CountFrames(), int(played));
    }
}

TEST(FrameSourcePlay, FrameOfAnotherSampleRateIsSteppedOver)
{
    auto frames = DemoFrames();
    frames[5][2] = uint8_t((frames[5][2] & ~0x0C) | 0x04); // 48 kHz
    Opened opened(Join(frames));
    EXPECT_EQ(opened.CountFrames(), int(frames.size()) - 1);
}

TEST(FrameSourcePlay, GarbageBetweenFramesIsSkippedUpToTheLimit)
{
    auto frames = DemoFrames();
    frames[3].insert(frames[3].end(), 1000, 0x00); // skippable
    Opened opened(Join(frames));
    EXPECT_EQ(opened.CountFrames(), int(frames.size()));

    auto broken = DemoFrames();
    broken[3].insert(broken[3].end(), 1100, 0x00); // more than 1024 bytes: the stream ends
    Opened ended(Join(broken));
    EXPECT_EQ(ended.CountFrames(), 4);
}

TEST(FrameSourcePlay, TruncatedLastFrameEndsTheData)
{
    auto bytes = Join(DemoFrames());
    bytes.resize(bytes.size() - 100);
    Opened opened(bytes);
    EXPECT_EQ(opened.CountFrames(), int(DemoFrames().size()) - 1);
}

TEST(FrameSourceSeek, TableGrowsAndTargetsBeyondTheEndLandOnTheLastFrame)
{
    auto frames = DemoFrames();
    frames.insert(frames.begin(), VbrFrame(frames[0], "Xing", uint32_t(frames.size() + 1), 0));
    const auto bytes = Join(frames);
    Opened opened(bytes);
    const int32_t last = int32_t(frames.size()) - 2; // the Xing frame is not a playing frame
    EXPECT_EQ(opened.source->SeekToFrame(10), 10);
    EXPECT_EQ(opened.source->SeekToFrame(3), 3); // from the table, no walking
    EXPECT_EQ(opened.source->SeekToFrame(100000), last);
    EXPECT_EQ(opened.CountFrames(), 1);
    EXPECT_EQ(opened.source->SeekToFrame(0), 0);
    EXPECT_EQ(opened.source->Reader().Position(), int32_t(frames[0].size()));
}

TEST(FrameSourcePlay, RewindStartsOverWithAFreshDecoder)
{
    Opened opened(Join(DemoFrames()));
    std::vector<uint8_t> first(TMPFrameSource::kPcmBufferSize);
    std::vector<uint8_t> again(TMPFrameSource::kPcmBufferSize);
    ASSERT_EQ(opened.source->ProduceFrame(first.data()), TFrameOutcome::Frame);
    opened.source->ProduceFrame(again.data());
    opened.source->Rewind();
    ASSERT_EQ(opened.source->ProduceFrame(again.data()), TFrameOutcome::Frame);
    EXPECT_EQ(first, again);
}

} // namespace
} // namespace pt4
