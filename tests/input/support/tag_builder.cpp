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

namespace {

Bytes Synchsafe(uint32_t value)
{
    return {static_cast<uint8_t>((value >> 21) & 0x7F), static_cast<uint8_t>((value >> 14) & 0x7F),
            static_cast<uint8_t>((value >> 7) & 0x7F), static_cast<uint8_t>(value & 0x7F)};
}

void AppendUtf16(Bytes& out, std::string_view utf8, bool bigEndian)
{
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<uint8_t>(utf8[i]);
        uint32_t c = lead;
        size_t length = 1;
        if (lead >= 0xE0)
            c = lead & 0x0F, length = 3;
        else if (lead >= 0xC0)
            c = lead & 0x1F, length = 2;
        for (size_t k = 1; k < length; ++k)
            c = c << 6 | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
        i += length;
        const auto high = static_cast<uint8_t>(c >> 8);
        const auto low = static_cast<uint8_t>(c);
        out.push_back(bigEndian ? high : low);
        out.push_back(bigEndian ? low : high);
    }
}

Bytes EncodedText(uint8_t encoding, std::initializer_list<std::string_view> strings, bool bigEndian)
{
    Bytes out{encoding};
    const bool wide = encoding == 1 || encoding == 2;
    bool first = true;
    for (std::string_view text : strings) {
        if (!first)
            out.insert(out.end(), wide ? 2 : 1, 0);
        first = false;
        if (encoding == 1) {
            out.push_back(bigEndian ? 0xFE : 0xFF);
            out.push_back(bigEndian ? 0xFF : 0xFE);
        }
        if (wide)
            AppendUtf16(out, text, encoding == 2 || bigEndian);
        else
            Append(out, ToBytes(text));
    }
    return out;
}

} // namespace

Bytes Latin1Text(std::initializer_list<std::string_view> strings)
{
    return EncodedText(0, strings, false);
}

Bytes Utf8Text(std::initializer_list<std::string_view> strings)
{
    return EncodedText(3, strings, false);
}

Bytes Utf16Text(std::initializer_list<std::string_view> strings, bool bigEndian)
{
    return EncodedText(1, strings, bigEndian);
}

Bytes Utf16BigEndianText(std::initializer_list<std::string_view> strings)
{
    return EncodedText(2, strings, true);
}

Bytes Unsynchronised(const Bytes& bytes)
{
    Bytes out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == 0xFF && (i + 1 == bytes.size() || bytes[i + 1] >= 0xE0 || bytes[i + 1] == 0))
            out.push_back(0);
    }
    return out;
}

Bytes Id3v24Frame(std::string_view id, const Bytes& body, uint8_t formatFlags, bool plainSize)
{
    Bytes frame = Id3v2FrameRaw(id, static_cast<uint32_t>(body.size()), body);
    if (!plainSize) {
        const Bytes size = Synchsafe(static_cast<uint32_t>(body.size()));
        std::copy(size.begin(), size.end(), frame.begin() + 4);
    }
    frame[9] = formatFlags;
    return frame;
}

Bytes Id3v22Frame(std::string_view id, const Bytes& body)
{
    RequireLength(id, 3, "ID3v2.2 frame ID");
    Bytes frame = ToBytes(id);
    for (int shift : {16, 8, 0})
        frame.push_back(static_cast<uint8_t>(body.size() >> shift));
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
    if (options.unsynchronise) {
        body = Unsynchronised(body);
        flags |= 0x80;
    }
    if (options.footer)
        flags |= 0x10;

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
    const Bytes header = tag;
    Append(tag, body);
    if (options.footer) {
        Append(tag, ToBytes("3DI"));
        tag.insert(tag.end(), header.begin() + 3, header.end());
    }
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

Bytes ApeItem(std::string_view key, std::string_view value, uint32_t flags)
{
    Bytes item(8, 0);
    PutLittleEndian32(item, 0, static_cast<uint32_t>(value.size()));
    PutLittleEndian32(item, 4, flags);
    Append(item, ToBytes(key));
    item.push_back(0);
    Append(item, ToBytes(value));
    return item;
}

Bytes ApeTag(const std::vector<Bytes>& items, bool withHeader, uint32_t version)
{
    Bytes body;
    for (const Bytes& item : items)
        Append(body, item);
    auto headerOrFooter = [&](uint32_t flags) {
        Bytes block = ToBytes("APETAGEX");
        block.resize(32, 0);
        PutLittleEndian32(block, 8, version);
        PutLittleEndian32(block, 12, static_cast<uint32_t>(body.size() + 32));
        PutLittleEndian32(block, 16, static_cast<uint32_t>(items.size()));
        PutLittleEndian32(block, 20, flags);
        return block;
    };
    const uint32_t hasHeader = withHeader ? 0x80000000u : 0;
    Bytes tag = withHeader ? headerOrFooter(hasHeader | 0x20000000u) : Bytes{};
    Append(tag, body);
    Append(tag, headerOrFooter(hasHeader));
    return tag;
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
