#include "mp3plyr/decoder/layer12_frame.h"

#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer12_tables.h"

#include <algorithm>

namespace pt4 {
namespace {

void ClearEntries(float* samples, int32_t slots, int32_t from, int32_t to)
{
    if (from >= to)
        return;
    for (int32_t t = 0; t < slots; ++t)
        std::fill(samples + t * kLayer12Entries + from, samples + t * kLayer12Entries + to, 0.0f);
}

} // namespace

bool ReadLayer12Header(const Layer12State& state, const uint8_t* frame, int32_t layerBits, Layer12Frame& out)
{
    TMPFrameHeader& header = out.Header;
    int32_t length = ParseFrameHeader(frame, 0, header);
    if (header.Sync != 1 || header.LayerBits != layerBits || header.SampleRateIndex > 2 ||
        header.BitrateIndex == 15)
        return false;
    if (header.BitrateIndex == 0)
        length = state.FrameLength; // free format: only the set-up knows the length
    if (length <= 0)
        return false;
    out.PaddedLength = PaddedFrameLength(header, length);
    out.DataOffset = header.Protection ? 4 : 6; // the CRC is not checked
    out.DataBits = (out.PaddedLength - out.DataOffset) * 8;
    out.Channels = Channels(header);
    out.Bound = GetLayer12Tables().StereoBound[header.Mode * 4 + header.ModeExt];
    return out.DataBits > 0;
}

TDecodeResult FinishLayer12Frame(DecoderState& state, const Layer12Frame& frame, int32_t slots, uint8_t* pcm)
{
    Layer12State& s = state.Layer12;
    float* const samples = s.SubbandSamples.data();
    const int32_t subbands = s.EntryLimit / frame.Channels; // decoded subbands per channel

    if (frame.Channels == 1 && s.StreamChannels == 2) {
        for (int32_t t = 0; t < slots; ++t) {
            float* slot = samples + t * kLayer12Entries;
            for (int32_t sb = subbands - 1; sb >= 0; --sb) // from the top: nothing is overwritten unread
                slot[2 * sb] = slot[2 * sb + 1] = slot[sb];
        }
    } else if (frame.Channels == 2 && s.StreamChannels == 1) {
        for (int32_t t = 0; t < slots; ++t) {
            float* slot = samples + t * kLayer12Entries;
            for (int32_t sb = 0; sb < subbands; ++sb)
                slot[sb] = slot[2 * sb];
        }
        ClearEntries(samples, slots, subbands, std::min(2 * subbands, 32));
    }

    const int32_t filled = subbands * s.StreamChannels;
    ClearEntries(samples, slots, filled, s.FilledEntries);
    s.FilledEntries = filled;

    state.Layer12Output(state.Output, samples, pcm, slots);
    return {frame.PaddedLength, state.Config.OutputBytes};
}

} // namespace pt4
