// Layer II frames: allocation through the frame's allocation table, scale-factor selection and
// scale factors for the three parts of the frame, and twelve groups of three slots of samples.
#include "mp3plyr/decoder/bit_reader.h"
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer12.h"
#include "mp3plyr/decoder/layer12_frame.h"
#include "mp3plyr/decoder/layer12_tables.h"

#include <algorithm>
#include <array>
#include <vector>

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

// How an entry's three values are read: fixed for a frame, so that its twelve groups of three
// slots only read and store. Consecutive entries read the same way form one run, whose loop
// takes no decision per entry.
enum class TReadKind : int32_t {
    Table,    // one read of `Width` bits (none for an entry without samples) indexes `Values`
    Packed,   // three samples of `Bits` bits in one read of 3 * `Bits` bits
    Separate, // three reads of `Bits` bits
};

// Left uninitialised: a frame's plan fills what its groups read.
struct EntryRead {
    int32_t Entry;
    int32_t Width;                      // Table: bits of the read
    int32_t Bits;                       // Packed, Separate: bits of one sample
    int32_t Offset;                     // centres a sample of `Bits` bits on 0
    const std::array<float, 3>* Values; // Table: three values by what was read
};

struct ReadRun {
    TReadKind Kind;
    bool Joint;    // each entry's values also serve the next entry
    int32_t First; // index of the run's first read
    int32_t End;   // one past its last
};

struct ReadPlan {
    std::array<EntryRead, kLayer12Entries> Reads;
    std::array<ReadRun, kLayer12Entries> Runs;
    int32_t RunCount;
};

// The three values, centred on zero, of every read of the allocation codes of at most 12 bits a
// read: no samples (zeros, nothing read), the grouped codes 1, 2 and 4, and codes 3 and 5, whose
// three samples of 3 and 4 bits are split here once instead of at every read. Most entries of a
// frame have one of these codes, so most runs are table runs.
struct ValueTables {
    static constexpr int32_t kCodes = 6;
    std::array<int32_t, kCodes> Widths{};
    std::array<std::vector<std::array<float, 3>>, kCodes> Values;
};

const ValueTables& GetValueTables(const Layer12Tables& tables)
{
    static const ValueTables built = [&tables] {
        ValueTables t;
        t.Values[0] = {{0.0f, 0.0f, 0.0f}};
        t.Widths = {0, 5, 7, 0, 10, 0};
        t.Values[1].assign(tables.Ungroup3.begin(), tables.Ungroup3.end());
        t.Values[2].assign(tables.Ungroup5.begin(), tables.Ungroup5.end());
        t.Values[4].assign(tables.Ungroup9.begin(), tables.Ungroup9.end());
        for (const int32_t code : {3, 5}) {
            const int32_t bits = tables.Layer2SampleBits[code];
            const int32_t offset = tables.Layer2SampleOffsets[code];
            const uint32_t mask = (uint32_t(1) << bits) - 1;
            t.Widths[code] = 3 * bits;
            for (uint32_t three = 0; three < (uint32_t(1) << (3 * bits)); ++three)
                t.Values[code].push_back({float(int32_t(three >> (2 * bits)) - offset),
                                          float(int32_t((three >> bits) & mask) - offset),
                                          float(int32_t(three & mask) - offset)});
        }
        return t;
    }();
    return built;
}

// The frame's reads in entry order, from its sample actions.
void PlanReads(const Layer12State& s, const Layer12Tables& tables, ReadPlan& plan)
{
    const ValueTables& values = GetValueTables(tables);
    int32_t count = 0;
    plan.RunCount = 0;
    for (int32_t k = 0;;) {
        const int32_t action = s.SampleAction[k];
        if (action >= kEndOfGroup)
            return;
        const bool joint = action >= kJoint;
        const int32_t code = joint ? action - kJoint : action;
        EntryRead& read = plan.Reads[size_t(count)];
        read.Entry = k;
        read.Bits = tables.Layer2SampleBits[code];
        read.Offset = tables.Layer2SampleOffsets[code];
        TReadKind kind = TReadKind::Table;
        read.Width = 0;
        read.Values = nullptr;
        if (code < ValueTables::kCodes) {
            read.Width = values.Widths[size_t(code)];
            read.Values = values.Values[size_t(code)].data();
        } else {
            kind = read.Bits <= 8 ? TReadKind::Packed : TReadKind::Separate; // Packed: at most 24 bits
        }
        ReadRun* last = plan.RunCount > 0 ? &plan.Runs[size_t(plan.RunCount - 1)] : nullptr;
        if (last == nullptr || last->Kind != kind || last->Joint != joint)
            plan.Runs[size_t(plan.RunCount++)] = {kind, joint, count, count};
        plan.Runs[size_t(plan.RunCount - 1)].End = ++count;
        k += joint ? 2 : 1;
    }
}

// Reads and stores the entries of one run; value i of entry k goes to slot[k + 64 * i].
template <TReadKind Kind, bool Joint>
void ReadRunValues(const Layer12State& s, BitReader& reader, const EntryRead* first, const EntryRead* end,
                   int32_t part, float* slot)
{
    for (const EntryRead* read = first; read != end; ++read) {
        const int32_t k = read->Entry;
        float values[3];
        if constexpr (Kind == TReadKind::Table) {
            const std::array<float, 3>& three = read->Values[reader.GetBits(read->Width)];
            values[0] = three[0], values[1] = three[1], values[2] = three[2];
        } else if constexpr (Kind == TReadKind::Packed) {
            const int32_t bits = read->Bits;
            const uint32_t three = reader.GetBits(3 * bits);
            const uint32_t mask = (uint32_t(1) << bits) - 1;
            values[0] = float(int32_t(three >> (2 * bits)) - read->Offset);
            values[1] = float(int32_t((three >> bits) & mask) - read->Offset);
            values[2] = float(int32_t(three & mask) - read->Offset);
        } else {
            values[0] = float(int32_t(reader.GetBits(read->Bits)) - read->Offset);
            values[1] = float(int32_t(reader.GetBits(read->Bits)) - read->Offset);
            values[2] = float(int32_t(reader.GetBits(read->Bits)) - read->Offset);
        }
        // An entry without samples has zeros; its scale, whatever an earlier frame left, is
        // finite and not negative, so the products are the zeros it needs.
        const float scale = s.SampleScale[size_t(k)][size_t(part)];
        slot[k] = values[0] * scale;
        slot[k + 64] = values[1] * scale;
        slot[k + 128] = values[2] * scale;
        if constexpr (Joint) {
            const float second = s.SampleScale[size_t(k + 1)][size_t(part)];
            slot[k + 1] = values[0] * second;
            slot[k + 1 + 64] = values[1] * second;
            slot[k + 1 + 128] = values[2] * second;
        }
    }
}

// One group of three slots of part `part` into `slot` (three consecutive 64-value slots).
void ReadGroup(const Layer12State& s, BitReader& reader, const ReadPlan& plan, int32_t part, bool skip,
               float* slot)
{
    const EntryRead* reads = plan.Reads.data();
    for (int32_t r = 0; r < plan.RunCount; ++r) {
        const ReadRun& run = plan.Runs[size_t(r)];
        const EntryRead* first = reads + run.First;
        const EntryRead* end = reads + run.End;
        switch (int32_t(run.Kind) * 2 + (run.Joint ? 1 : 0)) {
        case 0: ReadRunValues<TReadKind::Table, false>(s, reader, first, end, part, slot); break;
        case 1: ReadRunValues<TReadKind::Table, true>(s, reader, first, end, part, slot); break;
        case 2: ReadRunValues<TReadKind::Packed, false>(s, reader, first, end, part, slot); break;
        case 3: ReadRunValues<TReadKind::Packed, true>(s, reader, first, end, part, slot); break;
        case 4: ReadRunValues<TReadKind::Separate, false>(s, reader, first, end, part, slot); break;
        default: ReadRunValues<TReadKind::Separate, true>(s, reader, first, end, part, slot); break;
        }
    }
    if (skip)
        reader.SkipBits(s.SkipBits);
}

} // namespace

PT4_SHIFT_CLONES TDecodeResult DecodeLayer2Frame(DecoderState& state, const uint8_t* frame, uint8_t* pcm)
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
    ReadPlan plan;
    PlanReads(s, tables, plan);
    const bool skip = s.EntryLimit < s.CodedEntries; // bits of the entries above the frequency limit
    float* slot = s.SubbandSamples.data();
    for (int32_t part = 0; part < 3; ++part)
        for (int32_t g = 0; g < kGroupsPerPart; ++g, slot += 3 * kLayer12Entries)
            ReadGroup(s, reader, plan, part, skip, slot);
    return FinishLayer12Frame(state, f, kLayer2Slots, pcm);
}

} // namespace pt4
