// ID3v2 tags at the front: the declared size says where the audio begins; the frames of
// versions 2.2, 2.3 and 2.4 become "ID=content" lines; the album and the picture are kept aside.
#include <algorithm>
#include <array>
#include <optional>

#include "mp3plyr/input/id3v2_frames.h"
#include "mp3plyr/input/info_reading.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/tag_text.h"

namespace pt4 {

namespace {

constexpr int32_t kTagHeaderSize = 10;
constexpr int32_t kFooterSize = 10;
constexpr uint8_t kUnsynchronisedFlag = 0x80;
constexpr uint8_t kExtendedHeaderFlag = 0x40;
constexpr uint8_t kCompressedTagFlag = 0x40; // version 2.2 only: no scheme was ever defined
constexpr uint8_t kFooterFlag = 0x10;        // version 2.4
// Tags are read into memory up to this size; frames beyond it are not listed (the audio still
// starts after the whole tag).
constexpr int64_t kMaxTagBytesRead = int64_t{16} << 20;

// Undoes unsynchronisation: every FF 00 pair stands for FF.
void Resynchronise(std::string& bytes)
{
    size_t out = 0;
    for (size_t in = 0; in < bytes.size(); ++in) {
        bytes[out++] = bytes[in];
        if (bytes[in] == '\xFF' && in + 1 < bytes.size() && bytes[in + 1] == '\0')
            ++in;
    }
    bytes.resize(out);
}

uint32_t Synchsafe32(const uint8_t* p)
{
    return uint32_t{p[0] & 0x7Fu} << 21 | uint32_t{p[1] & 0x7Fu} << 14 | uint32_t{p[2] & 0x7Fu} << 7 |
           uint32_t{p[3] & 0x7Fu};
}

bool IsIdentifierByte(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

struct FrameWalk {
    std::span<const uint8_t> body;
    uint8_t version;
    uint8_t tagFlags;

    size_t IdLength() const { return version == 2 ? 3 : 4; }
    size_t HeaderSize() const { return version == 2 ? 6 : 10; }

    // A frame of `size` bytes at `at` is followed by another frame, by padding or by the end.
    bool LandsWell(size_t at, uint64_t size) const
    {
        const uint64_t next = at + HeaderSize() + size;
        if (next == body.size())
            return true;
        if (next > body.size())
            return false;
        if (body[next] == 0)
            return true;
        return next + 4 <= body.size() &&
               std::all_of(body.begin() + long(next), body.begin() + long(next + 4), IsIdentifierByte);
    }

    // Version 2.4 sizes are synchsafe, but some writers put plain 32-bit sizes there: the plain
    // size is taken when only it lands on the next frame, padding or the end.
    uint64_t Version4FrameSize(size_t at) const
    {
        const uint8_t* p = body.data() + at + 4;
        const uint32_t plain = BigEndian32(p);
        const bool synchsafeBytes = (plain & 0x80808080u) == 0;
        const uint32_t synchsafe = Synchsafe32(p);
        if (synchsafeBytes && LandsWell(at, synchsafe))
            return synchsafe;
        if (LandsWell(at, plain))
            return plain;
        return synchsafeBytes ? synchsafe : plain;
    }

    uint64_t FrameSize(size_t at) const
    {
        const uint8_t* p = body.data() + at;
        switch (version) {
        case 2: return uint32_t{p[3]} << 16 | uint32_t{p[4]} << 8 | p[5];
        case 3: return BigEndian32(p + 4);
        default: return Version4FrameSize(at);
        }
    }

    // The frame's data after its flags are applied: extra bytes before the data stepped over,
    // version 2.4 unsynchronisation undone (into `plain`); nothing when compressed or encrypted.
    std::optional<std::span<const uint8_t>> Data(const uint8_t* header, std::span<const uint8_t> data,
                                                 std::string& plain) const
    {
        if (version == 2)
            return data;
        const uint8_t format = header[9];
        size_t extra = 0;
        bool readable = true;
        bool unsynchronised = false;
        if (version == 3) {
            readable = (format & 0xC0) == 0; // compression, encryption
            extra = (format & 0x80 ? 4 : 0) + (format & 0x40 ? 1 : 0) + (format & 0x20 ? 1 : 0);
        } else {
            readable = (format & 0x0C) == 0; // compression, encryption
            extra = (format & 0x40 ? 1 : 0) + (format & 0x04 ? 1 : 0) + (format & 0x01 ? 4 : 0);
            unsynchronised = (format & 0x02) || (tagFlags & kUnsynchronisedFlag);
        }
        if (!readable)
            return std::nullopt;
        data = data.subspan(std::min(extra, data.size()));
        if (!unsynchronised)
            return data;
        plain.assign(reinterpret_cast<const char*>(data.data()), data.size());
        Resynchronise(plain);
        return std::span(reinterpret_cast<const uint8_t*>(plain.data()), plain.size());
    }

    void Walk(size_t at, std::vector<std::string>& lines, TId3v2Texts& texts, TMP3Picture& picture) const
    {
        while (at + HeaderSize() <= body.size()) {
            const uint8_t* header = body.data() + at;
            if (header[0] == 0)
                break; // padding
            const uint64_t size = FrameSize(at);
            if (size > body.size() - at - HeaderSize())
                break;
            const std::string id = TextField(header, static_cast<int32_t>(IdLength()));
            std::string plain;
            const auto data = Data(header, body.subspan(at + HeaderSize(), size), plain);
            if (!data) {
                if (RoomForLine(lines, false))
                    lines.push_back(id + "=" + Id3v2BinarySummary(size));
            } else {
                std::string content = Id3v2FrameContent(id, *data);
                if ((id == "TIT2" || id == "TT2") && !texts.Title)
                    texts.Title = content;
                else if ((id == "TPE1" || id == "TP1") && !texts.Artist)
                    texts.Artist = content;
                else if ((id == "TALB" || id == "TAL") && texts.Album.empty())
                    texts.Album = content;
                else if (id == "APIC" || id == "PIC")
                    KeepId3v2Picture(id, *data, picture);
                const bool playerValue = id == "COMM" || id == "COM" || id == "TXXX" || id == "TXX" ||
                                         id == "RVA2" || id == "RVAD" || id == "RVA";
                if (RoomForLine(lines, playerValue))
                    lines.push_back(id + "=" + std::move(content));
            }
            at += HeaderSize() + size;
        }
    }
};

} // namespace

void ReadId3v2Frames(uint8_t version, uint8_t flags, std::string body, std::vector<std::string>& lines,
                     TId3v2Texts& texts, TMP3Picture& picture)
{
    if (version < 2 || version > 4)
        return;
    if (version == 2 && (flags & kCompressedTagFlag))
        return;
    // Versions 2.2 and 2.3 unsynchronise the whole tag, 2.4 each frame on its own.
    if (version < 4 && (flags & kUnsynchronisedFlag))
        Resynchronise(body);
    const std::span bytes(reinterpret_cast<const uint8_t*>(body.data()), body.size());
    size_t framesStart = 0;
    if (version > 2 && (flags & kExtendedHeaderFlag)) {
        if (bytes.size() < 4)
            return;
        // Version 2.3 counts the bytes after the size field, 2.4 the whole extended header.
        const uint64_t extended =
            version == 3 ? uint64_t{4} + BigEndian32(bytes.data()) : Synchsafe32(bytes.data());
        if (extended > bytes.size())
            return;
        framesStart = static_cast<size_t>(extended);
    }
    FrameWalk{bytes, version, flags}.Walk(framesStart, lines, texts, picture);
}

bool TMP3Info::ReadId3v2Tag()
{
    TMPStreamReader& reader = Attached();
    if (!FillWithin(reader, kTagHeaderSize) || !BufferedBytesAre(reader, 0, "ID3"))
        return false;
    std::array<uint8_t, kTagHeaderSize> header;
    std::copy_n(reader.Buffer(), kTagHeaderSize, header.begin());
    // Size bytes are taken whole (top bits not masked); the largest result still fits 30 bits.
    const int32_t size = header[6] * (1 << 21) + header[7] * (1 << 14) + header[8] * (1 << 7) + header[9];
    if (size <= 0)
        return false;
    const uint8_t version = header[3];
    const uint8_t flags = header[5];
    const int64_t footer = version == 4 && (flags & kFooterFlag) ? kFooterSize : 0;
    const int64_t tagBytes = kTagHeaderSize + int64_t{size} + footer;

    if (!reader.Skip(kTagHeaderSize))
        return false;
    const int64_t readable = std::min<int64_t>(size, kMaxTagBytesRead);
    std::string body;
    const bool complete = ReadBytes(reader, readable, body);
    if (id3v2Version_ == 0)
        id3v2Version_ = version;
    ReadId3v2Frames(version, flags, std::move(body), id3v2Frames_, id3v2Texts_, picture_);
    // The declared size, not the frames, decides where the audio begins.
    if (!complete || !SkipWide(reader, size - readable + footer))
        return false;

    dataStart_ = reader.Position();
    // A tag longer than the known data (a MacBinary fork or RIFF chunk that ends inside it)
    // leaves no audio rather than a negative length.
    if (dataLength_ != kUnknownLength)
        dataLength_ = std::max<int64_t>(0, dataLength_ - tagBytes);
    return true;
}

} // namespace pt4
