#include "tag_builder.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace pt4::test {

Bytes ToBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        Append(out, part);
    return out;
}

void Append(Bytes& to, const Bytes& more)
{
    to.insert(to.end(), more.begin(), more.end());
}

void PutBigEndian32(Bytes& bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<uint8_t>(value >> (24 - 8 * i));
}

void PutLittleEndian32(Bytes& bytes, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<uint8_t>(value >> (8 * i));
}

Bytes AudioBytes(size_t count)
{
    static constexpr uint8_t kHeader[] = {0xFF, 0xFB, 0x90, 0xC4};
    Bytes out(count);
    for (size_t i = 0; i < count; ++i)
        out[i] = i < sizeof kHeader ? kHeader[i] : static_cast<uint8_t>(0x80 | ((i * 37) & 0x7F));
    return out;
}

namespace {

void RequireLength(std::string_view text, size_t length, const char* what)
{
    if (text.size() != length)
        throw std::invalid_argument(std::string(what) + " must have " + std::to_string(length) +
                                    " characters");
}

std::string Digits(size_t value, int width)
{
    char text[16];
    std::snprintf(text, sizeof text, "%0*zu", width, value);
    return text;
}

} // namespace

Bytes Id3v2FrameRaw(std::string_view id, uint32_t declaredSize, const Bytes& body)
{
    RequireLength(id, 4, "ID3v2 frame ID");
    Bytes frame = ToBytes(id);
    frame.resize(10, 0);
    PutBigEndian32(frame, 4, declaredSize);
    Append(frame, body);
    return frame;
}

Bytes Id3v2Frame(std::string_view id, std::string_view text, uint8_t encoding)
{
    Bytes body{encoding};
    Append(body, ToBytes(text));
    return Id3v2FrameRaw(id, static_cast<uint32_t>(body.size()), body);
}

Bytes Id3v2Tag(const std::vector<Bytes>& frames, const Id3v2Options& options)
{
    Bytes body;
    uint8_t flags = options.flags;
    if (options.extendedHeaderSize) {
        flags |= 0x40;
        Bytes extended(4 + options.extendedHeaderBytes, 0);
        PutBigEndian32(extended, 0, *options.extendedHeaderSize);
        Append(body, extended);
    }
    for (const Bytes& frame : frames)
        Append(body, frame);
    body.resize(body.size() + options.padding, 0);

    Bytes tag = ToBytes("ID3");
    tag.push_back(options.version);
    tag.push_back(0);
    tag.push_back(flags);
    tag.resize(10, 0);
    if (options.rawSize) {
        PutBigEndian32(tag, 6, *options.rawSize);
    } else {
        const size_t size = body.size();
        if (size >= (size_t{1} << 28))
            throw std::invalid_argument("ID3v2 tag too large");
        for (int i = 0; i < 4; ++i)
            tag[6 + i] = static_cast<uint8_t>((size >> (21 - 7 * i)) & 0x7F);
    }
    Append(tag, body);
    return tag;
}

Bytes Id3v1Tag(const Id3v1Values& values)
{
    Bytes tag(128, static_cast<uint8_t>(values.pad));
    auto put = [&](size_t offset, size_t width, std::string_view text) {
        if (text.size() > width)
            throw std::invalid_argument("ID3v1 field too long");
        std::copy(text.begin(), text.end(), tag.begin() + static_cast<ptrdiff_t>(offset));
    };
    put(0, 3, "TAG");
    put(3, 30, values.title);
    put(33, 30, values.artist);
    put(63, 30, values.album);
    put(93, 4, values.year);
    put(97, values.track ? 28 : 30, values.comment);
    if (values.track) {
        tag[125] = 0;
        tag[126] = *values.track;
    }
    tag[127] = values.genre;
    return tag;
}

Bytes Lyrics3v1(std::string_view lyrics)
{
    return Concat({ToBytes("LYRICSBEGIN"), ToBytes(lyrics), ToBytes("LYRICSEND")});
}

Bytes Lyrics3v2Field(std::string_view id, std::string_view value, std::optional<std::string> lengthText)
{
    RequireLength(id, 3, "Lyrics3 field ID");
    const std::string length = lengthText.value_or(Digits(value.size(), 5));
    RequireLength(length, 5, "Lyrics3 field length");
    return Concat({ToBytes(id), ToBytes(length), ToBytes(value)});
}

Bytes Lyrics3v2(const std::vector<Bytes>& fields, std::optional<std::string> sizeText)
{
    Bytes block = ToBytes("LYRICSBEGIN");
    for (const Bytes& field : fields)
        Append(block, field);
    const std::string size = sizeText.value_or(Digits(block.size(), 6));
    RequireLength(size, 6, "Lyrics3 size");
    return Concat({block, ToBytes(size), ToBytes("LYRICS200")});
}

Bytes RiffChunk(std::string_view id, const Bytes& payload, std::optional<uint32_t> declaredSize)
{
    RequireLength(id, 4, "RIFF chunk ID");
    Bytes chunk = ToBytes(id);
    chunk.resize(8, 0);
    PutLittleEndian32(chunk, 4, declaredSize.value_or(static_cast<uint32_t>(payload.size())));
    Append(chunk, payload);
    if (payload.size() % 2 != 0)
        chunk.push_back(0);
    return chunk;
}

Bytes RiffInfoList(const TextPairs& items)
{
    Bytes payload = ToBytes("INFO");
    for (const auto& [id, text] : items) {
        Bytes value = ToBytes(text);
        value.push_back(0);
        Append(payload, RiffChunk(id, value));
    }
    return RiffChunk("LIST", payload);
}

Bytes WaveFormatChunk()
{
    // MPEG Layer III format tag 0x55, stereo, 44100 Hz, 16000 bytes/s, block align 1.
    const Bytes format{0x55, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x80,
                       0x3E, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
    return RiffChunk("fmt ", format);
}

Bytes RiffWave(const std::vector<Bytes>& chunks)
{
    Bytes body = ToBytes("WAVE");
    for (const Bytes& chunk : chunks)
        Append(body, chunk);
    return RiffChunk("RIFF", body);
}

Bytes MacBinaryHeader(std::string_view name, uint32_t dataForkLength, uint32_t resourceForkLength)
{
    if (name.empty() || name.size() > 63)
        throw std::invalid_argument("MacBinary name length");
    Bytes header(128, 0);
    header[1] = static_cast<uint8_t>(name.size());
    std::copy(name.begin(), name.end(), header.begin() + 2);
    std::copy_n("MPG3", 4, header.begin() + 65); // file type
    std::copy_n("PlTn", 4, header.begin() + 69); // creator
    PutBigEndian32(header, 83, dataForkLength);
    PutBigEndian32(header, 87, resourceForkLength);
    return header;
}

Bytes MacBinaryFile(std::string_view name, const Bytes& dataFork, const Bytes& resourceFork)
{
    auto padded = [](Bytes fork) {
        fork.resize((fork.size() + 127) / 128 * 128, 0);
        return fork;
    };
    return Concat({MacBinaryHeader(name, static_cast<uint32_t>(dataFork.size()),
                                   static_cast<uint32_t>(resourceFork.size())),
                   padded(dataFork), padded(resourceFork)});
}

} // namespace pt4::test
