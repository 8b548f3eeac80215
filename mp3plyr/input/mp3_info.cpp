#include "mp3plyr/input/mp3_info.h"

#include <algorithm>
#include <optional>

#include "mp3plyr/errors.h"
#include "mp3plyr/input/tag_text.h"

namespace pt4 {

std::string_view InfoItemName(TMP3InfoItem item)
{
    switch (item) {
    case TMP3InfoItem::Id3v1: return "Id3v1";
    case TMP3InfoItem::Id3v2: return "Id3v2";
    case TMP3InfoItem::RiffData: return "RiffData";
    case TMP3InfoItem::MacBinary: return "MacBinary";
    case TMP3InfoItem::Lyrics3: return "Lyrics3";
    case TMP3InfoItem::Ape: return "Ape";
    }
    return {};
}

void TMP3Info::Attach(TMPStreamReader& reader)
{
    Clear();
    reader_ = &reader;
}

void TMP3Info::Clear()
{
    reader_ = nullptr;
    found_ = {};
    dataStart_ = 0;
    dataLength_ = kUnknownLength;
    macDataEnd_ = 0;
    riffDataStart_ = 0;
    riffDataLength_ = kUnknownLength;
    id3v1Offset_ = 0;
    riffInfoFields_.clear();
    id3v1Fields_.clear();
    id3v2Frames_.clear();
    id3v2Texts_ = {};
    picture_ = {};
    lyricsFields_.clear();
    lyricsStart_ = 0;
    apeItems_.clear();
    apeOffset_ = 0;
    id3v2Version_ = 0;
}

TMPStreamReader& TMP3Info::Attached() const
{
    MP_ASSERT(reader_ != nullptr);
    return *reader_;
}

bool TMP3Info::ReadLeadingInfo()
{
    TMPStreamReader& reader = Attached();
    if (ReadMacBinaryHeader())
        found_.Include(TMP3InfoItem::MacBinary);
    if (ReadRiffHeader() && FindChunk("data") && ReadDataChunk())
        found_.Include(TMP3InfoItem::RiffData);
    // Taggers that put a new tag in front of the old one leave several in a row.
    while (ReadId3v2Tag())
        found_.Include(TMP3InfoItem::Id3v2);
    return reader.Fill(1);
}

bool TMP3Info::ReadTrailingInfo()
{
    TMPStreamReader& reader = Attached();
    if (!reader.Seekable())
        return false;
    if (dataLength_ == kUnknownLength)
        dataLength_ = std::max<int64_t>(0, reader.Size() - dataStart_);
    if (found_.Contains(TMP3InfoItem::RiffData))
        ReadRiffInfoAfterData();
    if (ReadId3v1Tag())
        found_.Include(TMP3InfoItem::Id3v1);
    if (ReadLyrics3())
        found_.Include(TMP3InfoItem::Lyrics3);
    if (ReadApeTag()) {
        found_.Include(TMP3InfoItem::Ape);
        // The audio ends where the APE tag begins.
        dataLength_ = std::clamp<int64_t>(apeOffset_ - dataStart_, 0, dataLength_);
    }
    return true;
}

namespace {

// The longest candidate; the earliest one wins a tie.
std::string Longest(std::initializer_list<std::optional<std::string>> candidates)
{
    std::string best;
    for (const auto& candidate : candidates)
        if (candidate && candidate->size() > best.size())
            best = *candidate;
    return best;
}

} // namespace

std::string TMP3Info::GetTitle() const
{
    return Longest({LookupValue(id3v1Fields_, "TITLE"), id3v2Texts_.Title,
                    LookupValue(riffInfoFields_, "INAM"), LookupValue(apeItems_, "Title")});
}

std::string TMP3Info::GetArtist() const
{
    return Longest({LookupValue(id3v1Fields_, "ARTIST"), id3v2Texts_.Artist,
                    LookupValue(riffInfoFields_, "IART"), LookupValue(apeItems_, "Artist")});
}

std::string TMP3Info::GetAlbum() const
{
    return Longest({LookupValue(id3v1Fields_, "ALBUM"), id3v2Texts_.Album,
                    LookupValue(riffInfoFields_, "IPRD"), LookupValue(apeItems_, "Album")});
}

} // namespace pt4
