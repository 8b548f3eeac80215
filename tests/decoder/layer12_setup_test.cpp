// Set-up of Layer I/II streams: the PCM format reported, the frequency limit in entries, the
// output configuration, and the streams the set-up refuses.
#include "mp3plyr/decoder/bit_reader.h"
#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer12.h"

#include "decoder/support/layer12_streams.h"

#include <gtest/gtest.h>

namespace pt4::test {
namespace {

TMPFrameHeader Header(int32_t layerBits, int32_t id, int32_t sampleRateIndex, int32_t bitrateIndex,
                      int32_t mode)
{
    TMPFrameHeader h;
    h.Sync = 1;
    h.Id = id;
    h.LayerBits = layerBits;
    h.Protection = 1;
    h.SampleRateIndex = sampleRateIndex;
    h.BitrateIndex = bitrateIndex;
    h.Mode = mode;
    return h;
}

void ExpectInfo(const DecoderState& s, int32_t channels, int32_t values, int32_t rate, int32_t bits,
                int32_t length)
{
    EXPECT_EQ(s.Info.Channels, channels);
    EXPECT_EQ(s.Info.OutValues, values);
    EXPECT_EQ(s.Info.SampleRate, rate);
    EXPECT_EQ(s.Info.Bits, bits);
    EXPECT_EQ(s.Info.FrameBytes, length);
    EXPECT_EQ(s.Config.OutputBytes, values * bits / 8);
}

TEST(Layer12Setup, PlayerConfigurationReportsTheStreamsFormat)
{
    auto s = NewDecoderState();
    ASSERT_EQ(InitLayer12(*s, Header(2, 1, 0, 10, 0), 626), 1); // Layer II, 44.1 kHz, 192 kbit/s, stereo
    ExpectInfo(*s, 2, 2304, 44100, 16, 626);
    EXPECT_EQ(s->Config.OutputBytes, 4608);
    EXPECT_EQ(s->Config.SubbandLimit, 60); // table B: 30 subbands per channel
    EXPECT_EQ(s->Config.SilenceValue, 0);

    ASSERT_EQ(InitLayer12(*s, Header(2, 1, 1, 2, 3), 144), 1); // 48 kHz, 48 kbit/s mono: table C
    ExpectInfo(*s, 1, 1152, 48000, 16, 144);
    EXPECT_EQ(s->Config.SubbandLimit, 8);

    ASSERT_EQ(InitLayer12(*s, Header(3, 1, 2, 14, 1), 672), 1); // Layer I, 32 kHz, joint stereo
    ExpectInfo(*s, 2, 768, 32000, 16, 672);
    EXPECT_EQ(s->Config.SubbandLimit, 64);

    ASSERT_EQ(InitLayer12(*s, Header(2, 0, 0, 8, 0), 208), 1); // 22.05 kHz: the lower-rate table
    ExpectInfo(*s, 2, 2304, 22050, 16, 208);
    EXPECT_EQ(s->Config.SubbandLimit, 60);
}

TEST(Layer12Setup, OutputConfigurations)
{
    auto s = NewDecoderState();
    // Layer I mono at a quarter of the rate: 96 values of 11025 Hz, 8 subbands.
    ASSERT_EQ(InitLayer12(*s, Header(3, 1, 0, 12, 3), 416, 2), 1);
    ExpectInfo(*s, 1, 96, 11025, 16, 416);
    EXPECT_EQ(s->Config.SubbandLimit, 8);

    // Half rate keeps subbands 0-14, the ones its 16-band synthesis uses.
    ASSERT_EQ(InitLayer12(*s, Header(2, 1, 1, 14, 0), 1152, 1), 1);
    ExpectInfo(*s, 2, 1152, 24000, 16, 1152);
    EXPECT_EQ(s->Config.SubbandLimit, 30);

    // 8-bit output: silence is 128.
    ASSERT_EQ(InitLayer12(*s, Header(2, 1, 0, 10, 0), 626, 0, 8), 1);
    ExpectInfo(*s, 2, 2304, 44100, 8, 626);
    EXPECT_EQ(s->Config.SilenceValue, 128);

    // Mixing, left only and right only give one channel; a one-channel stream ignores the choice.
    for (int32_t convert : {1, 2, 3}) {
        ASSERT_EQ(InitLayer12(*s, Header(2, 1, 0, 10, 2), 626, 0, convert), 1);
        ExpectInfo(*s, 1, 1152, 44100, 16, 626);
        EXPECT_EQ(s->Config.SubbandLimit, 60); // the buffer still holds both channels
    }
    ASSERT_EQ(InitLayer12(*s, Header(2, 1, 0, 10, 3), 626, 0, 1), 1);
    ExpectInfo(*s, 1, 1152, 44100, 16, 626);
    EXPECT_EQ(s->Config.SubbandLimit, 30);
}

TEST(Layer12Setup, FrequencyLimitCountsEntriesOfBothChannels)
{
    auto s = NewDecoderState();
    // (8000 * 64 + 22050) / 44100 = 12 subbands.
    ASSERT_EQ(InitLayer12(*s, Header(2, 1, 0, 10, 0), 626, 0, 0, 8000), 1);
    EXPECT_EQ(s->Config.SubbandLimit, 24);
    ASSERT_EQ(InitLayer12(*s, Header(3, 1, 0, 12, 3), 416, 0, 0, 8000), 1);
    EXPECT_EQ(s->Config.SubbandLimit, 12);
    // A limit below 1000 Hz acts as 1000: (1000 * 64 + 16000) / 32000 = 2.
    ASSERT_EQ(InitLayer12(*s, Header(3, 1, 2, 12, 0), 576, 0, 0, 0), 1);
    EXPECT_EQ(s->Config.SubbandLimit, 4);
    // A huge limit neither overflows nor exceeds the coded subbands.
    ASSERT_EQ(InitLayer12(*s, Header(2, 1, 2, 1, 3), 144, 0, 0, 2000000000), 1);
    EXPECT_EQ(s->Config.SubbandLimit, 12); // table D
}

TEST(Layer12Setup, RefusesWhatItCannotDecode)
{
    auto s = NewDecoderState();
    // DecoderInit returns 0 for MPEG-1 Layer II at 32 kbit/s in stereo: no allocation table.
    EXPECT_EQ(DecoderInit(*s, Header(2, 1, 0, 1, 0), 104), 0);
    EXPECT_EQ(InitLayer12(*s, Header(2, 1, 0, 5, 1), 261), 0);  // 80 kbit/s in joint stereo
    EXPECT_EQ(InitLayer12(*s, Header(2, 1, 0, 11, 3), 731), 0); // 224 kbit/s in mono
    EXPECT_EQ(InitLayer12(*s, Header(2, 1, 0, 15, 3), 0), 0);   // invalid bit-rate index
    EXPECT_EQ(InitLayer12(*s, Header(2, 1, 3, 10, 0), 100), 0); // reserved sampling rate
    EXPECT_EQ(InitLayer12(*s, Header(3, 1, 3, 10, 0), 100), 0);
    TMPFrameHeader mpeg25 = Header(2, 0, 0, 8, 0);
    mpeg25.Sync = 2; // frames of Layers I and II never carry the MPEG-2.5 sync
    EXPECT_EQ(InitLayer12(*s, mpeg25, 416), 0);
    mpeg25.LayerBits = 3;
    EXPECT_EQ(InitLayer12(*s, mpeg25, 416), 0);
    EXPECT_FALSE(SetupLayer1(*s, Header(2, 1, 0, 10, 0), 626));
    EXPECT_FALSE(SetupLayer2(*s, Header(3, 1, 0, 10, 0), 626));
    EXPECT_FALSE(SetupLayer2(*s, Header(1, 1, 0, 10, 0), 626));

    // Free format is accepted: table B at 44.1 kHz.
    EXPECT_EQ(InitLayer12(*s, Header(2, 1, 0, 0, 0), 600), 1);
    EXPECT_EQ(s->Config.SubbandLimit, 60);
}

TEST(Layer12Setup, ClearsSamplesAndSynthesisOfTheEarlierStream)
{
    const auto stream =
        ReadBinaryFile(std::string(PT4_SOURCE_DIR) + "/tests/fixtures/layer12/l2_44k_stereo_192.mp2");
    ASSERT_GT(stream.size(), 4u);
    auto s = NewDecoderState();
    TMPFrameHeader header;
    const int32_t length = ParseFrameHeader(stream.data(), 0, header);
    ASSERT_EQ(InitLayer12(*s, header, length), 1);
    std::vector<uint8_t> pcm;
    ASSERT_GT(DecodeCopiedFrame(*s, stream.data(), PaddedFrameLength(header, length), pcm).InBytes, 0);

    ASSERT_EQ(InitLayer12(*s, header, length), 1);
    for (float value : s->Layer12.SubbandSamples)
        ASSERT_EQ(value, 0.0f);
    for (float value : s->Output.Synthesis.History)
        ASSERT_EQ(value, 0.0f);
    EXPECT_EQ(s->Output.Synthesis.Position0, 0);
}

// --- The bit reader --------------------------------------------------------------------------

TEST(BitReader, ReadsZerosPastItsEndAndIsExhaustedOnlyWhenItHandsOneOut)
{
    const uint8_t data[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x55};
    BitReader r;
    r.Init(data, data + 3); // 0xEF and 0x55 lie past the end
    EXPECT_EQ(r.GetBits(16), 0xDEADu);
    EXPECT_EQ(r.GetBits(8), 0xBEu); // the refill behind these loaded a zero for the 4th byte
    EXPECT_FALSE(r.Exhausted());
    EXPECT_EQ(r.Pointer, data + 3);
    EXPECT_EQ(r.GetBits(1), 0u);
    EXPECT_TRUE(r.Exhausted());
    EXPECT_EQ(r.GetBits(25), 0u);
    EXPECT_EQ(r.BitsUsed(), 50);

    r.Init(data, data + 5);
    r.SkipBits(30); // far past the accumulator: straight to byte 3
    EXPECT_EQ(r.GetBits(10), 0x355u);
    EXPECT_FALSE(r.Exhausted());
    r.SkipBits(20);
    EXPECT_TRUE(r.Exhausted());
    EXPECT_EQ(r.GetBits(8), 0u);
}

TEST(BitReader, SkipsWithinAndBeyondTheAccumulator)
{
    const uint8_t data[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11, 0x22, 0x33, 0x44};
    BitReader r;
    r.Init(data, data + sizeof data);
    r.GetBits(25);
    r.GetBits(4); // 29 read of the seven bytes loaded, 27 bits held
    ASSERT_EQ(r.Count, 27);
    r.SkipBits(40); // to bit 69: one byte further, then five bits of byte 8
    EXPECT_EQ(r.Pointer, data + 9);
    EXPECT_EQ(r.GetBits(3), 0x11u & 0x7);
    EXPECT_EQ(r.GetBits(8), 0x22u);

    r.Init(data, data + sizeof data);
    r.GetBits(4);
    r.SkipBits(8); // inside the accumulator
    EXPECT_EQ(r.GetBits(8), 0x45u);
    r.SkipBits(0);
    EXPECT_EQ(r.GetBits(4), 0x6u);
}

} // namespace
} // namespace pt4::test
