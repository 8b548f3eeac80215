// The content of one ID3v2 frame as the text of its line: text frames decoded from their
// encoding, URLs as they are, pictures and other binary frames summarised.
#include "mp3plyr/input/id3v2_frames.h"

#include <string>
#include <vector>

#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/replay_gain.h"

namespace pt4 {

namespace {

enum : uint8_t { kLatin1 = 0, kUtf16WithBom = 1, kUtf16BigEndian = 2, kUtf8 = 3 };

// Reads the terminated strings of a frame one after the other.
class StringReader {
public:
    StringReader(std::span<const uint8_t> data, uint8_t encoding) : data_(data), encoding_(encoding) {}

    bool AtEnd() const { return at_ >= data_.size(); }
    size_t Offset() const { return at_; }
    void SkipBytes(size_t n) { at_ = std::min(data_.size(), at_ + n); }

    // The next string decoded: 8-bit text is kept as found (Latin-1 or, in older files, a
    // local code page, which the display sorts out); UTF-16 and UTF-8 become UTF-8.
    std::string Next() { return Decode(NextRaw(), encoding_); }
    // The next string as 8-bit text whatever the frame's encoding (MIME types, owners, URLs).
    std::string NextLatin1() { return std::string(NextRaw(kLatin1)); }

private:
    std::string_view NextRaw() { return NextRaw(encoding_); }

    std::string_view NextRaw(uint8_t encoding)
    {
        const bool wide = encoding == kUtf16WithBom || encoding == kUtf16BigEndian;
        const size_t start = at_;
        size_t end = start;
        if (wide) {
            while (end + 1 < data_.size() && (data_[end] != 0 || data_[end + 1] != 0))
                end += 2;
        } else {
            while (end < data_.size() && data_[end] != 0)
                ++end;
        }
        end = std::min(end, data_.size());
        at_ = std::min(data_.size(), end + (wide ? 2 : 1));
        return {reinterpret_cast<const char*>(data_.data()) + start, end - start};
    }

    std::string Decode(std::string_view raw, uint8_t encoding)
    {
        switch (encoding) {
        case kUtf16WithBom:
            // Each string carries its own byte-order mark; one without it keeps the last order.
            if (raw.size() >= 2 && raw[0] == '\xFF' && raw[1] == '\xFE') {
                bigEndian_ = false;
                raw.remove_prefix(2);
            } else if (raw.size() >= 2 && raw[0] == '\xFE' && raw[1] == '\xFF') {
                bigEndian_ = true;
                raw.remove_prefix(2);
            }
            return Utf16ToUtf8(raw, bigEndian_);
        case kUtf16BigEndian: return Utf16ToUtf8(raw, true);
        case kUtf8:
            if (raw.substr(0, 3) == "\xEF\xBB\xBF")
                raw.remove_prefix(3);
            return std::string(raw);
        default: return std::string(raw);
        }
    }

    std::span<const uint8_t> data_;
    uint8_t encoding_;
    size_t at_ = 0;
    bool bigEndian_ = false;
};

// Every remaining string, empty ones left out, joined with " / ".
std::string JoinedStrings(StringReader& strings)
{
    std::string joined;
    while (!strings.AtEnd()) {
        const std::string text = strings.Next();
        if (text.empty())
            continue;
        if (!joined.empty())
            joined += " / ";
        joined += text;
    }
    return joined;
}

std::string Described(const std::string& description, const std::string& text)
{
    return description.empty() ? text : description + ": " + text;
}

std::string BytesSummary(const std::string& kind, size_t bytes)
{
    const std::string count = std::to_string(bytes) + " bytes";
    return kind.empty() ? count : kind + ", " + count;
}

bool Is(std::string_view id, std::string_view v23, std::string_view v22)
{
    return id == v23 || id == v22;
}

// Picture formats of the three-letter picture frame, as MIME types.
std::string PictureFormat(std::string_view format)
{
    if (format == "JPG")
        return "image/jpeg";
    if (format == "PNG")
        return "image/png";
    return std::string(format);
}

constexpr uint8_t kFrontCover = 3;

struct PictureParts {
    std::string mimeType;
    uint8_t type = 0;
    std::span<const uint8_t> bytes;
};

// An APIC frame (MIME type, picture type, description, bytes) or a PIC frame of version 2.2
// (three-letter image format in place of the MIME type). `data` holds at least the encoding byte.
PictureParts ReadPictureParts(std::string_view id, std::span<const uint8_t> data)
{
    StringReader strings(data.subspan(1), data[0]);
    PictureParts picture;
    if (id == "PIC") {
        const std::string_view rest(reinterpret_cast<const char*>(data.data()) + 1, data.size() - 1);
        picture.mimeType = PictureFormat(rest.substr(0, 3));
        strings.SkipBytes(3);
    } else {
        picture.mimeType = strings.NextLatin1();
    }
    if (!strings.AtEnd())
        picture.type = data[1 + strings.Offset()];
    strings.SkipBytes(1);
    strings.Next(); // description
    picture.bytes = data.subspan(1 + strings.Offset());
    return picture;
}

} // namespace

void KeepId3v2Picture(std::string_view id, std::span<const uint8_t> data, TMP3Picture& picture)
{
    if (data.empty() || picture.Type == kFrontCover)
        return;
    PictureParts parts = ReadPictureParts(id, data);
    if (parts.bytes.empty() || (!picture.Data.empty() && parts.type != kFrontCover))
        return;
    picture.MimeType = std::move(parts.mimeType);
    picture.Type = parts.type;
    picture.Data.assign(parts.bytes.begin(), parts.bytes.end());
}

std::string Id3v2BinarySummary(size_t bytes)
{
    return BytesSummary({}, bytes);
}

std::string Id3v2FrameContent(std::string_view id, std::span<const uint8_t> data)
{
    if (id.empty())
        return BytesSummary({}, data.size());
    const bool hasEncoding = id[0] == 'T' || Is(id, "COMM", "COM") || Is(id, "USLT", "ULT") ||
                             Is(id, "WXXX", "WXX") || Is(id, "APIC", "PIC") || Is(id, "GEOB", "GEO");
    if (hasEncoding && data.empty())
        return {};
    StringReader strings(hasEncoding ? data.subspan(1) : data, hasEncoding ? data[0] : uint8_t{kLatin1});

    if (Is(id, "TXXX", "TXX")) {
        const std::string description = strings.Next();
        return Described(description, JoinedStrings(strings));
    }
    if (id[0] == 'T')
        return JoinedStrings(strings);
    if (Is(id, "COMM", "COM") || Is(id, "USLT", "ULT")) {
        strings.SkipBytes(3); // language
        const std::string description = strings.Next();
        return Described(description, JoinedStrings(strings));
    }
    if (Is(id, "WXXX", "WXX")) {
        const std::string description = strings.Next();
        return Described(description, strings.NextLatin1());
    }
    if (id[0] == 'W')
        return strings.NextLatin1();
    if (Is(id, "APIC", "PIC")) {
        const PictureParts picture = ReadPictureParts(id, data);
        return BytesSummary(picture.mimeType, picture.bytes.size());
    }
    if (Is(id, "GEOB", "GEO")) {
        const std::string mime = strings.NextLatin1();
        strings.Next(); // file name
        strings.Next(); // description
        return BytesSummary(mime, data.size() - 1 - strings.Offset());
    }
    if (Is(id, "PRIV", "PRV") || Is(id, "UFID", "UFI")) {
        const std::string owner = strings.NextLatin1();
        return BytesSummary(owner, data.size() - strings.Offset());
    }
    if (id == "RVA2")
        return VolumeAdjustmentText(data);
    return BytesSummary({}, data.size());
}

} // namespace pt4
