// Layer I and II frame decoding: sample values, scale-factor selection, joint stereo, the
// frequency limit, frames whose mode or bit rate differs from the stream's, and damaged frames.
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer12.h"
#include "mp3plyr/decoder/layer12_state.h"

#include "decoder/support/layer12_frame_writer.h"
#include "decoder/support/layer12_streams.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace pt4::test {
namespace {

constexpr float kFullScale = 65536.0f;

std::vector<uint8_t> Fixture(const std::string& name)
{
    std::vector<uint8_t> bytes =
        ReadBinaryFile(std::string(PT4_SOURCE_DIR) + "/tests/fixtures/layer12/" + name);
    EXPECT_FALSE(bytes.empty()) << name;
    return bytes;
}

// Frame `index` of a stream, with its header and padded length.
struct StreamFrame {
    const uint8_t* Data = nullptr;
    TMPFrameHeader Header;
    int32_t Length = 0;
    int32_t Padded = 0;
};

std::vector<StreamFrame> Frames(const std::vector<uint8_t>& stream)
{
    std::vector<StreamFrame> frames;
    for (size_t position = 0; position + 4 <= stream.size();) {
        StreamFrame f;
        f.Data = stream.data() + position;
        f.Length = ParseFrameHeader(f.Data, 0, f.Header);
        f.Padded = PaddedFrameLength(f.Header, f.Length);
        if (f.Length < 1 || position + size_t(f.Padded) > stream.size())
            break;
        frames.push_back(f);
        position += size_t(f.Padded);
    }
    return frames;
}

struct Decoder {
    std::unique_ptr<DecoderState> State = NewDecoderState();
    std::vector<uint8_t> Pcm;

    Decoder(const std::vector<uint8_t>& first, int32_t frequencyLimit = 24000)
    {
        TMPFrameHeader header;
        const int32_t length = ParseFrameHeader(first.data(), 0, header);
        EXPECT_EQ(InitLayer12(*State, header, length, 0, 0, frequencyLimit), 1);
    }
    TDecodeResult Decode(const std::vector<uint8_t>& frame)
    {
        return DecodeCopiedFrame(*State, frame.data(), int32_t(frame.size()), Pcm);
    }
    TDecodeResult Decode(const StreamFrame& frame)
    {
        return DecodeCopiedFrame(*State, frame.Data, frame.Padded, Pcm);
    }
    float Sample(int32_t slot, int32_t entry) const
    {
        return State->Layer12.SubbandSamples[slot * 64 + entry];
    }
    int16_t Pcm16(size_t index) const { return int16_t(Pcm[2 * index] | Pcm[2 * index + 1] << 8); }
};

// --- Layer II: one channel, 44.1 kHz, 192 kbit/s, allocation table B -------------------------

int32_t TableBFieldWidth(int32_t subband)
{
    return subband < 11 ? 4 : subband < 23 ? 3 : 2;
}

// A frame whose only entry with samples is `subband`; `samples` writes that entry's bits of one
// group of three slots.
template <typename Samples>
std::vector<uint8_t> Layer2MonoFrame(int32_t subband, uint32_t field, uint32_t selection,
                                     const std::vector<uint32_t>& scaleFactors, Samples samples)
{
    Layer12FrameWriter w({.LayerBits = 2, .BitrateIndex = 10, .Mode = 3});
    for (int32_t sb = 0; sb < 30; ++sb)
        w.Put(sb == subband ? field : 0, TableBFieldWidth(sb));
    w.Put(selection, 2);
    for (uint32_t index : scaleFactors)
        w.Put(index, 6);
    for (int32_t group = 0; group < 12; ++group)
        samples(w, group);
    return w.Frame();
}

TEST(Layer2Samples, UngroupedValuesAreCentredAndScaled)
{
    // Subband 0, field 3: 15 levels in 4 bits; one scale factor of index 0 for the whole frame.
    const auto frame = Layer2MonoFrame(0, 3, 2, {0}, [](Layer12FrameWriter& w, int32_t) {
        w.Put(7, 4);
        w.Put(14, 4);
        w.Put(0, 4);
    });
    Decoder d(frame);
    const TDecodeResult result = d.Decode(frame);
    EXPECT_EQ(result.InBytes, int32_t(frame.size()));
    EXPECT_EQ(result.OutBytes, 1152 * 2);
    const float step = 7 * 2.0f / 15 * kFullScale;
    for (int32_t group = 0; group < 12; ++group) {
        EXPECT_FLOAT_EQ(d.Sample(3 * group, 0), 0.0f);
        EXPECT_FLOAT_EQ(d.Sample(3 * group + 1, 0), step);
        EXPECT_FLOAT_EQ(d.Sample(3 * group + 2, 0), -step);
        EXPECT_FLOAT_EQ(d.Sample(3 * group + 1, 1), 0.0f);
    }
}

TEST(Layer2Samples, GroupedCodesUngroupInSlotOrder)
{
    // Subband 0, field 1: 3 levels, one 5-bit code per three samples; code 5 = digits 2, 1, 0.
    const auto threeLevels =
        Layer2MonoFrame(0, 1, 2, {0}, [](Layer12FrameWriter& w, int32_t) { w.Put(5, 5); });
    Decoder d3(threeLevels);
    ASSERT_GT(d3.Decode(threeLevels).InBytes, 0);
    const float third = 2.0f / 3 * kFullScale;
    EXPECT_FLOAT_EQ(d3.Sample(0, 0), third);
    EXPECT_FLOAT_EQ(d3.Sample(1, 0), 0.0f);
    EXPECT_FLOAT_EQ(d3.Sample(2, 0), -third);

    // Subband 3, field 2: 5 levels in 7 bits; code 2 + 5 * 1 + 25 * 4 = 107 has digits 2, 1, 4.
    const auto fiveLevels =
        Layer2MonoFrame(3, 2, 2, {3}, [](Layer12FrameWriter& w, int32_t) { w.Put(107, 7); });
    Decoder d5(fiveLevels);
    ASSERT_GT(d5.Decode(fiveLevels).InBytes, 0);
    const float fifth = 2.0f / 5 * kFullScale / 2;
    EXPECT_FLOAT_EQ(d5.Sample(0, 3), 0.0f);
    EXPECT_FLOAT_EQ(d5.Sample(1, 3), -fifth);
    EXPECT_FLOAT_EQ(d5.Sample(2, 3), 2 * fifth);

    // Subband 3, field 4: 9 levels in 10 bits; code 728 = digits 8, 8, 8.
    const auto nineLevels =
        Layer2MonoFrame(3, 4, 2, {0}, [](Layer12FrameWriter& w, int32_t) { w.Put(728, 10); });
    Decoder d9(nineLevels);
    ASSERT_GT(d9.Decode(nineLevels).InBytes, 0);
    for (int32_t slot = 0; slot < 36; ++slot)
        EXPECT_FLOAT_EQ(d9.Sample(slot, 3), 4 * 2.0f / 9 * kFullScale);
}

TEST(Layer2Samples, ScaleFactorSelectionSpreadsIndicesOverTheThreeParts)
{
    struct Case {
        uint32_t Selection;
        std::vector<uint32_t> Indices;
        float Parts[3]; // expected scale of each part relative to index 0
    };
    const Case cases[] = {
        {0, {0, 3, 6}, {1.0f, 0.5f, 0.25f}},
        {1, {0, 3}, {1.0f, 1.0f, 0.5f}},
        {2, {3}, {0.5f, 0.5f, 0.5f}},
        {3, {0, 3}, {1.0f, 0.5f, 0.5f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Selection);
        const auto frame = Layer2MonoFrame(1, 15, c.Selection, c.Indices, [](Layer12FrameWriter& w, int32_t) {
            for (int i = 0; i < 3; ++i)
                w.Put(65534, 16); // 65535 levels: the largest value
        });
        Decoder d(frame);
        ASSERT_GT(d.Decode(frame).InBytes, 0);
        const float top = 32767 * 2.0f / 65535 * kFullScale;
        for (int32_t part = 0; part < 3; ++part)
            for (int32_t slot = 12 * part; slot < 12 * part + 12; ++slot)
                ASSERT_FLOAT_EQ(d.Sample(slot, 1), top * c.Parts[part]) << "slot " << slot;
    }
}

// --- Layer I: one channel, 44.1 kHz, 384 kbit/s -------------------------------------------------

TEST(Layer1Samples, ValuesAreCentredAndScaled)
{
    Layer12FrameWriter w({.LayerBits = 3, .BitrateIndex = 12, .Mode = 3});
    for (int32_t sb = 0; sb < 32; ++sb)
        w.Put(sb == 2 ? 3 : 0, 4); // allocation 3: 4-bit samples
    w.Put(3, 6);                   // scale factor index 3: half scale
    const uint32_t samples[] = {7, 14, 0};
    for (int32_t slot = 0; slot < 12; ++slot)
        w.Put(samples[slot % 3], 4);
    const auto frame = w.Frame();

    Decoder d(frame);
    const TDecodeResult result = d.Decode(frame);
    EXPECT_EQ(result.InBytes, int32_t(frame.size()));
    EXPECT_EQ(result.OutBytes, 384 * 2);
    const float step = 7 * 2.0f / 15 * kFullScale / 2;
    for (int32_t slot = 0; slot < 12; slot += 3) {
        EXPECT_FLOAT_EQ(d.Sample(slot, 2), 0.0f);
        EXPECT_FLOAT_EQ(d.Sample(slot + 1, 2), step);
        EXPECT_FLOAT_EQ(d.Sample(slot + 2, 2), -step);
    }
}

TEST(Layer1Samples, ForbiddenAllocationMakesTheFrameUndecodable)
{
    auto frameWith = [](uint32_t allocation) {
        Layer12FrameWriter w({.LayerBits = 3, .BitrateIndex = 12, .Mode = 3});
        for (int32_t sb = 0; sb < 32; ++sb)
            w.Put(sb == 0 ? 1 : sb == 31 ? allocation : 0, 4);
        w.Put(0, 6);
        for (int32_t slot = 0; slot < 12; ++slot)
            w.Put(2, 2);
        return w.Frame();
    };
    const auto good = frameWith(0);
    const auto bad = frameWith(15);
    Decoder d(good);
    ASSERT_GT(d.Decode(good).InBytes, 0);
    const auto samplesBefore = d.State->Layer12.SubbandSamples;
    const auto historyBefore = d.State->Output.Synthesis.History;

    const std::vector<uint8_t> copy(bad);
    std::vector<uint8_t> pcm(5120, 0xA5);
    const TDecodeResult result = DecodeLayer1Frame(*d.State, copy.data(), pcm.data());
    EXPECT_EQ(result.InBytes, 0);
    EXPECT_EQ(result.OutBytes, 0);
    EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](uint8_t b) { return b == 0xA5; }));
    EXPECT_EQ(d.State->Layer12.SubbandSamples, samplesBefore);
    EXPECT_EQ(d.State->Output.Synthesis.History, historyBefore);
}

// --- Joint stereo ------------------------------------------------------------------------------

TEST(JointStereo, Layer1SharesAllocationAndSamplesAboveTheBound)
{
    // Mode extension 0: subbands 0-3 per channel, from subband 4 one allocation for both.
    Layer12FrameWriter w({.LayerBits = 3, .BitrateIndex = 12, .Mode = 1, .ModeExt = 0});
    for (int32_t sb = 0; sb < 32; ++sb) {
        if (sb < 4) {
            w.Put(sb == 1 ? 1 : 0, 4); // left
            w.Put(0, 4);               // right
        } else {
            w.Put(sb == 5 ? 3 : 0, 4);
        }
    }
    w.Put(0, 6); // subband 1 left
    w.Put(0, 6); // subband 5 left
    w.Put(3, 6); // subband 5 right: half scale
    for (int32_t slot = 0; slot < 12; ++slot) {
        w.Put(2, 2);  // subband 1 left: +1 of 3 levels
        w.Put(14, 4); // subband 5, both channels
    }
    const auto frame = w.Frame();
    Decoder d(frame);
    ASSERT_EQ(d.Decode(frame).InBytes, int32_t(frame.size()));
    const float step = 7 * 2.0f / 15 * kFullScale;
    for (int32_t slot = 0; slot < 12; ++slot) {
        EXPECT_FLOAT_EQ(d.Sample(slot, 2), 2.0f / 3 * kFullScale);
        EXPECT_FLOAT_EQ(d.Sample(slot, 3), 0.0f);
        EXPECT_FLOAT_EQ(d.Sample(slot, 10), step);
        EXPECT_FLOAT_EQ(d.Sample(slot, 11), step / 2);
    }
}

TEST(JointStereo, Layer2SharesAllocationAndSamplesAboveTheBound)
{
    // Two channels at 192 kbit/s, 44.1 kHz: table B; mode extension 0 puts the bound at subband 4.
    Layer12FrameWriter w({.LayerBits = 2, .BitrateIndex = 10, .Mode = 1, .ModeExt = 0});
    for (int32_t sb = 0; sb < 30; ++sb)
        for (int32_t ch = 0; ch < (sb < 4 ? 2 : 1); ++ch)
            w.Put(sb == 5 ? 5 : 0, TableBFieldWidth(sb)); // subband 5, field 5: 15 levels
    w.Put(2, 2);                                          // selections of subband 5, left and right
    w.Put(2, 2);
    w.Put(0, 6);
    w.Put(6, 6); // right at a quarter
    for (int32_t group = 0; group < 12; ++group) {
        w.Put(14, 4);
        w.Put(7, 4);
        w.Put(0, 4);
    }
    const auto frame = w.Frame();
    Decoder d(frame);
    ASSERT_EQ(d.Decode(frame).InBytes, int32_t(frame.size()));
    const float step = 7 * 2.0f / 15 * kFullScale;
    for (int32_t group = 0; group < 12; ++group) {
        EXPECT_FLOAT_EQ(d.Sample(3 * group, 10), step);
        EXPECT_FLOAT_EQ(d.Sample(3 * group, 11), step / 4);
        EXPECT_FLOAT_EQ(d.Sample(3 * group + 1, 11), 0.0f);
        EXPECT_FLOAT_EQ(d.Sample(3 * group + 2, 10), -step);
        EXPECT_FLOAT_EQ(d.Sample(3 * group + 2, 11), -step / 4);
    }
}

// --- Frequency limit -----------------------------------------------------------------------------

TEST(FrequencyLimit, SkipsTheUpperEntriesWithoutLosingThePlace)
{
    // 6000 Hz at 44.1 kHz: 9 subbands, 18 entries; the joint-stereo streams' bound lies below it.
    for (const char* name : {"l1_44k_stereo_448.mp1", "l1_44k_joint1_160.mp1", "l2_44k_stereo_384.mp2",
                             "l2_44k_joint_160.mp2", "l2_44k_mono_80.mp2"}) {
        SCOPED_TRACE(name);
        const auto stream = Fixture(name);
        const auto frames = Frames(stream);
        ASSERT_FALSE(frames.empty());
        Decoder full(stream);
        Decoder limited(stream, 6000);
        const int32_t channels = frames[0].Header.Mode == 3 ? 1 : 2;
        const int32_t limit = 9 * channels;
        EXPECT_EQ(limited.State->Config.SubbandLimit, limit);
        const int32_t slots = frames[0].Header.LayerBits == 3 ? 12 : 36;
        for (const StreamFrame& frame : frames) {
            ASSERT_EQ(full.Decode(frame).InBytes, frame.Padded);
            ASSERT_EQ(limited.Decode(frame).InBytes, frame.Padded);
            for (int32_t slot = 0; slot < slots; ++slot) {
                for (int32_t k = 0; k < limit; ++k)
                    ASSERT_EQ(limited.Sample(slot, k), full.Sample(slot, k))
                        << "slot " << slot << " entry " << k;
                for (int32_t k = limit; k < 64; ++k)
                    ASSERT_EQ(limited.Sample(slot, k), 0.0f);
            }
        }
    }
}

// --- Frames that differ from the stream's first frame -------------------------------------------

// Decodes every frame of `frames` in a stream set up from `streamFirst` and in one set up from
// the frames' own first header; calls `compare` with both decoders after each frame.
template <typename Compare>
void DecodeInBoth(const std::vector<uint8_t>& streamFirst, const std::vector<uint8_t>& own, Compare compare)
{
    Decoder foreign(streamFirst);
    Decoder native(own);
    for (const StreamFrame& frame : Frames(own)) {
        const TDecodeResult result = foreign.Decode(frame);
        ASSERT_EQ(result.InBytes, frame.Padded);
        ASSERT_EQ(result.OutBytes, foreign.State->Config.OutputBytes);
        ASSERT_EQ(native.Decode(frame).InBytes, frame.Padded);
        compare(foreign, native);
    }
}

TEST(ChannelChange, OneChannelFrameIsHeardInBothChannelsOfATwoChannelStream)
{
    for (auto [stereo, mono] : {std::pair{"l2_44k_stereo_192.mp2", "l2_44k_mono_80.mp2"},
                                std::pair{"l1_48k_joint2_192.mp1", "l1_48k_mono_32.mp1"}}) {
        SCOPED_TRACE(mono);
        DecodeInBoth(
            Fixture(stereo), Fixture(mono), [](const Decoder& twoChannels, const Decoder& oneChannel) {
                const size_t values = size_t(oneChannel.State->Info.OutValues);
                int32_t worst = 0;
                for (size_t i = 0; i < values; ++i) {
                    ASSERT_EQ(twoChannels.Pcm16(2 * i), twoChannels.Pcm16(2 * i + 1));
                    worst = std::max(worst, std::abs(twoChannels.Pcm16(2 * i) - oneChannel.Pcm16(i)));
                }
                EXPECT_LE(worst, 1);
            });
    }
}

TEST(ChannelChange, TwoChannelFrameGivesItsLeftChannelToAOneChannelStream)
{
    for (auto [mono, stereo] : {std::pair{"l2_44k_mono_80.mp2", "l2_44k_stereo_192.mp2"},
                                std::pair{"l2_44k_mono_80.mp2", "l2_44k_joint_160.mp2"},
                                std::pair{"l1_48k_mono_32.mp1", "l1_48k_joint2_192.mp1"}}) {
        SCOPED_TRACE(stereo);
        DecodeInBoth(
            Fixture(mono), Fixture(stereo), [](const Decoder& oneChannel, const Decoder& twoChannels) {
                const size_t values = size_t(oneChannel.State->Info.OutValues);
                int32_t worst = 0;
                for (size_t i = 0; i < values; ++i)
                    worst = std::max(worst, std::abs(oneChannel.Pcm16(i) - twoChannels.Pcm16(2 * i)));
                EXPECT_LE(worst, 1);
            });
    }
}

TEST(ChannelChange, NarrowerFrameClearsWhatTheWiderOneLeft)
{
    // Table B codes 30 subbands per channel, table A 27: a one-channel table-A frame after a
    // two-channel table-B frame must leave entries 54-63 silent, not repeat the earlier frame.
    const auto stereo = Fixture("l2_44k_stereo_384.mp2");
    const auto mono = Fixture("l2_44k_mono_80.mp2");
    Decoder d(stereo);
    const auto stereoFrames = Frames(stereo);
    ASSERT_EQ(d.Decode(stereoFrames[5]).InBytes, stereoFrames[5].Padded);
    bool upperUsed = false;
    for (int32_t slot = 0; slot < 36; ++slot)
        for (int32_t k = 54; k < 60; ++k)
            upperUsed |= d.Sample(slot, k) != 0.0f;
    ASSERT_TRUE(upperUsed) << "the fixture should use the top subbands";

    const auto monoFrame = Frames(mono)[5];
    ASSERT_EQ(d.Decode(monoFrame).InBytes, monoFrame.Padded);
    for (int32_t slot = 0; slot < 36; ++slot) {
        for (int32_t k = 0; k < 54; k += 2)
            ASSERT_EQ(d.Sample(slot, k), d.Sample(slot, k + 1));
        for (int32_t k = 54; k < 64; ++k)
            ASSERT_EQ(d.Sample(slot, k), 0.0f) << "slot " << slot << " entry " << k;
    }
}

TEST(BitRateChange, EachFrameUsesTheAllocationTableOfItsOwnBitRate)
{
    // 160 kbit/s two-channel frames use table A, the stream's first frame (192 kbit/s) table B.
    DecodeInBoth(Fixture("l2_44k_stereo_192.mp2"), Fixture("l2_44k_joint_160.mp2"),
                 [](const Decoder& foreign, const Decoder& native) {
                     EXPECT_EQ(foreign.State->Layer12.SubbandSamples, native.State->Layer12.SubbandSamples);
                 });
}

// --- Frames that cannot be decoded ---------------------------------------------------------------

TDecodeResult DecodeUntouched(DecoderState& state, TFrameRoutine routine, const std::vector<uint8_t>& frame)
{
    std::vector<uint8_t> pcm(5120, 0x5A);
    const TDecodeResult result = routine(state, frame.data(), pcm.data());
    if (result.InBytes == 0) {
        EXPECT_TRUE(std::all_of(pcm.begin(), pcm.end(), [](uint8_t b) { return b == 0x5A; }));
    }
    return result;
}

TEST(UndecodableFrames, WrongSyncLayerOrNoSetUp)
{
    const auto lsf = Fixture("l2_22k_stereo_96.mp2");
    const auto frames = Frames(lsf);
    std::vector<uint8_t> frame(frames[0].Data, frames[0].Data + frames[0].Padded);
    Decoder d(lsf);
    EXPECT_EQ(DecodeUntouched(*d.State, DecodeLayer2Frame, frame).InBytes, frames[0].Padded);

    std::vector<uint8_t> lowerSync = frame;
    lowerSync[1] &= 0xEF; // 0xFFE: the MPEG-2.5 sync
    EXPECT_EQ(DecodeUntouched(*d.State, DecodeLayer2Frame, lowerSync).InBytes, 0);
    EXPECT_EQ(DecodeUntouched(*d.State, DecodeLayer1Frame, frame).InBytes, 0);

    auto fresh = NewDecoderState();
    EXPECT_EQ(DecodeUntouched(*fresh, DecodeLayer2Frame, frame).InBytes, 0);

    // A failed set-up leaves nothing of the earlier stream to decode with.
    TMPFrameHeader refused = frames[0].Header;
    refused.Id = 1;
    refused.BitrateIndex = 1; // MPEG-1 Layer II at 32 kbit/s in stereo
    ASSERT_EQ(InitLayer12(*d.State, refused, 104), 0);
    EXPECT_EQ(DecodeUntouched(*d.State, DecodeLayer2Frame, frame).InBytes, 0);
}

TEST(UndecodableFrames, ContentLongerThanTheFrame)
{
    // Layer I, one channel, 32 kbit/s at 44.1 kHz: 32 bytes, 224 bits after the header.
    auto layer1 = [](uint32_t allocation) {
        Layer12FrameWriter w({.LayerBits = 3, .BitrateIndex = 1, .Mode = 3});
        for (int32_t sb = 0; sb < 32; ++sb)
            w.Put(sb == 0 ? allocation : 0, 4);
        return w.Frame();
    };
    const auto fits = layer1(2); // 6 + 12 * 3 bits
    ASSERT_EQ(fits.size(), 32u);
    Decoder d1(fits);
    EXPECT_EQ(DecodeUntouched(*d1.State, DecodeLayer1Frame, fits).InBytes, 32);
    EXPECT_EQ(DecodeUntouched(*d1.State, DecodeLayer1Frame, layer1(14)).InBytes, 0);

    // Layer II at 8 kbit/s, 16 kHz, one channel: 72 bytes; every subband at its finest.
    Layer12FrameWriter w({.Id = 0, .LayerBits = 2, .BitrateIndex = 1, .SampleRateIndex = 2, .Mode = 3});
    for (int32_t sb = 0; sb < 30; ++sb)
        w.Put(sb < 4 ? 15 : sb < 11 ? 7 : 3, sb < 4 ? 4 : sb < 11 ? 3 : 2);
    const auto greedy = w.Frame();
    ASSERT_EQ(greedy.size(), 72u);
    Decoder d2(greedy);
    EXPECT_EQ(DecodeUntouched(*d2.State, DecodeLayer2Frame, greedy).InBytes, 0);
}

TEST(UndecodableFrames, RandomContentStaysInsideTheFrameAndTheBuffers)
{
    // Every frame is copied into a buffer of exactly its length, so a sanitizer build catches
    // any read beyond; the PCM buffer's tail must stay untouched.
    std::mt19937 random(12345);
    for (const char* name :
         {"l1_44k_stereo_448.mp1", "l1_32k_joint0_128.mp1", "l1_48k_mono_32.mp1", "l2_16k_mono_8.mp2",
          "l2_44k_joint_160.mp2", "l2_48k_mono_48.mp2", "l2_32k_stereo_96.mp2"}) {
        SCOPED_TRACE(name);
        const auto stream = Fixture(name);
        const StreamFrame first = Frames(stream)[0];
        Decoder d(stream);
        const TFrameRoutine routine = first.Header.LayerBits == 3 ? DecodeLayer1Frame : DecodeLayer2Frame;
        const size_t outputBytes = size_t(d.State->Config.OutputBytes);
        for (int trial = 0; trial < 300; ++trial) {
            std::vector<uint8_t> frame(first.Data, first.Data + 4);
            frame[3] = uint8_t(random()); // any mode and mode extension
            TMPFrameHeader header;
            const int32_t padded = PaddedFrameLength(header, ParseFrameHeader(frame.data(), 0, header));
            frame.resize(size_t(padded));
            for (size_t i = 4; i < frame.size(); ++i)
                frame[i] = uint8_t(random() & (trial % 3 == 0 ? 0xFF : 0x0F)); // also mostly small fields
            std::vector<uint8_t> pcm(outputBytes + 64, 0xC3);
            const TDecodeResult result = routine(*d.State, frame.data(), pcm.data());
            ASSERT_TRUE(result.InBytes == 0 || result.InBytes == padded) << result.InBytes;
            for (size_t i = outputBytes; i < pcm.size(); ++i)
                ASSERT_EQ(pcm[i], 0xC3);
        }
    }
}

} // namespace
} // namespace pt4::test
