#include "mp3plyr/input/embedded_tags.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace pt4 {

namespace {

constexpr size_t kHeaderSize = 10;
constexpr uint8_t kUnsynchronisation = 0x80;
constexpr uint8_t kExtendedHeader = 0x40;
constexpr uint8_t kFrontCover = 3;
// Larger tags are not read for a picture.
constexpr size_t kLargestTag = 16u << 20;

uint32_t SyncSafe(const uint8_t* p)
{
    return uint32_t(p[0] & 0x7F) << 21 | uint32_t(p[1] & 0x7F) << 14 | uint32_t(p[2] & 0x7F) << 7 |
           (p[3] & 0x7F);
}

uint32_t BigEndian(const uint8_t* p, size_t bytes)
{
    uint32_t value = 0;
    for (size_t i = 0; i < bytes; ++i)
        value = value << 8 | p[i];
    return value;
}

// Undoes unsynchronisation: every 0xFF 0x00 becomes 0xFF.
std::vector<uint8_t> Resynchronised(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> out;
    out.reserve(size);
    for (size_t i = 0; i < size; ++i) {
        out.push_back(data[i]);
        if (data[i] == 0xFF && i + 1 < size && data[i + 1] == 0x00)
            ++i;
    }
    return out;
}

// Text frame content (encoding byte first) as DisplayText reads it.
std::string FrameText(const uint8_t* content, size_t size)
{
    if (size < 2)
        return {};
    std::string text(reinterpret_cast<const char*>(content + 1), size - 1);
    if (content[0] == 2)
        text.insert(0, "\xFE\xFF"); // UTF-16 big-endian without a byte-order mark
    return text;
}

// Where the NUL that ends a string of this encoding lies at or after `from`; size when none.
size_t TextEnd(const uint8_t* content, size_t size, size_t from, uint8_t encoding)
{
    const bool wide = encoding == 1 || encoding == 2;
    for (size_t i = from; i < size; i += wide ? 2 : 1) {
        if (!wide && content[i] == 0)
            return i;
        if (wide && i + 1 < size && content[i] == 0 && content[i + 1] == 0)
            return i;
    }
    return size;
}

std::string Extension(const std::vector<uint8_t>& picture)
{
    const auto starts = [&picture](const char* magic, size_t length) {
        return picture.size() >= length && std::memcmp(picture.data(), magic, length) == 0;
    };
    if (starts("\x89PNG", 4))
        return "png";
    if (starts("\xFF\xD8\xFF", 3))
        return "jpg";
    if (starts("GIF8", 4))
        return "gif";
    return {};
}

// A picture frame: APIC (2.3, 2.4: MIME type text) or PIC (2.2: three-letter format).
void TakePicture(const uint8_t* content, size_t size, int version, TEmbeddedTags& tags, bool& haveFront)
{
    if (size < 2 || haveFront)
        return;
    const uint8_t encoding = content[0];
    size_t at = 1;
    if (version == 2) {
        at += 3;
    } else {
        at = TextEnd(content, size, 1, 0) + 1;
    }
    if (at >= size)
        return;
    const uint8_t type = content[at++];
    at = TextEnd(content, size, at, encoding) + ((encoding == 1 || encoding == 2) ? 2 : 1);
    if (at >= size)
        return;
    if (!tags.picture.empty() && type != kFrontCover)
        return;
    tags.picture.assign(content + at, content + size);
    tags.pictureExtension = Extension(tags.picture);
    haveFront = type == kFrontCover;
}

} // namespace

TEmbeddedTags ReadId3v2Extras(const uint8_t* data, size_t size)
{
    TEmbeddedTags tags;
    if (size < kHeaderSize || std::memcmp(data, "ID3", 3) != 0)
        return tags;
    const int version = data[3];
    if (version < 2 || version > 4)
        return tags;
    const uint8_t flags = data[5];
    const size_t tagSize = std::min<size_t>(SyncSafe(data + 6), size - kHeaderSize);
    std::vector<uint8_t> body(data + kHeaderSize, data + kHeaderSize + tagSize);
    if (version < 4 && (flags & kUnsynchronisation))
        body = Resynchronised(body.data(), body.size());

    size_t at = 0;
    if (version >= 3 && (flags & kExtendedHeader) && body.size() >= 4) {
        // 2.3 counts the size without its own four bytes, 2.4 with them.
        const size_t extended = version == 3 ? BigEndian(body.data(), 4) + 4 : SyncSafe(body.data());
        at = extended;
    }
    const size_t idSize = version == 2 ? 3 : 4;
    const size_t frameHeader = version == 2 ? 6 : 10;
    bool haveFront = false;
    while (at + frameHeader <= body.size() && body[at] != 0) {
        const uint8_t* header = body.data() + at;
        const std::string id(reinterpret_cast<const char*>(header), idSize);
        const size_t frameSize = version == 2   ? BigEndian(header + 3, 3)
                                 : version == 3 ? BigEndian(header + 4, 4)
                                                : SyncSafe(header + 4);
        const size_t start = at + frameHeader;
        if (frameSize > body.size() - start)
            break;
        const uint8_t* content = body.data() + start;
        size_t contentSize = frameSize;
        std::vector<uint8_t> resynchronised;
        bool readable = true;
        if (version == 3) {
            readable = (header[9] & 0xC0) == 0; // not compressed, not encrypted
        } else if (version == 4) {
            const uint8_t format = header[9];
            readable = (format & 0x0C) == 0;
            if (format & 0x01) { // a data length indicator comes first
                const size_t skip = std::min<size_t>(4, contentSize);
                content += skip;
                contentSize -= skip;
            }
            if (readable && (format & 0x02)) {
                resynchronised = Resynchronised(content, contentSize);
                content = resynchronised.data();
                contentSize = resynchronised.size();
            }
        }
        if (readable) {
            if ((id == "TALB" || id == "TAL") && tags.album.empty())
                tags.album = FrameText(content, contentSize);
            else if (id == "APIC" || id == "PIC")
                TakePicture(content, contentSize, version, tags, haveFront);
        }
        at = start + frameSize;
    }
    return tags;
}

TEmbeddedTags ReadEmbeddedTags(const std::string& fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in)
        return {};
    std::vector<uint8_t> head(kHeaderSize);
    TEmbeddedTags tags;
    if (in.read(reinterpret_cast<char*>(head.data()), std::streamsize(head.size())) &&
        std::memcmp(head.data(), "ID3", 3) == 0) {
        const size_t tagSize = std::min<size_t>(SyncSafe(head.data() + 6), kLargestTag);
        head.resize(kHeaderSize + tagSize);
        in.read(reinterpret_cast<char*>(head.data() + kHeaderSize), std::streamsize(tagSize));
        head.resize(kHeaderSize + size_t(std::max<std::streamsize>(0, in.gcount())));
        tags = ReadId3v2Extras(head.data(), head.size());
    }
    if (tags.album.empty()) {
        // ID3v1: "TAG", title 30, artist 30, album 30, ...
        in.clear();
        char v1[128];
        if (in.seekg(-128, std::ios::end) && in.read(v1, sizeof v1) && std::memcmp(v1, "TAG", 3) == 0)
            tags.album.assign(v1 + 63, 30);
    }
    return tags;
}

} // namespace pt4
