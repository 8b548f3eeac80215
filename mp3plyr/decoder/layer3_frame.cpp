// The Layer III frame routine: header and side information from the frame, main data into the
// reservoir, then the granules (two for MPEG-1, one for MPEG-2 and MPEG-2.5).
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer3.h"
#include "mp3plyr/decoder/layer3_stages.h"

namespace pt4 {

TDecodeResult DecodeLayer3Frame(DecoderState& state, const uint8_t* frame, uint8_t* pcm)
{
    Layer3State& l3 = state.Layer3;
    if (l3.TransformRoutine == nullptr) // no Layer III set-up
        return {};
    Layer3SideInfo& side = l3.Side;
    const bool mpeg1 = l3.Mpeg1;
    TMPFrameHeader header;
    if (!ReadFrameHeaderFields(frame, header) || (mpeg1 && header.Sync != 1))
        return {};
    ReadLayer3Header(header, side);
    const int32_t paddedLength = side.FrameLength + side.Padding;
    const int32_t headerBytes = SideInfoBytes(side, mpeg1) + side.CrcBytes;
    // The side information must lie inside the frame before it is read.
    if (paddedLength < headerBytes)
        return {};
    BitReader reader;
    reader.Init(frame + 4, frame + paddedLength);
    const int granule = mpeg1 ? 0 : l3.GranuleToggle;
    ReadSideInfo(reader, side, l3.Layout.GainAdjustment, mpeg1, granule);
    if (!StoreMainData(l3.Reservoir, frame, paddedLength, headerBytes, side.main_data_begin))
        return {};
    if (!mpeg1)
        l3.GranuleToggle ^= 1;
    if (l3.Reservoir.DecodeStart < 0) {
        FillSilence(pcm, state.Config);
    } else if (mpeg1) {
        DecodeGranule(state, 0, pcm);
        DecodeGranule(state, 1, pcm + state.Config.HalfOutputBytes);
    } else {
        DecodeGranule(state, granule, pcm);
    }
    return {paddedLength, state.Config.OutputBytes};
}

} // namespace pt4
