// Layer II frames: allocation through the frame's allocation table, scale-factor selection and
// scale factors for the three parts of the frame, and twelve groups of three slots of samples.
#include "mp3plyr/decoder/bit_reader.h"
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer12.h"
#include "mp3plyr/decoder/layer12_frame.h"
#include "mp3plyr/decoder/layer12_tables.h"

#include <algorithm>
#include <array>

namespace pt4 {
namespace {

// Sample actions: 1 ... 17 read an entry's three samples with that allocation code; joint stereo
// adds 18 (one group of three for an entry and the next); the group of three slots ends at
// kEndOfGroup, after the skipped bits at kSkipToEnd.
constexpr int32_t kJoint = 18;
constexpr int32_t kEndOfGroup = 2 * kJoint;
constexpr int32_t kSkipToEnd = 2 * kJoint + 1;

// Scale-factor selection 4 marks an entry without samples, 5 the end of the list.
constexpr int32_t kNoScaleFactors = 4;
constexpr int32_t kEndOfList = 5;
constexpr std::array<int32_t, 6> kScaleFactorBits = {18, 12, 6, 12, 0, 0};

constexpr int32_t kGroupsPerPart = 4;

// Picks the frame's allocation table and its entry layout. False when the frame's mode and bit
// rate have no table.
bool ChooseLayout(Layer12State& s, const Layer12Frame& f)
{
    const int32_t index = Layer2TableIndex(f.Header);
    if (index < 0)
        return false;
    const Layer2AllocationTable& table = Layer2AllocationTableAt(index);
    s.AllocationTable = &table;
    s.FrameChannels = f.Channels;
    s.StereoBound = f.Bound;
    for (int32_t g = 0; g < 4; ++g)
        s.GroupEntries[g] = table.GroupSizes[g] * f.Channels;
    s.CodedEntries = table.Subbands * f.Channels;
    s.EntryLimit = std::min(s.SubbandsPerChannel, table.Subbands) * f.Channels;
    return true;
}

// Bits of the allocation fields: entries above the stereo bound share one field per pair.
int32_t AllocationBits(const Layer12State& s)
{
    int32_t bits = 0;
    int32_t first = 0;
    for (int32_t g = 0; g < 4; ++g) {
        const int32_t entries = s.GroupEntries[g];
        const int32_t separate = std::clamp(s.StereoBound - first, 0, entries);
        bits += kLayer2AllocationWidths[g] * (separate + (entries - separate) / 2);
        first += entries;
    }
    return bits;
}

// Reads the allocation codes into actions and step factors. Returns the bits of one group of
// three slots and counts the entries that carry samples.
int32_t ReadAllocation(Layer12State& s, BitReader& reader, const Layer12Tables& tables, int32_t& withSamples)
{
    const Layer2AllocationTable& table = *s.AllocationTable;
    int32_t bitsPerGroup = 0;
    int32_t skipBits = 0;
    int32_t counter = s.StereoBound;
    int32_t k = 0;
    withSamples = 0;
    for (int32_t g = 0; g < 4; ++g) {
        const int32_t width = kLayer2AllocationWidths[g];
        const std::array<int8_t, 16>& codes = table.Codes[g];
        for (const int32_t end = k + s.GroupEntries[g]; k < end; ++k) {
            const int32_t code = codes[reader.GetBits(width)];
            const int32_t bits = tables.Layer2GroupBits[code];
            const int32_t used = code == 0 ? 0 : 1;
            bitsPerGroup += bits;
            if (k >= s.EntryLimit)
                skipBits += bits;
            s.Allocation[k] = code;
            s.SampleAction[k] = code;
            s.StepFactor[k] = tables.Layer2StepFactors[code];
            withSamples += used;
            if (--counter < 0) { // joint stereo: one code and one set of samples for both channels
                s.Allocation[k + 1] = code;
                s.StepFactor[k + 1] = tables.Layer2StepFactors[code];
                s.SampleAction[k] = s.SampleAction[k + 1] = code + kJoint;
                withSamples += used;
                ++k;
            }
        }
    }
    s.SkipBits = skipBits;
    s.SampleAction[s.EntryLimit] = kSkipToEnd;
    s.SampleAction[s.CodedEntries] = kEndOfGroup;
    return bitsPerGroup;
}

// Returns the bits of the scale factors that the selections announce.
int32_t ReadScaleFactorSelection(Layer12State& s, BitReader& reader)
{
    int32_t bits = 0;
    for (int32_t k = 0; k < s.CodedEntries; ++k) {
        const int32_t selection = s.Allocation[k] == 0 ? kNoScaleFactors : int32_t(reader.GetBits(2));
        s.ScaleFactorSelection[k] = selection;
        bits += kScaleFactorBits[selection];
    }
    s.ScaleFactorSelection[s.CodedEntries] = kEndOfList;
    return bits;
}

void ReadScaleFactors(Layer12State& s, BitReader& reader, const Layer12Tables& tables)
{
    const auto& multipliers = tables.ScaleFactorMultipliers;
    for (int32_t k = 0;; ++k) {
        std::array<float, 3>& scale = s.SampleScale[k];
        const float step = s.StepFactor[k];
        switch (s.ScaleFactorSelection[k]) {
        case 0:
            scale[0] = step * multipliers[reader.GetBits(6)];
            scale[1] = step * multipliers[reader.GetBits(6)];
            scale[2] = step * multipliers[reader.GetBits(6)];
            break;
        case 1:
            scale[0] = scale[1] = step * multipliers[reader.GetBits(6)];
            scale[2] = step * multipliers[reader.GetBits(6)];
            break;
        case 2: scale[0] = scale[1] = scale[2] = step * multipliers[reader.GetBits(6)]; break;
        case 3:
            scale[0] = step * multipliers[reader.GetBits(6)];
            scale[1] = scale[2] = step * multipliers[reader.GetBits(6)];
            break;
        case kNoScaleFactors: break;
        default: return;
        }
    }
}

// The three quantised values of one entry, centred on 0 and not yet scaled.
inline void ReadTriple(BitReader& reader, const Layer12Tables& tables, int32_t code, float* values)
{
    switch (code) {
    case 1: {
        const auto& digits = tables.Ungroup3[reader.GetBits(5)];
        values[0] = digits[0], values[1] = digits[1], values[2] = digits[2];
        return;
    }
    case 2: {
        const auto& digits = tables.Ungroup5[reader.GetBits(7)];
        values[0] = digits[0], values[1] = digits[1], values[2] = digits[2];
        return;
    }
    case 4: {
        const auto& digits = tables.Ungroup9[reader.GetBits(10)];
        values[0] = digits[0], values[1] = digits[1], values[2] = digits[2];
        return;
    }
    default: {
        const int32_t bits = tables.Layer2SampleBits[code];
        const int32_t offset = tables.Layer2SampleOffsets[code];
        if (bits <= 8) { // all three in one read of at most 24 bits
            const uint32_t three = reader.GetBits(3 * bits);
            const uint32_t mask = (uint32_t(1) << bits) - 1;
            values[0] = float(int32_t(three >> (2 * bits)) - offset);
            values[1] = float(int32_t((three >> bits) & mask) - offset);
            values[2] = float(int32_t(three & mask) - offset);
            return;
        }
        values[0] = float(int32_t(reader.GetBits(bits)) - offset);
        values[1] = float(int32_t(reader.GetBits(bits)) - offset);
        values[2] = float(int32_t(reader.GetBits(bits)) - offset);
        return;
    }
    }
}

// One group of three slots of part `part` into `slot` (three consecutive 64-value slots).
void ReadGroup(Layer12State& s, BitReader& reader, const Layer12Tables& tables, int32_t part, float* slot)
{
    ReadEntrySamples<3, kJoint, ReadTriple>(s, reader, tables, part, slot);
}

} // namespace

TDecodeResult DecodeLayer2Frame(DecoderState& state, const uint8_t* frame, uint8_t* pcm)
{
    Layer12State& s = state.Layer12;
    Layer12Frame f;
    if (state.Layer12Output == nullptr || !ReadLayer12Header(s, frame, 2, f) || !ChooseLayout(s, f))
        return {};
    const Layer12Tables& tables = GetLayer12Tables();

    // Each part is checked against the frame's length before it is read, so a damaged frame
    // never makes the reader leave the caller's buffer.
    int32_t bitsNeeded = AllocationBits(s);
    if (bitsNeeded > f.DataBits)
        return {};
    BitReader reader;
    reader.Init(frame + f.DataOffset, frame + f.PaddedLength);
    int32_t withSamples = 0;
    const int32_t bitsPerGroup = ReadAllocation(s, reader, tables, withSamples);
    ScaleStepFactors(s, state.Output.Equalizer.OutputGain.load(std::memory_order_relaxed));
    bitsNeeded += 2 * withSamples;
    if (bitsNeeded > f.DataBits)
        return {};
    bitsNeeded += ReadScaleFactorSelection(s, reader) + kGroupsPerPart * 3 * bitsPerGroup;
    if (bitsNeeded > f.DataBits)
        return {};

    ReadScaleFactors(s, reader, tables);
    float* slot = s.SubbandSamples.data();
    for (int32_t part = 0; part < 3; ++part)
        for (int32_t g = 0; g < kGroupsPerPart; ++g, slot += 3 * kLayer12Entries)
            ReadGroup(s, reader, tables, part, slot);
    return FinishLayer12Frame(state, f, kLayer2Slots, pcm);
}

} // namespace pt4
