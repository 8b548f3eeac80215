#include "mp3plyr/decoder/frame_header.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace pt4 {
namespace {

int32_t Parse(std::array<uint8_t, 4> bytes, TMPFrameHeader& header)
{
    return ParseFrameHeader(bytes.data(), 0, header);
}

TEST(FrameLength, CommonRatesOfEachLayerAndVersion)
{
    TMPFrameHeader h;
    EXPECT_EQ(Parse({0xFF, 0xFB, 0x90, 0x64}, h), 417); // MPEG-1 L3 128k 44.1k
    EXPECT_EQ(h.Sync, 1);
    EXPECT_EQ(h.Id, 1);
    EXPECT_EQ(h.LayerBits, 1);
    EXPECT_EQ(h.Protection, 1);
    EXPECT_EQ(h.BitrateIndex, 9);
    EXPECT_EQ(h.Mode, 1);
    EXPECT_EQ(h.ModeExt, 2);
    EXPECT_EQ(h.Original, 1);
    EXPECT_EQ(PaddedFrameLength(h, 417), 417);

    EXPECT_EQ(Parse({0xFF, 0xFB, 0x92, 0x64}, h), 417);
    EXPECT_EQ(PaddedFrameLength(h, 417), 418);

    EXPECT_EQ(Parse({0xFF, 0xFD, 0xA4, 0x00}, h), 576); // MPEG-1 L2 192k 48k
    EXPECT_EQ(Parse({0xFF, 0xFF, 0xC8, 0x00}, h), 576); // MPEG-1 L1 384k 32k
    EXPECT_EQ(Parse({0xFF, 0xFF, 0xCA, 0x00}, h), 576);
    EXPECT_EQ(PaddedFrameLength(h, 576), 580);

    EXPECT_EQ(Parse({0xFF, 0xF3, 0x80, 0x00}, h), 208); // MPEG-2 L3 64k 22.05k
    EXPECT_EQ(Parse({0xFF, 0xE3, 0x18, 0xC0}, h), 72);  // MPEG-2.5 L3 8k 8k
    EXPECT_EQ(h.Sync, 2);
    EXPECT_EQ(h.Mode, 3);
}

TEST(FrameLength, MpegTwoPointFiveSyncWithIdSetUsesMpegOneFormula)
{
    TMPFrameHeader h;
    EXPECT_EQ(Parse({0xFF, 0xE2, 0x90, 0x00}, h), 2880 * 80 / 441); // MPEG-2.5, 80k, rate entry 441
    EXPECT_EQ(h.Sync, 2);
    EXPECT_EQ(h.Id, 0);
    EXPECT_EQ(Parse({0xFF, 0xEA, 0x90, 0x00}, h), 2880 * 128 / 882);
    EXPECT_EQ(h.Sync, 2);
    EXPECT_EQ(h.Id, 1);
}

TEST(FrameLength, InvalidFieldsGiveNoFrame)
{
    TMPFrameHeader h;
    EXPECT_EQ(Parse({0xFF, 0xF9, 0x90, 0x00}, h), 0); // reserved layer
    EXPECT_EQ(Parse({0xFF, 0xFB, 0xF0, 0x00}, h), 0); // bit-rate index 15
    EXPECT_LT(Parse({0xFF, 0xFB, 0x9C, 0x00}, h), 0); // sampling-rate index 3
    EXPECT_EQ(h.SampleRateIndex, 3);                  // the record is filled anyway

    h.Id = 7;
    EXPECT_EQ(Parse({0xFF, 0xDB, 0x90, 0x00}, h), 0); // no sync: only Sync is written
    EXPECT_EQ(h.Sync, 0);
    EXPECT_EQ(h.Id, 7);
    EXPECT_EQ(Parse({0xFE, 0xFB, 0x90, 0x00}, h), 0);
}

TEST(FrameLength, BitRateReported)
{
    TMPFrameHeader h;
    int32_t rate = -1;
    std::array<uint8_t, 4> frame{0xFF, 0xFB, 0x90, 0x64};
    EXPECT_EQ(ParseFrameHeaderEx(frame.data(), 0, h, rate), 417);
    EXPECT_EQ(rate, 128000);
    std::array<uint8_t, 4> bad{0xFF, 0xFB, 0xF0, 0x00};
    EXPECT_EQ(ParseFrameHeaderEx(bad.data(), 0, h, rate), 0);
    EXPECT_EQ(rate, 0);
}

// A free-format stream: identical headers every `spacing` bytes, filler that never repeats them.
std::vector<uint8_t> FreeFormatStream(std::array<uint8_t, 4> head, int spacing, int frames)
{
    std::vector<uint8_t> bytes(size_t(spacing) * frames, 0x55);
    for (int f = 0; f < frames; ++f)
        std::copy(head.begin(), head.end(), bytes.begin() + f * spacing);
    return bytes;
}

TEST(FreeFormat, LengthFoundFromRepeatingHeaders)
{
    auto stream = FreeFormatStream({0xFF, 0xFB, 0x00, 0x00}, 600, 8);
    TMPFrameHeader h;
    int32_t rate = 0;
    EXPECT_EQ(ParseFrameHeader(stream.data(), 2000, h), 600);
    EXPECT_EQ(ParseFrameHeaderEx(stream.data(), 4800, h, rate), 600);
    EXPECT_EQ(rate, 600 * 882 * 1000 / 2880);
    EXPECT_EQ(ParseFrameHeader(stream.data(), 0, h), 0);
    EXPECT_EQ(ParseFrameHeader(stream.data(), 3, h), 0);
}

TEST(FreeFormat, BrokenChainIsRejected)
{
    auto stream = FreeFormatStream({0xFF, 0xFB, 0x00, 0x00}, 600, 8);
    stream[1200] = 0x00; // third header missing: a spacing of 600 no longer holds
    TMPFrameHeader h;
    EXPECT_NE(ParseFrameHeader(stream.data(), 4800, h), 600);
}

TEST(FreeFormat, WindowIsClampedAndNeverOverread)
{
    // Exactly `window` bytes exist; a sanitizer build catches any read beyond them.
    for (uint32_t window : {4u, 5u, 27u, 28u, 601u, 1203u}) {
        std::vector<uint8_t> bytes(window, 0xFF);
        bytes[1] = 0xFB;
        bytes[2] = 0x00;
        TMPFrameHeader h;
        ParseFrameHeader(bytes.data(), window, h);
    }
    auto stream = FreeFormatStream({0xFF, 0xFB, 0x00, 0x00}, 600, 30);
    TMPFrameHeader h;
    EXPECT_EQ(ParseFrameHeader(stream.data(), 1u << 30, h), 600); // clamped to 10000
}

TEST(FirstFrame, FindsTheFirstSyncPattern)
{
    std::vector<uint8_t> bytes = {0x00, 0x12, 0xFF, 0x00, 0xFF, 0xFB, 0x90, 0x64, 0x00};
    TMPFrameHeader h;
    int32_t rate = 0;
    int32_t offset = -1;
    EXPECT_EQ(FindFirstFrame(bytes.data(), int32_t(bytes.size()), h, rate, offset), 417);
    EXPECT_EQ(offset, 4);
    EXPECT_EQ(rate, 128000);
}

TEST(FirstFrame, AcceptsAFirstSyncWhoseHeaderFails)
{
    std::vector<uint8_t> bytes = {0xFF, 0xF9, 0x90, 0x00, 0xFF, 0xFB, 0x90, 0x64};
    TMPFrameHeader h;
    int32_t rate = 0;
    int32_t offset = -1;
    EXPECT_EQ(FindFirstFrame(bytes.data(), int32_t(bytes.size()), h, rate, offset), 0);
    EXPECT_EQ(offset, 0);
}

TEST(FirstFrame, NothingFoundLeavesOffset)
{
    std::vector<uint8_t> bytes = {0x00, 0x01, 0x02, 0xFF};
    TMPFrameHeader h;
    int32_t rate = 0;
    int32_t offset = 77;
    EXPECT_EQ(FindFirstFrame(bytes.data(), int32_t(bytes.size()), h, rate, offset), 0);
    EXPECT_EQ(offset, 77);
    EXPECT_EQ(FindFirstFrame(bytes.data(), 0, h, rate, offset), 0);
}

TEST(FirstFrame, SyncTooCloseToTheEndIsNoFrame)
{
    std::vector<uint8_t> bytes = {0x00, 0xFF, 0xFB, 0x90};
    TMPFrameHeader h;
    int32_t rate = 0;
    int32_t offset = -1;
    EXPECT_LT(FindFirstFrame(bytes.data(), int32_t(bytes.size()), h, rate, offset), 1);
}

TEST(StreamHeader, OnlyVersionLayerAndRateMustMatch)
{
    const std::array<uint8_t, 4> ref{0xFF, 0xFB, 0x90, 0x64};
    auto same = [&](std::array<uint8_t, 4> other) { return SameStreamHeader(ref.data(), other.data()); };
    EXPECT_TRUE(same({0xFF, 0xFB, 0xA0, 0x64}));  // bit rate
    EXPECT_TRUE(same({0xFF, 0xFB, 0x92, 0x64}));  // padding
    EXPECT_TRUE(same({0xFF, 0xFB, 0x91, 0x64}));  // private bit
    EXPECT_TRUE(same({0xFF, 0xFB, 0x90, 0xC0}));  // mode
    EXPECT_TRUE(same({0xFF, 0xFA, 0x90, 0x64}));  // protection
    EXPECT_FALSE(same({0xFF, 0xFB, 0x94, 0x64})); // sampling rate
    EXPECT_FALSE(same({0xFF, 0xFD, 0x90, 0x64})); // layer
    EXPECT_FALSE(same({0xFF, 0xF3, 0x90, 0x64})); // version
    EXPECT_FALSE(same({0xFF, 0xEB, 0x90, 0x64})); // MPEG-2.5 sync
    EXPECT_TRUE(SameSyncBytes(ref.data(), std::array<uint8_t, 2>{0xFF, 0xFB}.data()));
    EXPECT_FALSE(SameSyncBytes(ref.data(), std::array<uint8_t, 2>{0xFF, 0xFA}.data()));
}

TEST(HeaderFields, WhatEachVersionAndLayerMeans)
{
    struct Case {
        std::array<uint8_t, 4> bytes;
        TMpegVersion version;
        int32_t layer, sampleRate, samples, channels, sideInfoEnd;
    };
    const Case cases[] = {
        {{0xFF, 0xFB, 0x90, 0x64}, TMpegVersion::Mpeg1, 3, 44100, 1152, 2, 36},
        {{0xFF, 0xFB, 0x98, 0xC0}, TMpegVersion::Mpeg1, 3, 32000, 1152, 1, 21},
        {{0xFF, 0xFD, 0xA4, 0x00}, TMpegVersion::Mpeg1, 2, 48000, 1152, 2, 36},
        {{0xFF, 0xF5, 0x84, 0x00}, TMpegVersion::Mpeg2, 2, 24000, 1152, 2, 21},
        {{0xFF, 0xF7, 0x80, 0xC0}, TMpegVersion::Mpeg2, 1, 22050, 384, 1, 13},
        {{0xFF, 0xF3, 0x80, 0x00}, TMpegVersion::Mpeg2, 3, 22050, 576, 2, 21},
        {{0xFF, 0xE3, 0x18, 0xC0}, TMpegVersion::Mpeg25, 3, 8000, 576, 1, 13},
        {{0xFF, 0xE3, 0x14, 0x40}, TMpegVersion::Mpeg25, 3, 12000, 576, 2, 21},
        {{0xFF, 0xFB, 0x9C, 0x00}, TMpegVersion::Mpeg1, 3, 0, 1152, 2, 36}, // reserved rate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.bytes[1]) << ' ' << int(c.bytes[2]));
        TMPFrameHeader h;
        ASSERT_TRUE(ReadFrameHeaderFields(c.bytes.data(), h));
        EXPECT_EQ(VersionOf(h), c.version);
        EXPECT_EQ(LayerNumber(h), c.layer);
        EXPECT_EQ(SampleRate(h), c.sampleRate);
        EXPECT_EQ(SamplesPerFrame(h), c.samples);
        EXPECT_EQ(Channels(h), c.channels);
        EXPECT_EQ(Layer3SideInfoEnd(h), c.sideInfoEnd);
    }
}

} // namespace
} // namespace pt4
