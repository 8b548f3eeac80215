// Builds container and tag bytes for tests: ID3v2, ID3v1, Lyrics3, RIFF WAVE and MacBinary,
// with overrides for the size fields that hostile files get wrong.
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

struct Id3v2Options {
    uint8_t version = 3;
    uint8_t flags = 0;
    std::optional<uint32_t> extendedHeaderSize; // sets flag 0x40 and writes this size
    size_t extendedHeaderBytes = 6;             // bytes of extended header after its size
    size_t padding = 0;                         // zero bytes after the frames
    std::optional<uint32_t> rawSize;            // header size bytes as given, not computed

    Id3v2Options& Version(uint8_t value) { return version = value, *this; }
    Id3v2Options& Padding(size_t bytes) { return padding = bytes, *this; }
    Id3v2Options& ExtendedHeader(uint32_t declaredSize, size_t bytes = 6)
    {
        return extendedHeaderSize = declaredSize, extendedHeaderBytes = bytes, *this;
    }
    Id3v2Options& RawSize(uint32_t value) { return rawSize = value, *this; }
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
