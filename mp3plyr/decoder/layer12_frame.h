// Frame-level steps that Layers I and II share: the header of a frame, and the hand-over of its
// decoded slots to the output routine in the layout the stream was set up for.
#pragma once

#include "mp3plyr/decoder/bit_reader.h"
#include "mp3plyr/decoder/frame_header.h"
#include "mp3plyr/decoder/layer12_state.h"
#include "mp3plyr/format/decoder_types.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace pt4 {

struct DecoderState;
struct Layer12Tables;

struct Layer12Frame {
    TMPFrameHeader Header;
    int32_t PaddedLength = 0; // bytes the frame occupies, its padding included
    int32_t DataOffset = 0;   // bytes before the allocation: header and CRC
    int32_t DataBits = 0;     // bits after them up to the end of the frame
    int32_t Channels = 1;     // of this frame, which may differ from the stream's
    int32_t Bound = 0;        // stereo bound in entries
};

// Parses the frame's own header. False when it is no frame of `layerBits` that can be decoded:
// another sync (MPEG-2.5 included), another layer, a reserved rate, an invalid bit rate.
bool ReadLayer12Header(const Layer12State& state, const uint8_t* frame, int32_t layerBits, Layer12Frame& out);

// Moves the frame's decoded slots into the stream's channel layout (a one-channel frame fills
// both channels of a two-channel stream; a two-channel frame gives its left channel to a
// one-channel stream), clears entries that earlier frames left above this frame's limit, runs
// the output routine and returns the frame's result.
TDecodeResult FinishLayer12Frame(DecoderState& state, const Layer12Frame& frame, int32_t slots, uint8_t* pcm);

template <typename F, int... I> inline void ForEachIndex(F f, std::integer_sequence<int, I...> /*indexes*/)
{
    (f(I), ...);
}

// Calls f(0) ... f(Values - 1) written out, as the stores of one entry's values would be by hand.
template <int Values, typename F> inline void ForEachValue(F f)
{
    ForEachIndex(f, std::make_integer_sequence<int, Values>{});
}

// Reads the `Values` values of one entry with allocation `allocation`, centred on zero.
using TEntryReader = void (*)(BitReader& reader, const Layer12Tables& tables, int32_t allocation,
                              float* values);

// The sample reading both layers share. Each entry's action is its allocation (0: no samples);
// joint stereo adds `Joint`, and one set of values then serves the entry and the next; the list
// ends at 2 * Joint, or at 2 * Joint + 1 after skipping the bits of the entries above the
// frequency limit. Value i of entry k goes to slot[k + 64 * i], scaled by entry k's scale of
// part `part` (Layer I: always 0).
// A loudness gain taken with the step factors just read: one product per entry and frame.
inline void ScaleStepFactors(Layer12State& s, float outputGain)
{
    if (outputGain != 1.0f)
        for (int32_t k = 0; k < s.CodedEntries; ++k)
            s.StepFactor[static_cast<std::size_t>(k)] *= outputGain;
}

template <int Values, int32_t Joint, TEntryReader Read>
inline void ReadEntrySamples(Layer12State& s, BitReader& reader, const Layer12Tables& tables, int32_t part,
                             float* slot)
{
    const int32_t* actions = s.SampleAction.data();
    float values[Values];
    for (int32_t k = 0;;) {
        const int32_t action = actions[k];
        if (action == 0) {
            ForEachValue<Values>([&](int i) { slot[k + 64 * i] = 0.0f; });
            ++k;
        } else if (action < Joint) {
            Read(reader, tables, action, values);
            const float scale = s.SampleScale[k][part];
            ForEachValue<Values>([&](int i) { slot[k + 64 * i] = values[i] * scale; });
            ++k;
        } else if (action == Joint) {
            ForEachValue<Values>([&](int i) { slot[k + 64 * i] = slot[k + 1 + 64 * i] = 0.0f; });
            k += 2;
        } else if (action < 2 * Joint) {
            Read(reader, tables, action - Joint, values);
            const float first = s.SampleScale[k][part];
            const float second = s.SampleScale[k + 1][part];
            ForEachValue<Values>([&](int i) {
                slot[k + 64 * i] = values[i] * first;
                slot[k + 1 + 64 * i] = values[i] * second;
            });
            k += 2;
        } else {
            if (action == 2 * Joint + 1)
                reader.SkipBits(s.SkipBits);
            return;
        }
    }
}

} // namespace pt4
