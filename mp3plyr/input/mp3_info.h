// Containers and tags of an MPEG audio file: where the audio data lies (past a MacBinary header,
// inside a RIFF "data" chunk, behind ID3v2 tags, before an APE tag) and the text lines of ID3v1,
// ID3v2, RIFF LIST/INFO, Lyrics3 and APE tags. 8-bit text is kept as the bytes found in the file;
// ID3v2 texts in UTF-16 or UTF-8 and APE texts are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mp3plyr/input/stream_reader.h"

namespace pt4 {

// What TMP3Info has recognised; the values are the bit numbers of TMP3InfoItems.
enum class TMP3InfoItem : uint8_t { Id3v1 = 0, Id3v2 = 1, RiffData = 2, MacBinary = 3, Lyrics3 = 4, Ape = 5 };

inline constexpr TMP3InfoItem kAllInfoItems[] = {TMP3InfoItem::Id3v1,    TMP3InfoItem::Id3v2,
                                                 TMP3InfoItem::RiffData, TMP3InfoItem::MacBinary,
                                                 TMP3InfoItem::Lyrics3,  TMP3InfoItem::Ape};

// "Id3v1", "Id3v2", "RiffData", "MacBinary", "Lyrics3", "Ape".
std::string_view InfoItemName(TMP3InfoItem item);

// A set of TMP3InfoItem in one byte (bit n = item n).
class TMP3InfoItems {
public:
    constexpr TMP3InfoItems() = default;
    constexpr bool Contains(TMP3InfoItem item) const { return (bits_ & Bit(item)) != 0; }
    constexpr void Include(TMP3InfoItem item) { bits_ = static_cast<uint8_t>(bits_ | Bit(item)); }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr uint8_t Bits() const { return bits_; }
    friend constexpr bool operator==(TMP3InfoItems, TMP3InfoItems) = default;

private:
    static constexpr uint8_t Bit(TMP3InfoItem item)
    {
        return static_cast<uint8_t>(1u << static_cast<int>(item));
    }
    uint8_t bits_ = 0;
};

// The picture an ID3v2 tag carries for the file: its front cover, else its first picture.
// The texts the player shows, as the first ID3v2 frame that can be read gives them: compressed
// or encrypted frames give none.
struct TId3v2Texts {
    std::optional<std::string> Title;
    std::optional<std::string> Artist;
    // The first that is not empty.
    std::string Album;
};

struct TMP3Picture {
    // As the frame gives it; a version 2.2 image format ("JPG", "PNG") as its MIME type.
    std::string MimeType;
    // The frame's picture type: 3 is the front cover.
    uint8_t Type = 0;
    // The image file's bytes; empty when the tags hold no picture.
    std::vector<uint8_t> Data;
};

class TMP3Info {
public:
    // DataLength and RiffDataLength while no length is known: past the end of any stream.
    static constexpr int64_t kUnknownLength = kMaxStreamOffset;

    TMP3Info() = default;

    // Clears, then remembers `reader` (not owned) for the reads that follow.
    void Attach(TMPStreamReader& reader);
    // Forgets the reader and every result.
    void Clear();

    // At the reader's read point: MacBinary header, RIFF container up to its "data" chunk,
    // ID3v2 tags one after the other. True if at least one byte follows them.
    bool ReadLeadingInfo();
    // Seekable readers only (otherwise false at once): completes DataLength and reads
    // RIFF LIST/INFO, ID3v1, Lyrics3 and an APE tag from the end; the APE tag and what follows
    // it are taken off DataLength. Leaves the read point anywhere.
    bool ReadTrailingInfo();

    // The longest of ID3v1 "TITLE", the first readable ID3v2 "TIT2" (or "TT2"), RIFF "INAM" and
    // APE "Title" (earlier source on a tie), or empty. See DisplayText for showing it.
    std::string GetTitle() const;
    // The same for ID3v1 "ARTIST", ID3v2 "TPE1" (or "TP1"), RIFF "IART" and APE "Artist".
    std::string GetArtist() const;
    // The same for ID3v1 "ALBUM", the first readable ID3v2 "TALB" (or "TAL"), RIFF "IPRD" and
    // APE "Album".
    std::string GetAlbum() const;

    TMPStreamReader* Reader() const { return reader_; }
    TMP3InfoItems Found() const { return found_; }
    int64_t DataStart() const { return dataStart_; }
    int64_t DataLength() const { return dataLength_; }
    int64_t MacDataEnd() const { return macDataEnd_; }
    int64_t RiffDataStart() const { return riffDataStart_; }
    int64_t RiffDataLength() const { return riffDataLength_; }
    int64_t Id3v1Offset() const { return id3v1Offset_; }
    // Offset of the APE tag (its header when it has one); valid when Ape was found.
    int64_t ApeOffset() const { return apeOffset_; }
    // Major version of the first ID3v2 tag read (2, 3 or 4; others are stepped over unread),
    // 0 when there was none.
    int32_t Id3v2Version() const { return id3v2Version_; }
    // Lines "ID=value" from RIFF LIST/INFO.
    const std::vector<std::string>& RiffInfoFields() const { return riffInfoFields_; }
    // Lines "TITLE=", "ARTIST=", "ALBUM=", "YEAR=", "COMMENT=", "GENRE=" and maybe "TRACK=".
    const std::vector<std::string>& Id3v1Fields() const { return id3v1Fields_; }
    // Lines "frame ID=content" of the ID3v2 frames, tag after tag, in file order.
    const std::vector<std::string>& Id3v2Frames() const { return id3v2Frames_; }
    // The front cover of the ID3v2 tags (APIC or PIC type 3), else their first picture.
    const TMP3Picture& Picture() const { return picture_; }
    // "LYRICS=text" (Lyrics3 version 1) or "field ID=value" lines (version 2.00).
    const std::vector<std::string>& LyricsFields() const { return lyricsFields_; }
    // "key=value" lines of the APE tag's items; binary values as "N bytes".
    const std::vector<std::string>& ApeItems() const { return apeItems_; }

private:
    TMPStreamReader& Attached() const;

    // Leading items (macbinary.cpp, riff_chunks.cpp, id3v2_tag.cpp).
    bool ReadMacBinaryHeader();
    bool ReadRiffHeader();
    bool FindChunk(std::string_view id, std::string_view listType = {});
    bool ReadDataChunk();
    bool ReadId3v2Tag();
    bool WalkId3v2Frames(int64_t tagEnd);

    // Trailing items (riff_chunks.cpp, id3v1_tag.cpp, lyrics3.cpp).
    void ReadRiffInfoAfterData();
    bool ReadInfoList();
    bool ReadId3v1Tag();
    bool ReadLyrics3();
    bool ReadLyrics3v1(int64_t end);
    bool ReadLyrics3v2(int64_t end);
    bool ReadApeTag();

    TMPStreamReader* reader_ = nullptr;
    TMP3InfoItems found_;
    int64_t dataStart_ = 0;
    int64_t dataLength_ = kUnknownLength;
    int64_t macDataEnd_ = 0;
    int64_t riffDataStart_ = 0;
    int64_t riffDataLength_ = kUnknownLength;
    std::vector<std::string> riffInfoFields_;
    std::vector<std::string> id3v1Fields_;
    int64_t id3v1Offset_ = 0;
    std::vector<std::string> id3v2Frames_;
    TId3v2Texts id3v2Texts_;
    TMP3Picture picture_;
    std::vector<std::string> lyricsFields_;
    int64_t lyricsStart_ = 0;
    std::vector<std::string> apeItems_;
    int64_t apeOffset_ = 0;
    int32_t id3v2Version_ = 0;
};

} // namespace pt4
