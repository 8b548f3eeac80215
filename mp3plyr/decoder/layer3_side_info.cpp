// Layer III header remainder and side information.
#include "mp3plyr/decoder/layer3_stages.h"

namespace pt4 {

void ReadLayer3Header(const TMPFrameHeader& header, Layer3SideInfo& side)
{
    side.Id = header.Id;
    side.SampleRateIndex = header.SampleRateIndex;
    side.Padding = header.Padding;
    side.Mode = header.Mode;
    side.ModeExt = header.Mode == 1 ? header.ModeExt : 0;
    side.MsStereo = (side.ModeExt & 2) != 0;
    side.IntensityStereo = (side.ModeExt & 1) != 0;
    side.CrcBytes = header.Protection == 0 ? 2 : 0;
    side.Channels = Channels(header);
    if (header.BitrateIndex != 0) // free format keeps the length the set-up measured
        side.FrameLength = FrameLength(header);
}

int32_t SideInfoBytes(const Layer3SideInfo& side, bool mpeg1)
{
    if (mpeg1)
        return side.Channels == 2 ? 36 : 21;
    return side.Channels == 2 ? 21 : 13;
}

namespace {

void ReadGranuleInfo(BitReader& reader, TGranuleInfo& gi, bool mpeg1, int32_t gainAdjustment, bool ms)
{
    gi.part2_3_length = static_cast<int32_t>(reader.GetBits(12));
    gi.big_values = static_cast<int32_t>(reader.GetBits(9));
    gi.global_gain = static_cast<int32_t>(reader.GetBits(8)) + gainAdjustment - (ms ? 2 : 0);
    gi.scalefac_compress = static_cast<int32_t>(reader.GetBits(mpeg1 ? 4 : 9));
    gi.window_switching_flag = static_cast<int32_t>(reader.GetBits(1));
    if (gi.window_switching_flag) {
        gi.block_type = static_cast<int32_t>(reader.GetBits(2));
        gi.mixed_block_flag = static_cast<int32_t>(reader.GetBits(1));
        gi.table_select[0] = static_cast<int32_t>(reader.GetBits(5));
        gi.table_select[1] = static_cast<int32_t>(reader.GetBits(5));
        gi.table_select[2] = 0;
        for (auto& gain : gi.subblock_gain)
            gain = static_cast<int32_t>(reader.GetBits(3));
        const bool shortLsf = !mpeg1 && gi.block_type == 2;
        gi.region0_count = shortLsf ? 5 : 7;
        gi.region1_count = shortLsf ? 15 : 13;
    } else {
        gi.block_type = 0;
        gi.mixed_block_flag = 0;
        for (auto& table : gi.table_select)
            table = static_cast<int32_t>(reader.GetBits(5));
        gi.subblock_gain = {};
        gi.region0_count = static_cast<int32_t>(reader.GetBits(4));
        gi.region1_count = static_cast<int32_t>(reader.GetBits(3));
    }
    gi.preflag = mpeg1 ? static_cast<int32_t>(reader.GetBits(1)) : 0;
    gi.scalefac_scale = static_cast<int32_t>(reader.GetBits(1));
    gi.count1table_select = static_cast<int32_t>(reader.GetBits(1));
}

} // namespace

void ReadSideInfo(BitReader& reader, Layer3SideInfo& side, int32_t gainAdjustment, bool mpeg1, int granule)
{
    reader.SkipBits(side.CrcBytes * 8); // the CRC is not checked
    const bool mono = side.Channels == 1;
    side.main_data_begin = static_cast<int32_t>(reader.GetBits(mpeg1 ? 9 : 8));
    side.private_bits = static_cast<int32_t>(reader.GetBits(mpeg1 ? (mono ? 5 : 3) : (mono ? 1 : 2)));
    side.scfsi = {};
    if (mpeg1)
        for (int ch = 0; ch < side.Channels; ++ch)
            side.scfsi[ch] = static_cast<int32_t>(reader.GetBits(4));
    const int granules = mpeg1 ? 2 : 1;
    for (int gr = 0; gr < granules; ++gr)
        for (int ch = 0; ch < side.Channels; ++ch)
            ReadGranuleInfo(reader, side.Granule[gr + granule][ch], mpeg1, gainAdjustment, side.MsStereo);
}

} // namespace pt4
