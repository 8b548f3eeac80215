// RIFF container: the "data" chunk in front and the LIST/INFO chunk after it.
#include <cstring>
#include <limits>

#include "mp3plyr/input/info_reading.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/tag_text.h"

namespace pt4 {

bool TMP3Info::ReadRiffHeader()
{
    TMPStreamReader& reader = Attached();
    if (!FillWithin(reader, 12) || !BufferedBytesAre(reader, 0, "RIFF"))
        return false;
    // The form type (bytes 8-11) is not checked: whatever the data chunk holds is played.
    return reader.Skip(12);
}

bool TMP3Info::FindChunk(std::string_view id, std::string_view listType)
{
    TMPStreamReader& reader = Attached();
    for (;;) {
        if (!FillWithin(reader, 8))
            return false;
        const auto size = static_cast<int32_t>(LittleEndian32(reader.Buffer() + 4));
        if (size < 1)
            return false;
        if (BufferedBytesAre(reader, 0, id)) {
            if (listType.empty())
                return true;
            if (!FillWithin(reader, 12))
                return false;
            if (BufferedBytesAre(reader, 8, listType))
                return true;
        }
        if (!SkipWide(reader, EvenAligned(int64_t{size} + 8)))
            return false;
    }
}

bool TMP3Info::ReadDataChunk()
{
    TMPStreamReader& reader = Attached();
    if (!FillWithin(reader, 8) || !BufferedBytesAre(reader, 0, "data"))
        return false;
    const auto size = static_cast<int32_t>(LittleEndian32(reader.Buffer() + 4));
    if (size <= 0)
        return false;
    riffDataLength_ = size;
    if (!reader.Skip(8))
        return false;
    riffDataStart_ = reader.Position();
    dataStart_ = riffDataStart_;
    dataLength_ = size;
    return true;
}

void TMP3Info::ReadRiffInfoAfterData()
{
    TMPStreamReader& reader = Attached();
    try {
        const int64_t dataEnd = EvenAligned(riffDataStart_ + riffDataLength_);
        // A chunk reaching past the end leaves nothing after it.
        if (dataEnd > reader.Size())
            return;
        reader.Seek(dataEnd, kSeekFromBeginning);
        // Without a LIST/INFO chunk the list reader below finds no "LIST" and stops.
        FindChunk("LIST", "INFO");
        ReadInfoList();
    } catch (...) {
        // INFO text is optional decoration; a failure here must not stop the file opening.
    }
}

bool TMP3Info::ReadInfoList()
{
    TMPStreamReader& reader = Attached();
    if (!FillWithin(reader, 8) || !BufferedBytesAre(reader, 0, "LIST"))
        return false;
    const auto size = static_cast<int32_t>(LittleEndian32(reader.Buffer() + 4));
    if (size < 0)
        return false;
    if (!FillWithin(reader, 12) || !BufferedBytesAre(reader, 8, "INFO"))
        return false;
    const int64_t listEnd = reader.Position() + size + 8;
    if (!reader.Skip(12))
        return false;
    while (reader.Position() < listEnd) {
        if (!FillWithin(reader, 8))
            return false;
        const std::string id = TextField(reader.Buffer(), 4);
        const auto subSize = static_cast<int32_t>(LittleEndian32(reader.Buffer() + 4));
        if (!reader.Skip(8))
            return false;
        if (subSize < 0)
            return false;
        if (id == "IID3")
            return true;
        if (subSize > reader.BufferSize() || !reader.Fill(subSize))
            return false;
        const std::string value = TextField(reader.Buffer(), subSize);
        if (!id.empty() && !value.empty())
            riffInfoFields_.push_back(id + "=" + value);
        if (!SkipWide(reader, EvenAligned(subSize)))
            return false;
    }
    return true;
}

} // namespace pt4
