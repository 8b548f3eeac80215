// Layer III through the decoder's entries: initialisation results, the reservoir, frames whose
// channel count differs from the stream's, and hostile side information.
#include "decoder/support/layer12_streams.h"
#include "decoder/support/layer3_frame_writer.h"
#include "decoder/support/layer3_streams.h"

#include "mp3plyr/decoder/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

namespace pt4::test {
namespace {

TMPFrameHeader HeaderOf(const std::vector<uint8_t>& frame)
{
    TMPFrameHeader header;
    ParseFrameHeader(frame.data(), 0, header);
    return header;
}

int32_t LengthOf(const std::vector<uint8_t>& frame)
{
    TMPFrameHeader header;
    return ParseFrameHeader(frame.data(), 0, header);
}

std::vector<uint8_t> Concatenate(const std::vector<std::vector<uint8_t>>& frames)
{
    std::vector<uint8_t> stream;
    for (const auto& frame : frames)
        stream.insert(stream.end(), frame.begin(), frame.end());
    return stream;
}

// Samples of one channel of interleaved two-channel PCM.
std::vector<int16_t> Channel(const std::vector<int16_t>& stereo, int channel)
{
    std::vector<int16_t> out;
    for (size_t i = static_cast<size_t>(channel); i < stereo.size(); i += 2)
        out.push_back(stereo[i]);
    return out;
}

bool AllZero(const std::vector<int16_t>& samples)
{
    return std::all_of(samples.begin(), samples.end(), [](int16_t v) { return v == 0; });
}

// ---------------------------------------------------------------------------------------------
// Initialisation

struct InitCase {
    const char* Name;
    std::vector<uint8_t> HeaderBytes;
    int32_t Reduction, Convert, FrequencyLimit;
    TDecoderInfo Expected;
    int32_t BandLimit;
};

TEST(Layer3Init, ReportsThePcmFormatAndLimitsOfTheStream)
{
    const InitCase cases[] = {
        // MPEG-1 44.1 kHz stereo: all 32 subbands at the full rate.
        {"mpeg1 stereo", {0xFF, 0xFB, 0x90, 0x04}, 0, 0, 24000, {2, 2304, 44100, 16, 417}, 576},
        {"mpeg2 22.05 stereo", {0xFF, 0xF3, 0x80, 0x04}, 0, 0, 24000, {2, 1152, 22050, 16, 208}, 576},
        {"mpeg2.5 8 kHz mono", {0xFF, 0xE3, 0x18, 0xC4}, 0, 0, 24000, {1, 576, 8000, 16, 72}, 576},
        {"half rate, left only, 8-bit",
         {0xFF, 0xFB, 0x90, 0x04},
         1,
         8 | 2,
         24000,
         {1, 576, 22050, 8, 417},
         270},
        {"a reduction past a quarter acts as a quarter",
         {0xFF, 0xFB, 0x90, 0xC4},
         5,
         0,
         24000,
         {1, 288, 11025, 16, 417},
         144},
        // A limit of 0 acts as 1000 Hz: (1000 * 64 + 22050) / 44100 = 1 subband.
        {"frequency limit 0", {0xFF, 0xFB, 0x90, 0xC4}, 0, 0, 0, {1, 1152, 44100, 16, 417}, 18},
    };
    for (const InitCase& c : cases) {
        SCOPED_TRACE(c.Name);
        auto state = std::make_unique<DecoderState>();
        TMPFrameHeader header;
        const int32_t length = ParseFrameHeader(c.HeaderBytes.data(), 0, header);
        ASSERT_GT(length, 0);
        ASSERT_EQ(
            DecoderInit(*state, header, length, OutputOptions(c.Reduction, c.Convert, c.FrequencyLimit)), 1);
        TDecoderInfo info;
        GetDecoderInfo(*state, info);
        EXPECT_EQ(info.Channels, c.Expected.Channels);
        EXPECT_EQ(info.OutValues, c.Expected.OutValues);
        EXPECT_EQ(info.SampleRate, c.Expected.SampleRate);
        EXPECT_EQ(info.Bits, c.Expected.Bits);
        EXPECT_EQ(info.FrameBytes, c.Expected.FrameBytes);
        EXPECT_EQ(state->Layer3.Layout.BandLimit, c.BandLimit);
        EXPECT_EQ(state->Config.OutputBytes, info.OutValues * info.Bits / 8);
        EXPECT_EQ(state->Config.SilenceValue, info.Bits == 8 ? 128 : 0);
    }
}

// A refused initialisation leaves a decoder that decodes nothing, whether or not an earlier
// one had succeeded.
TEST(Layer3Init, RefusesAReservedSamplingRateAndThenDecodesNothing)
{
    const std::vector<uint8_t> frame = BuildLayer3Frame(FrameSpec{});
    TMPFrameHeader header;
    const uint8_t bytes[4] = {0xFF, 0xFB, 0x9C, 0xC4}; // sampling-rate index 3
    ParseFrameHeader(bytes, 0, header);
    for (const bool initialisedBefore : {false, true}) {
        auto state = std::make_unique<DecoderState>();
        if (initialisedBefore) {
            ASSERT_EQ(DecoderInit(*state, HeaderOf(frame), LengthOf(frame)), 1);
        }
        EXPECT_EQ(DecoderInit(*state, header, 417), 0);
        std::vector<uint8_t> pcm(4608, 0xAA);
        const TDecodeResult result =
            DecodeFrameCopy(*state, frame.data(), static_cast<int32_t>(frame.size()), pcm.data());
        EXPECT_EQ(result.InBytes, 0);
        EXPECT_EQ(result.OutBytes, 0);
    }
}

TEST(Layer3Init, DecodeFrameBeforeAnyInitialisationDecodesNothing)
{
    auto state = std::make_unique<DecoderState>();
    const std::vector<uint8_t> frame = BuildLayer3Frame(FrameSpec{});
    std::vector<uint8_t> pcm(4608, 0xAA);
    const TDecodeResult result =
        DecodeFrameCopy(*state, frame.data(), static_cast<int32_t>(frame.size()), pcm.data());
    EXPECT_EQ(result.InBytes, 0);
    EXPECT_EQ(result.OutBytes, 0);
}

// ---------------------------------------------------------------------------------------------
// Reservoir

TEST(Layer3Reservoir, FrameReferringToMissingMainDataIsSilentThenDecodingResumes)
{
    for (const int32_t convert : {0, 8}) {
        SCOPED_TRACE(convert);
        // The first frame points 100 bytes back, before the start of the stream.
        FrameSpec first = ToneFrame(3, PatternQuads(64, 1));
        first.MainDataBegin = 100;
        first.MainDataPrefix.assign(100, 0);
        FrameSpec second = ToneFrame(3, PatternQuads(64, 2));
        const std::vector<uint8_t> a = BuildLayer3Frame(first), b = BuildLayer3Frame(second);

        auto state = std::make_unique<DecoderState>();
        ASSERT_EQ(DecoderInit(*state, HeaderOf(a), LengthOf(a), OutputOptions(0, convert)), 1);
        std::vector<uint8_t> pcm(4608, 0x55);
        TDecodeResult result = DecodeFrameCopy(*state, a.data(), static_cast<int32_t>(a.size()), pcm.data());
        EXPECT_EQ(result.InBytes, static_cast<int32_t>(a.size()));
        EXPECT_EQ(result.OutBytes, state->Config.OutputBytes);
        const uint8_t silence = convert == 8 ? 128 : 0;
        EXPECT_TRUE(
            std::all_of(pcm.begin(), pcm.begin() + result.OutBytes, [&](uint8_t v) { return v == silence; }));
        // The frame's own main data went into the reservoir all the same.
        EXPECT_EQ(state->Layer3.Reservoir.WritePosition, static_cast<int32_t>(a.size()) - 21);

        result = DecodeFrameCopy(*state, b.data(), static_cast<int32_t>(b.size()), pcm.data());
        EXPECT_EQ(result.InBytes, static_cast<int32_t>(b.size()));
        EXPECT_FALSE(
            std::all_of(pcm.begin(), pcm.begin() + result.OutBytes, [&](uint8_t v) { return v == silence; }));
    }
}

TEST(Layer3Reservoir, MainDataBeginReachesIntoTheFrameBefore)
{
    // Frame 2 keeps its first granule's data at the end of frame 1: decoding it gives the same
    // PCM as a frame that carries everything itself.
    FrameSpec carrier = ToneFrame(3, {});
    const std::vector<int32_t> quads = PatternQuads(96, 7);
    FrameSpec self = ToneFrame(3, quads);
    const std::vector<uint8_t> own = BuildLayer3Frame(self);
    // The main data of `self` starts at byte 21; split it: the first 40 bytes go to frame 1.
    std::vector<uint8_t> lead(own.begin() + 21, own.begin() + 61);
    carrier.MainDataPrefix.clear();
    std::vector<uint8_t> frame1 = BuildLayer3Frame(carrier);
    std::copy(lead.begin(), lead.end(), frame1.end() - 40);
    std::vector<uint8_t> frame2 = own;
    frame2[4] = static_cast<uint8_t>(40 >> 1); // main_data_begin = 40 (9 bits over bytes 4-5)
    frame2[5] = static_cast<uint8_t>((frame2[5] & 0x7F) | ((40 & 1) << 7));
    std::copy(own.begin() + 61, own.end(), frame2.begin() + 21);
    std::fill(frame2.end() - 40, frame2.end(), 0);

    const Layer3Decoding split = DecodeLayer3Stream(Concatenate({frame1, frame2}));
    const Layer3Decoding whole = DecodeLayer3Stream(Concatenate({BuildLayer3Frame(carrier), own}));
    ASSERT_EQ(split.Failures, 0);
    ASSERT_EQ(split.Pcm.size(), whole.Pcm.size());
    EXPECT_EQ(split.Pcm, whole.Pcm);
    EXPECT_FALSE(AllZero(Pcm16(split.Pcm)));
}

TEST(Layer3Reservoir, CompactsBeforeItOverflowsAndKeepsTheReferencedBytes)
{
    // 32 kHz at 320 kbit/s: 1440-byte frames, each referring 300 bytes back.
    FrameSpec spec = ToneFrame(3, {});
    spec.BitrateIndex = 14;
    spec.SampleRateIndex = 2;
    spec.MainDataBegin = 300;
    const std::vector<uint8_t> frame = BuildLayer3Frame(spec);
    const int32_t mainBytes = static_cast<int32_t>(frame.size()) - 21;

    auto state = std::make_unique<DecoderState>();
    ASSERT_EQ(DecoderInit(*state, HeaderOf(frame), LengthOf(frame)), 1);
    std::vector<uint8_t> pcm(4608);
    bool compacted = false;
    for (int i = 0; i < 40; ++i) {
        const int32_t before = state->Layer3.Reservoir.WritePosition;
        const TDecodeResult result =
            DecodeFrameCopy(*state, frame.data(), static_cast<int32_t>(frame.size()), pcm.data());
        ASSERT_EQ(result.InBytes, static_cast<int32_t>(frame.size()));
        const int32_t after = state->Layer3.Reservoir.WritePosition;
        if (before > kReservoirCompactAt) {
            EXPECT_EQ(after, spec.MainDataBegin + mainBytes);
            compacted = true;
        } else {
            EXPECT_EQ(after, before + mainBytes);
        }
        EXPECT_LE(after, kReservoirCapacity);
    }
    EXPECT_TRUE(compacted);
}

TEST(Layer3Reservoir, FrameTooShortForItsSideInformationIsRefused)
{
    // An MPEG-2 24 kHz 8 kbit/s header (24-byte frame) reaching the MPEG-1 routine: its 36 bytes
    // of MPEG-1 side information cannot be in the frame.
    const std::vector<uint8_t> mpeg1 = BuildLayer3Frame(ToneFrame(0, {}, {}));
    auto state = std::make_unique<DecoderState>();
    ASSERT_EQ(DecoderInit(*state, HeaderOf(mpeg1), LengthOf(mpeg1)), 1);
    std::vector<uint8_t> shortFrame = {0xFF, 0xF3, 0x14, 0x04};
    shortFrame.resize(24, 0xFF);
    std::vector<uint8_t> pcm(4608);
    const TDecodeResult result = DecodeFrameCopy(*state, shortFrame.data(), 24, pcm.data());
    EXPECT_EQ(result.InBytes, 0);
    EXPECT_EQ(result.OutBytes, 0);
}

// ---------------------------------------------------------------------------------------------
// Frames whose channel count differs from the stream's

TEST(Layer3ChannelChange, OneChannelFrameInATwoChannelStreamIsHeardInBoth)
{
    // Frame 0 has different content in its two channels; the mono frames after it must not
    // let the right channel replay the stale lines of frame 0.
    std::vector<std::vector<uint8_t>> frames = {
        BuildLayer3Frame(ToneFrame(0, PatternQuads(64, 1), PatternQuads(128, 2)))};
    for (uint32_t i = 0; i < 6; ++i)
        frames.push_back(BuildLayer3Frame(ToneFrame(3, PatternQuads(64, 10 + i))));
    const Layer3Decoding stereo = DecodeLayer3Stream(Concatenate(frames));
    ASSERT_EQ(stereo.Failures, 0);
    ASSERT_EQ(stereo.Info.Channels, 2);
    const std::vector<int16_t> pcm = Pcm16(stereo.Pcm);
    const std::vector<int16_t> left = Channel(pcm, 0), right = Channel(pcm, 1);
    // From frame 2 on, the overlap and the synthesis history of frame 0 are gone.
    const size_t from = 2 * 1152;
    EXPECT_FALSE(AllZero({left.begin() + from, left.end()}));
    EXPECT_EQ(std::vector<int16_t>(left.begin() + from, left.end()),
              std::vector<int16_t>(right.begin() + from, right.end()));

    // Mixed to one channel, the mono frames keep their level: both halves add up.
    const Layer3Decoding mixed = DecodeLayer3Stream(Concatenate(frames), 0, 1);
    const std::vector<int16_t> mix = Pcm16(mixed.Pcm);
    for (size_t i = from; i < mix.size(); ++i)
        ASSERT_NEAR(mix[i], left[i], 1) << i;
    // Right only hears the mono frames too.
    const Layer3Decoding rightOnly = DecodeLayer3Stream(Concatenate(frames), 0, 3);
    const std::vector<int16_t> r = Pcm16(rightOnly.Pcm);
    for (size_t i = from; i < r.size(); ++i)
        ASSERT_NEAR(r[i], right[i], 1) << i;
}

TEST(Layer3ChannelChange, TwoChannelFrameInAOneChannelStreamIsHeardAsItsLeftChannel)
{
    const std::vector<int32_t> a = PatternQuads(64, 3), b = PatternQuads(64, 4), c = PatternQuads(128, 5);
    const std::vector<uint8_t> mono1 = BuildLayer3Frame(ToneFrame(3, a));
    const std::vector<uint8_t> mono2 = BuildLayer3Frame(ToneFrame(3, b));
    const std::vector<uint8_t> stereo = BuildLayer3Frame(ToneFrame(0, b, c));
    const Layer3Decoding withStereo = DecodeLayer3Stream(Concatenate({mono1, stereo, mono1}));
    const Layer3Decoding allMono = DecodeLayer3Stream(Concatenate({mono1, mono2, mono1}));
    ASSERT_EQ(withStereo.Failures, 0);
    ASSERT_EQ(withStereo.Info.Channels, 1);
    EXPECT_EQ(withStereo.Pcm, allMono.Pcm);
}

// ---------------------------------------------------------------------------------------------
// Hostile side information

TEST(Layer3Hostile, IntensityPositionsAboveSevenActLikeSeven)
{
    // Joint stereo with mid/side and intensity; the right channel codes no values, so every
    // band above band 0 is intensity-coded with the position in its scale factor.
    auto build = [](int32_t position) {
        FrameSpec spec = ToneFrame(1, PatternQuads(160, 9), {});
        spec.ModeExt = 3;
        for (auto& granule : spec.Granules) {
            granule[1].ScalefacCompress = 15; // slen1 4, slen2 3
            granule[1].LongScaleFactors.fill(std::min(position, 7));
            for (int band = 0; band < 11; ++band)
                granule[1].LongScaleFactors[static_cast<size_t>(band)] = position;
        }
        return BuildLayer3Frame(spec);
    };
    const Layer3Decoding nine = DecodeLayer3Stream(Concatenate({build(9), build(9)}));
    const Layer3Decoding fifteen = DecodeLayer3Stream(Concatenate({build(15), build(15)}));
    const Layer3Decoding seven = DecodeLayer3Stream(Concatenate({build(7), build(7)}));
    const Layer3Decoding six = DecodeLayer3Stream(Concatenate({build(6), build(6)}));
    ASSERT_EQ(nine.Failures, 0);
    EXPECT_EQ(nine.Pcm, seven.Pcm);
    EXPECT_EQ(fifteen.Pcm, seven.Pcm);
    EXPECT_NE(six.Pcm, seven.Pcm);
    EXPECT_FALSE(AllZero(Channel(Pcm16(seven.Pcm), 1)));
}

TEST(Layer3Hostile, RandomSideInformationDecodesWithinBounds)
{
    // Valid headers of every version and mode followed by random bytes: every frame is consumed
    // whole and yields one frame of PCM (sound or silence), with part2_3_length, big_values,
    // table_select, region counts and main_data_begin taking any value.
    std::mt19937 random(1234);
    const std::vector<std::vector<uint8_t>> headers = {{0xFF, 0xFB, 0x90, 0x00}, {0xFF, 0xFB, 0x90, 0x44},
                                                       {0xFF, 0xFB, 0x90, 0x74}, {0xFF, 0xFB, 0x90, 0xC4},
                                                       {0xFF, 0xFA, 0x90, 0x64}, {0xFF, 0xF3, 0x90, 0x74},
                                                       {0xFF, 0xF2, 0x90, 0xC4}, {0xFF, 0xE3, 0x80, 0x74}};
    for (const auto& header : headers) {
        TMPFrameHeader parsed;
        const int32_t length = ParseFrameHeader(header.data(), 0, parsed);
        const int32_t padded = PaddedFrameLength(parsed, length);
        auto state = std::make_unique<DecoderState>();
        ASSERT_EQ(DecoderInit(*state, parsed, length), 1);
        std::vector<uint8_t> pcm(4608);
        for (int i = 0; i < 300; ++i) {
            std::vector<uint8_t> frame(static_cast<size_t>(padded));
            for (auto& byte : frame)
                byte = static_cast<uint8_t>(random());
            std::copy(header.begin(), header.end(), frame.begin());
            const TDecodeResult result = DecodeFrameCopy(*state, frame.data(), padded, pcm.data());
            ASSERT_EQ(result.InBytes, padded);
            ASSERT_EQ(result.OutBytes, state->Config.OutputBytes);
            ASSERT_LE(state->Layer3.Reservoir.WritePosition, kReservoirCapacity);
        }
    }
}

TEST(Layer3Hostile, GranuleChannelReadingPastItsDataIsSilentAndTheNextRecovers)
{
    // Granule 0 claims 100 big-value pairs of table 1 but holds only a few count-1 quads: its
    // decoder runs far past its part2_3_length. Granule 1 starts where part2_3_length says
    // and decodes as if granule 0 had coded nothing.
    FrameSpec damaged = ToneFrame(3, PatternQuads(16, 12));
    damaged.Granules[1][0].Quads = PatternQuads(64, 13);
    damaged.Granules[0][0].BigValues = 100;
    damaged.Granules[0][0].TableSelect = {1, 1, 1};
    FrameSpec empty = damaged;
    empty.Granules[0][0] = GranuleChannelSpec{};
    const Layer3Decoding decoded = DecodeLayer3Stream(BuildLayer3Frame(damaged));
    const Layer3Decoding expected = DecodeLayer3Stream(BuildLayer3Frame(empty));
    ASSERT_EQ(decoded.Failures, 0);
    EXPECT_EQ(decoded.Pcm, expected.Pcm);
    EXPECT_FALSE(AllZero(Pcm16(decoded.Pcm)));
}

// ---------------------------------------------------------------------------------------------
// Line equalizer

TEST(Layer3LineEqualizer, GainsActOnTheLinesOnlyWhileSwitchedOn)
{
    const std::vector<uint8_t> stream =
        ReadBinaryFile(std::string(PT4_SOURCE_DIR) + "/tests/fixtures/layer3/l3_44k_joint_128.mp3");
    ASSERT_FALSE(stream.empty());
    const std::vector<int16_t> plain = Pcm16(DecodeLayer3Stream(stream).Pcm);

    auto state = std::make_unique<DecoderState>();
    for (auto& gain : state->Output.Equalizer.FrequencyEqualizerGains)
        gain = 0.5f;
    const std::vector<int16_t> off = Pcm16(DecodeLayer3Stream(stream, 0, 0, state.get()).Pcm);
    EXPECT_EQ(off, plain);

    state->Output.Equalizer.FrequencyEqualizerOn = 1;
    const std::vector<int16_t> halved = Pcm16(DecodeLayer3Stream(stream, 0, 0, state.get()).Pcm);
    ASSERT_EQ(halved.size(), plain.size());
    for (size_t i = 0; i < plain.size(); ++i)
        ASSERT_LE(std::abs(2 * halved[i] - plain[i]), 2) << i;
    EXPECT_NE(halved, plain);
}

} // namespace
} // namespace pt4::test
