// Builds container and tag bytes for tests: ID3v2 (2.2, 2.3, 2.4), ID3v1, Lyrics3, APE, RIFF WAVE
// and MacBinary, with overrides for the size fields that hostile files get wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pt4::test {

using Bytes = std::vector<uint8_t>;
using TextPairs = std::vector<std::pair<std::string, std::string>>;

Bytes ToBytes(std::string_view text);
Bytes Concat(std::initializer_list<Bytes> parts);
void Append(Bytes& to, const Bytes& more);
void PutBigEndian32(Bytes& bytes, size_t offset, uint32_t value);
void PutLittleEndian32(Bytes& bytes, size_t offset, uint32_t value);

// Stand-in audio: starts with an MPEG frame header and holds no byte that could start a tag
// or container signature (all bytes >= 0x80, first byte not 0).
Bytes AudioBytes(size_t count);

// --- ID3v2 ---
// A frame whose size field is 1 + text length: encoding byte, then the text.
Bytes Id3v2Frame(std::string_view id, std::string_view text, uint8_t encoding = 0);
// A frame with any declared size and any body bytes.
Bytes Id3v2FrameRaw(std::string_view id, uint32_t declaredSize, const Bytes& body);
// A version 2.4 frame: synchsafe size of the body (or the body size written plainly, as some
// writers do), the given format flags (second flag byte).
Bytes Id3v24Frame(std::string_view id, const Bytes& body, uint8_t formatFlags = 0, bool plainSize = false);
// A version 2.2 frame: three-letter ID, three-byte size.
Bytes Id3v22Frame(std::string_view id, const Bytes& body);
// Text bodies: encoding byte, then the strings each with its terminator but the last.
Bytes Latin1Text(std::initializer_list<std::string_view> strings);
Bytes Utf8Text(std::initializer_list<std::string_view> strings);
// UTF-16 with a byte-order mark per string (encoding 1); ASCII and BMP text given as UTF-8.
Bytes Utf16Text(std::initializer_list<std::string_view> strings, bool bigEndian = false);
// UTF-16BE without byte-order marks (encoding 2).
Bytes Utf16BigEndianText(std::initializer_list<std::string_view> strings);
// FF becomes FF 00 wherever it is followed by a byte >= E0 or by 00, or ends the bytes.
Bytes Unsynchronised(const Bytes& bytes);

struct Id3v2Options {
    uint8_t version = 3;
    uint8_t flags = 0;
    std::optional<uint32_t> extendedHeaderSize; // sets flag 0x40 and writes this size
    size_t extendedHeaderBytes = 6;             // bytes of extended header after its size
    size_t padding = 0;                         // zero bytes after the frames
    std::optional<uint32_t> rawSize;            // header size bytes as given, not computed
    bool unsynchronise = false;                 // flag 0x80, the body unsynchronised
    bool footer = false;                        // version 2.4: flag 0x10 and a footer

    Id3v2Options& Version(uint8_t value) { return version = value, *this; }
    Id3v2Options& Padding(size_t bytes) { return padding = bytes, *this; }
    Id3v2Options& ExtendedHeader(uint32_t declaredSize, size_t bytes = 6)
    {
        return extendedHeaderSize = declaredSize, extendedHeaderBytes = bytes, *this;
    }
    Id3v2Options& RawSize(uint32_t value) { return rawSize = value, *this; }
    Id3v2Options& Unsynchronise() { return unsynchronise = true, *this; }
    Id3v2Options& Footer() { return footer = true, *this; }
};
Bytes Id3v2Tag(const std::vector<Bytes>& frames, const Id3v2Options& options = {});

// --- ID3v1 ---
struct Id3v1Values {
    std::string title, artist, album, year, comment;
    std::optional<uint8_t> track; // ID3v1.1: byte 125 = 0, byte 126 = track
    uint8_t genre = 12;
    char pad = '\0'; // fill of the text fields: NUL or space

    Id3v1Values& Title(std::string text) { return title = std::move(text), *this; }
    Id3v1Values& Artist(std::string text) { return artist = std::move(text), *this; }
    Id3v1Values& Album(std::string text) { return album = std::move(text), *this; }
    Id3v1Values& Year(std::string text) { return year = std::move(text), *this; }
    Id3v1Values& Comment(std::string text) { return comment = std::move(text), *this; }
    Id3v1Values& Track(uint8_t number) { return track = number, *this; }
    Id3v1Values& Genre(uint8_t number) { return genre = number, *this; }
    Id3v1Values& Pad(char fill) { return pad = fill, *this; }
};
Bytes Id3v1Tag(const Id3v1Values& values);

// --- Lyrics3 ---
Bytes Lyrics3v1(std::string_view lyrics);
// A field: 3-byte ID, 5-digit length (or the given length text), value.
Bytes Lyrics3v2Field(std::string_view id, std::string_view value, std::optional<std::string> lengthText = {});
// "LYRICSBEGIN", the fields, the 6-digit size (or the given text) and "LYRICS200".
Bytes Lyrics3v2(const std::vector<Bytes>& fields, std::optional<std::string> sizeText = {});

// --- APE ---
// An item: value size, flags, key, NUL, value.
Bytes ApeItem(std::string_view key, std::string_view value, uint32_t flags = 0);
// Items and a footer (version 2000 or 1000), with a header in front when asked.
Bytes ApeTag(const std::vector<Bytes>& items, bool withHeader = true, uint32_t version = 2000);

// --- RIFF ---
// Chunk header, payload and a pad byte for odd payloads; size field = payload size unless given.
Bytes RiffChunk(std::string_view id, const Bytes& payload, std::optional<uint32_t> declaredSize = {});
// A "LIST" chunk of type "INFO" holding NUL-terminated text sub-chunks.
Bytes RiffInfoList(const TextPairs& items);
// "fmt " chunk for MPEG Layer III audio.
Bytes WaveFormatChunk();
// "RIFF", size, "WAVE", chunks.
Bytes RiffWave(const std::vector<Bytes>& chunks);

// --- MacBinary ---
Bytes MacBinaryHeader(std::string_view name, uint32_t dataForkLength, uint32_t resourceForkLength);
// Header, data fork and resource fork, each fork padded to a multiple of 128 bytes.
Bytes MacBinaryFile(std::string_view name, const Bytes& dataFork, const Bytes& resourceFork);

} // namespace pt4::test
