// The Layer III frame routines: header and side information from the frame, main data into
// the reservoir, then the granules (two for MPEG-1, one for MPEG-2 and MPEG-2.5).
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer3.h"
#include "mp3plyr/decoder/layer3_stages.h"

namespace pt4
{

TDecodeResult DecodeLayer3FrameMpeg1(DecoderState& state, const uint8_t* frame, uint8_t* pcm)
{
    Layer3State& l3 = state.Layer3;
    Layer3SideInfo& side = l3.Side;
    Layer3BitReader reader;
    reader.BitReaderInit(frame);
    if (reader.GetBits(12) != 0xFFF)
        return {};
    ReadLayer3Header(reader, side, false);
    const int32_t paddedLength = side.FrameLength + side.Padding;
    const int32_t headerBytes = SideInfoBytes(side, true) + side.CrcBytes;
    // The side information must lie inside the frame before it is read.
    if (paddedLength < headerBytes)
        return {};
    ReadSideInfoMpeg1(reader, side, l3.Layout.GainAdjustment);
    if (!StoreMainData(l3.Reservoir, frame, paddedLength, headerBytes, side.main_data_begin))
        return {};
    if (l3.Reservoir.DecodeStart < 0) {
        FillSilence(pcm, state.Config);
    } else {
        DecodeGranule(state, 0, pcm, true);
        DecodeGranule(state, 1, pcm + state.Config.HalfOutputBytes, true);
    }
    return {paddedLength, state.Config.OutputBytes};
}

TDecodeResult DecodeLayer3FrameMpeg2(DecoderState& state, const uint8_t* frame, uint8_t* pcm)
{
    Layer3State& l3 = state.Layer3;
    Layer3SideInfo& side = l3.Side;
    Layer3BitReader reader;
    reader.BitReaderInit(frame);
    const uint32_t sync = reader.GetBits(12);
    if (sync != 0xFFF && sync != 0xFFE)
        return {};
    ReadLayer3Header(reader, side, sync == 0xFFE);
    const int32_t paddedLength = side.FrameLength + side.Padding;
    const int32_t headerBytes = SideInfoBytes(side, false) + side.CrcBytes;
    if (paddedLength < headerBytes)
        return {};
    const int granule = l3.GranuleToggle;
    ReadSideInfoMpeg2(reader, side, l3.Layout.GainAdjustment, granule);
    if (!StoreMainData(l3.Reservoir, frame, paddedLength, headerBytes, side.main_data_begin))
        return {};
    l3.GranuleToggle ^= 1;
    if (l3.Reservoir.DecodeStart < 0)
        FillSilence(pcm, state.Config);
    else
        DecodeGranule(state, granule, pcm, false);
    return {paddedLength, state.Config.OutputBytes};
}

} // namespace pt4
