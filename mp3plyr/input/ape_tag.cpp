// APE tag (version 1 or 2, with or without a header) at the end of the audio: before the ID3v1
// tag and a Lyrics3 block, or at the very end. Its items become "key=value" lines.
#include <algorithm>
#include <cctype>
#include <span>

#include "mp3plyr/errors.h"
#include "mp3plyr/input/info_reading.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/tag_text.h"

namespace pt4 {

namespace {

constexpr int32_t kFooterSize = 32; // a header has the same size
constexpr uint32_t kHasHeaderFlag = 0x80000000u;
constexpr int64_t kMaxItemBytesRead = int64_t{16} << 20;

// A value of NUL-separated UTF-8 strings, joined with " / ".
std::string JoinedText(std::string_view value)
{
    std::string joined;
    while (!value.empty()) {
        const size_t end = std::min(value.find('\0'), value.size());
        if (end > 0) {
            if (!joined.empty())
                joined += " / ";
            joined.append(value.substr(0, end));
        }
        value.remove_prefix(std::min(end + 1, value.size()));
    }
    return joined;
}

bool IsKey(std::string_view key)
{
    return key.size() >= 2 && key.size() <= 255 &&
           std::all_of(key.begin(), key.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// Items: 32-bit value size, 32-bit flags (both little-endian), NUL-terminated key, value.
void ReadItems(std::string_view bytes, uint32_t count, std::vector<std::string>& lines)
{
    size_t at = 0;
    for (uint32_t i = 0; i < count && at + 8 < bytes.size(); ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
        const uint32_t valueSize = LittleEndian32(p);
        const uint32_t flags = LittleEndian32(p + 4);
        const size_t keyEnd = bytes.find('\0', at + 8);
        if (keyEnd == std::string_view::npos)
            return;
        const std::string_view key = bytes.substr(at + 8, keyEnd - at - 8);
        if (!IsKey(key) || valueSize > bytes.size() - keyEnd - 1)
            return;
        const std::string_view value = bytes.substr(keyEnd + 1, valueSize);
        std::string content;
        if (((flags >> 1) & 3) == 1) {
            // Binary; cover art starts with its file name.
            const bool cover = key.substr(0, 9) == "Cover Art";
            const size_t nameEnd = cover ? std::min(value.find('\0'), value.size()) : 0;
            const size_t dataBytes = value.size() - std::min(nameEnd + (cover ? 1 : 0), value.size());
            content = (nameEnd > 0 ? std::string(value.substr(0, nameEnd)) + ", " : std::string()) +
                      std::to_string(dataBytes) + " bytes";
        } else {
            content = JoinedText(value);
        }
        std::string upper(key);
        std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return std::toupper(c); });
        const bool playerValue = upper == "TITLE" || upper == "ARTIST" || upper == "ALBUM" ||
                                 upper.starts_with("REPLAYGAIN_") || upper.starts_with("MP3GAIN_");
        if (RoomForLine(lines, playerValue))
            lines.push_back(std::string(key) + "=" + content);
        at = keyEnd + 1 + valueSize;
    }
}

} // namespace

bool TMP3Info::ReadApeTag()
{
    TMPStreamReader& reader = Attached();
    MP_ASSERT(reader.Seekable());
    int64_t end = found_.Contains(TMP3InfoItem::MacBinary) ? macDataEnd_ : reader.Size();
    if (found_.Contains(TMP3InfoItem::Id3v1))
        end = id3v1Offset_;
    if (found_.Contains(TMP3InfoItem::Lyrics3))
        end = lyricsStart_;
    const int64_t footer = end - kFooterSize;
    if (footer < 0 || footer > reader.Size())
        return false;
    reader.Seek(footer, kSeekFromBeginning);
    if (!FillWithin(reader, kFooterSize) || !BufferedBytesAre(reader, 0, "APETAGEX"))
        return false;
    const uint8_t* p = reader.Buffer();
    const uint32_t tagSize = LittleEndian32(p + 12); // items and footer
    const uint32_t count = LittleEndian32(p + 16);
    const uint32_t flags = LittleEndian32(p + 20);
    const int64_t itemsStart = end - tagSize;
    if (tagSize < static_cast<uint32_t>(kFooterSize) || itemsStart < 0)
        return false;
    int64_t start = itemsStart;
    if ((flags & kHasHeaderFlag) && itemsStart >= kFooterSize) {
        reader.Seek(itemsStart - kFooterSize, kSeekFromBeginning);
        if (FillWithin(reader, kFooterSize) && BufferedBytesAre(reader, 0, "APETAGEX"))
            start -= kFooterSize;
    }
    // A tag reaching back over the leading tags is damaged; taking it would leave no audio.
    if (start < dataStart_)
        return false;
    apeOffset_ = start;

    reader.Seek(itemsStart, kSeekFromBeginning);
    std::string items;
    if (ReadBytes(reader, std::min<int64_t>(tagSize - kFooterSize, kMaxItemBytesRead), items))
        ReadItems(items, count, apeItems_);
    return true;
}

} // namespace pt4
