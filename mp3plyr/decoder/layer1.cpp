// Layer I frames: allocation, scale factors and twelve slots of samples, one per entry and slot.
#include "mp3plyr/decoder/bit_reader.h"
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer12.h"
#include "mp3plyr/decoder/layer12_frame.h"
#include "mp3plyr/decoder/layer12_tables.h"

#include <algorithm>

namespace pt4 {
namespace {

// Sample actions: 1 ... 14 read a sample of that allocation; joint stereo adds 15 (one sample
// for an entry and the next); the slot ends at kEndOfSlot, after the skipped bits at kSkipToEnd.
constexpr int32_t kJoint = 15;
constexpr int32_t kEndOfSlot = 2 * kJoint;
constexpr int32_t kSkipToEnd = 2 * kJoint + 1;
constexpr uint32_t kForbiddenAllocation = 15;

// Reads the allocation of every entry into actions and step factors; the bits the samples and
// scale factors then need are added to `bitsNeeded`. False for the forbidden allocation 15.
bool ReadAllocation(Layer12State& s, BitReader& reader, const Layer12Tables& tables, int32_t& bitsNeeded)
{
    int32_t bitsPerSlot = 0;
    int32_t scaleFactors = 0;
    int32_t skipBits = 0;
    int32_t counter = s.StereoBound;
    for (int32_t k = 0; k < s.CodedEntries; ++k) {
        const uint32_t a = reader.GetBits(4);
        if (a == kForbiddenAllocation)
            return false;
        const int32_t width = a == 0 ? 0 : int32_t(a) + 1;
        const int32_t used = a == 0 ? 0 : 1;
        bitsPerSlot += width;
        if (k >= s.EntryLimit)
            skipBits += width;
        s.Allocation[k] = int32_t(a);
        s.SampleAction[k] = int32_t(a);
        s.StepFactor[k] = tables.Layer1StepFactors[a];
        scaleFactors += used;
        if (--counter < 0) { // joint stereo: the same allocation and samples serve both channels
            s.Allocation[k + 1] = int32_t(a);
            s.StepFactor[k + 1] = tables.Layer1StepFactors[a];
            s.SampleAction[k] = s.SampleAction[k + 1] = int32_t(a) + kJoint;
            scaleFactors += used;
            ++k;
        }
    }
    s.SkipBits = skipBits;
    s.SampleAction[s.EntryLimit] = kSkipToEnd;
    s.SampleAction[s.CodedEntries] = kEndOfSlot;
    bitsNeeded += 6 * scaleFactors + kLayer1Slots * bitsPerSlot;
    return true;
}

void ReadScaleFactors(Layer12State& s, BitReader& reader, const Layer12Tables& tables)
{
    for (int32_t k = 0; k < s.CodedEntries; ++k)
        if (s.Allocation[k] != 0)
            s.SampleScale[k][0] = s.StepFactor[k] * tables.ScaleFactorMultipliers[reader.GetBits(6)];
}

void ReadSample(BitReader& reader, const Layer12Tables& tables, int32_t allocation, float* value)
{
    value[0] = float(int32_t(reader.GetBits(allocation + 1)) - tables.Layer1SampleOffsets[allocation]);
}

void ReadSlot(Layer12State& s, BitReader& reader, const Layer12Tables& tables, float* slot)
{
    ReadEntrySamples<1, kJoint, ReadSample>(s, reader, tables, 0, slot);
}

} // namespace

TDecodeResult DecodeLayer1Frame(DecoderState& state, const uint8_t* frame, uint8_t* pcm)
{
    Layer12State& s = state.Layer12;
    Layer12Frame f;
    if (state.Layer12Output == nullptr || !ReadLayer12Header(s, frame, 3, f))
        return {};
    const Layer12Tables& tables = GetLayer12Tables();

    s.FrameChannels = f.Channels;
    s.CodedEntries = 32 * f.Channels;
    s.StereoBound = f.Bound;
    s.EntryLimit = s.SubbandsPerChannel * f.Channels;

    // Everything is checked against the frame's length before it is read, so a damaged frame
    // never makes the reader leave the caller's buffer.
    const int32_t separate = std::min(s.StereoBound, s.CodedEntries);
    int32_t bitsNeeded = 4 * (separate + (s.CodedEntries - separate) / 2);
    if (bitsNeeded > f.DataBits)
        return {};
    BitReader reader;
    reader.Init(frame + f.DataOffset, frame + f.PaddedLength);
    if (!ReadAllocation(s, reader, tables, bitsNeeded) || bitsNeeded > f.DataBits)
        return {};
    ScaleStepFactors(s, state.Output.Equalizer.OutputGain.load(std::memory_order_relaxed));

    ReadScaleFactors(s, reader, tables);
    float* slot = s.SubbandSamples.data();
    for (int32_t t = 0; t < kLayer1Slots; ++t, slot += kLayer12Entries)
        ReadSlot(s, reader, tables, slot);
    return FinishLayer12Frame(state, f, kLayer1Slots, pcm);
}

} // namespace pt4
