// Any bytes through the container and tag scan (seekable and not, large and small buffers; the
// picture kept no larger than the input), the first-frame search that follows it on opening,
// and the buffered reader driven by a script taken from the bytes themselves.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/memory_stream.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/replay_gain.h"
#include "mp3plyr/input/stream_reader.h"
#include "mp3plyr/player/frame_source.h"

namespace {

using namespace pt4;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void ScanTags(std::span<const uint8_t> bytes, bool seekable, int32_t bufferSize)
{
    TMPMemoryStream stream(bytes);
    TMPStreamReader reader(bufferSize);
    reader.Open(&stream, seekable);
    TMP3Info info;
    info.Attach(reader);
    info.ReadLeadingInfo();
    if (seekable) {
        info.ReadTrailingInfo();
        reader.Seek(info.DataStart(), kSeekFromBeginning);
    }
    Check(info.DataStart() >= 0 && info.DataStart() <= static_cast<int32_t>(bytes.size()));
    Check(info.DataLength() >= 0);
    DisplayText(info.GetTitle());
    DisplayText(info.GetArtist());
    DisplayText(info.GetAlbum());
    Check(info.Picture().Data.size() <= bytes.size());
    for (const auto* list : {&info.Id3v1Fields(), &info.Id3v2Frames(), &info.RiffInfoFields(),
                             &info.LyricsFields(), &info.ApeItems()})
        for (const std::string& line : *list)
            DisplayText(line);
    const TReplayGain gain = ReplayGainFromTags(info);
    for (const auto& db : {gain.TrackGainDb, gain.AlbumGainDb})
        Check(!db || (*db >= -51 && *db <= 51));
    for (const auto& peak : {gain.TrackPeak, gain.AlbumPeak})
        Check(!peak || *peak > 0);
    const int64_t start = reader.Position();
    TFirstFrame first;
    if (LocateFirstFrame(reader, info.DataLength(), first)) {
        Check(first.Length > 0 && first.Skipped >= 0);
        Check(reader.Position() == start + first.Skipped);
        Check(reader.Fill(2) && reader.Buffer()[0] == 0xFF && reader.Buffer()[1] >= 0xE0);
    }
}

// The window must always equal the source bytes at Position.
void CheckWindow(const TMPStreamReader& reader, std::span<const uint8_t> source)
{
    const int64_t end = int64_t{reader.Position()} + reader.Count();
    Check(reader.Count() >= 0 && reader.Count() <= reader.BufferSize());
    Check(end <= static_cast<int64_t>(source.size()));
    Check(std::equal(reader.Buffer(), reader.Buffer() + reader.Count(), source.begin() + reader.Position()));
}

void ExerciseReader(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 2)
        return;
    const bool seekable = bytes[0] & 1;
    const int32_t bufferSize = 1 + (bytes[0] >> 1) * 97;
    const std::span<const uint8_t> script = bytes.subspan(1, std::min<size_t>(bytes.size() - 1, 48));
    TMPMemoryStream stream(bytes);
    TMPStreamReader reader(bufferSize);
    reader.Open(&stream, seekable);
    for (size_t i = 0; i + 1 < script.size(); i += 2) {
        const int32_t amount = script[i + 1] * 61;
        switch (script[i] % 3) {
        case 0: reader.Fill(std::min(amount, bufferSize)); break;
        case 1: reader.Skip(amount); break;
        default:
            if (seekable)
                reader.Seek(amount,
                            static_cast<int16_t>(script[i] % 2 ? kSeekFromBeginning : kSeekFromCurrent));
            break;
        }
        if (reader.Position() <= static_cast<int64_t>(bytes.size()))
            CheckWindow(reader, bytes);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A copy, so that any read beyond the input is caught.
    const std::vector<uint8_t> bytes(data, data + size);
    ScanTags(bytes, true, 16384);
    ScanTags(bytes, false, 16384);
    if (!bytes.empty())
        ScanTags(std::span(bytes).subspan(1), bytes[0] & 1, 1 + bytes[0]);
    ExerciseReader(bytes);
    return 0;
}
