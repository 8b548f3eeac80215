// ID3v1 (and v1.1 with a track number) in the last 128 bytes of the audio data.
#include <string>

#include "mp3plyr/errors.h"
#include "mp3plyr/input/id3v1_genres.h"
#include "mp3plyr/input/info_reading.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/tag_text.h"

namespace pt4 {

namespace {

constexpr int32_t kId3v1Size = 128;

} // namespace

bool TMP3Info::ReadId3v1Tag()
{
    TMPStreamReader& reader = Attached();
    MP_ASSERT(reader.Seekable());
    const int64_t end = found_.Contains(TMP3InfoItem::MacBinary) ? macDataEnd_ : reader.Size();
    const int64_t tagOffset = end - kId3v1Size;
    if (tagOffset < 0 || tagOffset > reader.Size())
        return false;
    reader.Seek(tagOffset, kSeekFromBeginning);
    if (!FillWithin(reader, kId3v1Size) || !BufferedBytesAre(reader, 0, "TAG"))
        return false;
    const uint8_t* tag = reader.Buffer();
    id3v1Fields_.push_back("TITLE=" + TextField(tag + 3, 30));
    id3v1Fields_.push_back("ARTIST=" + TextField(tag + 33, 30));
    id3v1Fields_.push_back("ALBUM=" + TextField(tag + 63, 30));
    id3v1Fields_.push_back("YEAR=" + TextField(tag + 93, 4));
    id3v1Fields_.push_back("COMMENT=" + TextField(tag + 97, 30));
    id3v1Fields_.push_back("GENRE=" + std::string(Id3v1Genres[tag[127]]));
    // ID3v1.1: a zero byte 125 ends the comment and makes byte 126 the track number.
    if (tag[125] == 0)
        id3v1Fields_.push_back("TRACK=" + std::to_string(tag[126]));
    id3v1Offset_ = reader.Position();
    return reader.Skip(kId3v1Size);
}

} // namespace pt4
