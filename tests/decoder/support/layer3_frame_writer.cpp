#include "decoder/support/layer3_frame_writer.h"

#include "mp3plyr/decoder/layer3_tables.h"

#include <stdexcept>

namespace pt4::test {
namespace {

class BitWriter {
public:
    void Put(uint32_t value, int32_t bits)
    {
        for (int32_t i = bits - 1; i >= 0; --i) {
            if (count_ % 8 == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= static_cast<uint8_t>(0x80 >> (count_ % 8));
            ++count_;
        }
    }
    int32_t Count() const { return count_; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    int32_t count_ = 0;
};

constexpr int32_t kBitrates[2][16] = {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
                                      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}};
constexpr int32_t kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

// Scale factors and quads of one granule-channel; returns the bits written.
int32_t WriteMainData(BitWriter& out, const FrameSpec& spec, const GranuleChannelSpec& gc, int granule,
                      int channel)
{
    const int32_t start = out.Count();
    if (spec.Mpeg1 && gc.BlockType != 2) {
        const auto [slen1, slen2] = kMpeg1ScaleFactorLengths[static_cast<size_t>(gc.ScalefacCompress)];
        constexpr int kGroupStart[5] = {0, 6, 11, 16, 21};
        for (int group = 0; group < 4; ++group) {
            if (granule == 1 && (spec.Scfsi[static_cast<size_t>(channel)] & (8 >> group)))
                continue;
            for (int band = kGroupStart[group]; band < kGroupStart[group + 1]; ++band)
                out.Put(static_cast<uint32_t>(gc.LongScaleFactors[static_cast<size_t>(band)]),
                        group < 2 ? slen1 : slen2);
        }
    }
    for (size_t q = 0; q + 3 < gc.Quads.size(); q += 4) {
        uint32_t pattern = 0;
        for (int i = 0; i < 4; ++i)
            pattern |= (gc.Quads[q + static_cast<size_t>(i)] != 0 ? 8u : 0u) >> i;
        out.Put(pattern ^ 15, 4);
        for (int i = 0; i < 4; ++i)
            if (gc.Quads[q + static_cast<size_t>(i)] != 0)
                out.Put(gc.Quads[q + static_cast<size_t>(i)] < 0 ? 1 : 0, 1);
    }
    return out.Count() - start;
}

void WriteGranuleInfo(BitWriter& out, const FrameSpec& spec, const GranuleChannelSpec& gc, int32_t part23)
{
    out.Put(static_cast<uint32_t>(part23), 12);
    out.Put(static_cast<uint32_t>(gc.BigValues), 9);
    out.Put(static_cast<uint32_t>(gc.GlobalGain), 8);
    out.Put(static_cast<uint32_t>(gc.ScalefacCompress), spec.Mpeg1 ? 4 : 9);
    out.Put(gc.BlockType != 0 ? 1 : 0, 1);
    if (gc.BlockType != 0) {
        out.Put(static_cast<uint32_t>(gc.BlockType), 2);
        out.Put(static_cast<uint32_t>(gc.MixedBlock), 1);
        out.Put(static_cast<uint32_t>(gc.TableSelect[0]), 5);
        out.Put(static_cast<uint32_t>(gc.TableSelect[1]), 5);
        out.Put(0, 9); // subblock gains
    } else {
        for (int32_t table : gc.TableSelect)
            out.Put(static_cast<uint32_t>(table), 5);
        out.Put(0, 4); // region0_count
        out.Put(0, 3); // region1_count
    }
    if (spec.Mpeg1)
        out.Put(0, 1); // preflag
    out.Put(0, 1);     // scalefac_scale
    out.Put(1, 1);     // count1table_select: table B
}

} // namespace

std::vector<uint8_t> BuildLayer3Frame(const FrameSpec& spec)
{
    const int version = spec.Mpeg1 ? 0 : (spec.Mpeg25 ? 2 : 1);
    const int32_t channels = spec.Mode == 3 ? 1 : 2;
    const int32_t granules = spec.Mpeg1 ? 2 : 1;

    BitWriter main;
    for (uint8_t byte : spec.MainDataPrefix)
        main.Put(byte, 8);
    int32_t part23[2][2] = {};
    for (int g = 0; g < granules; ++g)
        for (int ch = 0; ch < channels; ++ch)
            part23[g][ch] =
                WriteMainData(main, spec, spec.Granules[static_cast<size_t>(g)][static_cast<size_t>(ch)], g,
                              ch) +
                spec.Granules[static_cast<size_t>(g)][static_cast<size_t>(ch)].Part23Extra;

    BitWriter head;
    head.Put(spec.Mpeg25 ? 0xFFE : 0xFFF, 12);
    head.Put(spec.Mpeg1 ? 1 : 0, 1);
    head.Put(1, 2); // Layer III
    head.Put(spec.Crc ? 0 : 1, 1);
    head.Put(static_cast<uint32_t>(spec.BitrateIndex), 4);
    head.Put(static_cast<uint32_t>(spec.SampleRateIndex), 2);
    head.Put(static_cast<uint32_t>(spec.Padding), 1);
    head.Put(0, 1);
    head.Put(static_cast<uint32_t>(spec.Mode), 2);
    head.Put(static_cast<uint32_t>(spec.ModeExt), 2);
    head.Put(0, 4);
    if (spec.Crc)
        head.Put(0xBEEF, 16);
    head.Put(static_cast<uint32_t>(spec.MainDataBegin), spec.Mpeg1 ? 9 : 8);
    head.Put(0, spec.Mpeg1 ? (channels == 1 ? 5 : 3) : (channels == 1 ? 1 : 2));
    if (spec.Mpeg1)
        for (int ch = 0; ch < channels; ++ch)
            head.Put(static_cast<uint32_t>(spec.Scfsi[static_cast<size_t>(ch)]), 4);
    for (int g = 0; g < granules; ++g)
        for (int ch = 0; ch < channels; ++ch)
            WriteGranuleInfo(head, spec, spec.Granules[static_cast<size_t>(g)][static_cast<size_t>(ch)],
                             part23[g][ch]);

    const int32_t k = kBitrates[spec.Mpeg1 ? 1 : 0][spec.BitrateIndex];
    const int32_t rate = kRates[version][spec.SampleRateIndex];
    const int32_t samples = spec.Mpeg1 ? 1152 : 576;
    const int32_t length = samples / 8 * k * 1000 / rate + spec.Padding;

    std::vector<uint8_t> frame = head.Bytes();
    frame.insert(frame.end(), main.Bytes().begin(), main.Bytes().end());
    if (static_cast<int32_t>(frame.size()) > length)
        throw std::length_error("main data does not fit the frame");
    frame.resize(static_cast<size_t>(length), 0);
    return frame;
}

FrameSpec ToneFrame(int32_t mode, const std::vector<int32_t>& left, const std::vector<int32_t>& right)
{
    FrameSpec spec;
    spec.Mode = mode;
    for (auto& granule : spec.Granules) {
        granule[0].Quads = left;
        granule[1].Quads = right;
    }
    return spec;
}

std::vector<int32_t> PatternQuads(int32_t lines, uint32_t seed)
{
    std::vector<int32_t> values(static_cast<size_t>(lines));
    uint32_t state = seed * 2654435761u + 1;
    for (auto& v : values) {
        state = state * 1103515245u + 12345u;
        v = static_cast<int32_t>((state >> 16) % 3) - 1;
    }
    return values;
}

} // namespace pt4::test
