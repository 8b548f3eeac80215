// Lyrics3 block in front of the ID3v1 tag: version 1 ("LYRICSEND") and 2.00 ("LYRICS200").
#include <algorithm>

#include "mp3plyr/errors.h"
#include "mp3plyr/input/info_reading.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/tag_text.h"

namespace pt4 {

namespace {

constexpr std::string_view kBegin = "LYRICSBEGIN";
constexpr int32_t kEndMarkSize = 9;       // "LYRICSEND" or "LYRICS200"
constexpr int32_t kSizeFieldSize = 6;     // version 2: decimal size in front of the end mark
constexpr int32_t kVersion1Window = 5100; // version 1: the text is searched this far back
constexpr int32_t kFieldHeaderSize = 8;   // version 2: 3-byte ID and 5-digit length

} // namespace

bool TMP3Info::ReadLyrics3()
{
    TMPStreamReader& reader = Attached();
    MP_ASSERT(reader.Seekable());
    int64_t blockEnd = reader.Size();
    if (found_.Contains(TMP3InfoItem::Id3v1))
        blockEnd = id3v1Offset_;
    else if (found_.Contains(TMP3InfoItem::MacBinary))
        blockEnd = macDataEnd_;
    const int64_t end = blockEnd - kEndMarkSize;
    if (end < 0 || end > reader.Size())
        return false;
    reader.Seek(end, kSeekFromBeginning);
    if (!FillWithin(reader, kEndMarkSize))
        return false;
    if (BufferedBytesAre(reader, 0, "LYRICSEND"))
        return ReadLyrics3v1(end);
    if (BufferedBytesAre(reader, 0, "LYRICS200"))
        return ReadLyrics3v2(end);
    return false;
}

bool TMP3Info::ReadLyrics3v1(int64_t end)
{
    TMPStreamReader& reader = Attached();
    const int64_t start = std::max<int64_t>(0, end - kVersion1Window);
    reader.Seek(start, kSeekFromBeginning);
    std::string text;
    if (!ReadBytes(reader, end - start, text))
        return false;
    const size_t begin = text.find(kBegin);
    if (begin == std::string::npos)
        return false;
    lyricsFields_.push_back("LYRICS=" + text.substr(begin + kBegin.size()));
    lyricsStart_ = start + static_cast<int64_t>(begin);
    return true;
}

bool TMP3Info::ReadLyrics3v2(int64_t end)
{
    TMPStreamReader& reader = Attached();
    const int64_t fieldsEnd = end - kSizeFieldSize;
    // A mark too close to the start has no room for its size field.
    if (fieldsEnd < 0)
        return false;
    reader.Seek(fieldsEnd, kSeekFromBeginning);
    if (!FillWithin(reader, kSizeFieldSize))
        return false;
    const int32_t blockSize = DecimalNumber(TextField(reader.Buffer(), kSizeFieldSize));
    if (blockSize <= 0)
        return false;
    const int64_t blockStart = fieldsEnd - blockSize;
    if (blockStart < 0)
        return false;
    reader.Seek(blockStart, kSeekFromBeginning);
    if (!FillWithin(reader, static_cast<int64_t>(kBegin.size())) || !BufferedBytesAre(reader, 0, kBegin))
        return false;
    if (!reader.Skip(static_cast<int32_t>(kBegin.size())))
        return false;
    lyricsStart_ = blockStart;
    while (reader.Position() < fieldsEnd) {
        if (!FillWithin(reader, kFieldHeaderSize))
            return false;
        const std::string id = TextField(reader.Buffer(), 3);
        const int32_t length = DecimalNumber(TextField(reader.Buffer() + 3, 5));
        if (length <= 0 || !reader.Skip(kFieldHeaderSize))
            return false;
        if (reader.Position() + length > fieldsEnd)
            return false;
        std::string value;
        if (!ReadBytes(reader, length, value))
            return false;
        lyricsFields_.push_back(id + "=" + value);
    }
    return true;
}

} // namespace pt4
