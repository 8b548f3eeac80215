// ID3v2 tag at the front: its length always, the frames of version 2.3 as "ID=content" lines.
#include <algorithm>

#include "mp3plyr/input/info_reading.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/tag_text.h"

namespace pt4 {

namespace {

constexpr int32_t kTagHeaderSize = 10;
constexpr int32_t kFrameHeaderSize = 10;
constexpr uint8_t kExtendedHeaderFlag = 0x40;

} // namespace

bool TMP3Info::ReadId3v2Tag()
{
    TMPStreamReader& reader = Attached();
    const int64_t tagStart = reader.Position();
    if (!FillWithin(reader, kTagHeaderSize) || !BufferedBytesAre(reader, 0, "ID3"))
        return false;
    const uint8_t* header = reader.Buffer();
    // Size bytes are taken whole (top bits not masked); the largest result still fits 30 bits.
    const int32_t size = header[6] * (1 << 21) + header[7] * (1 << 14) + header[8] * (1 << 7) + header[9];
    if (size <= 0)
        return false;
    const int64_t tagEnd = tagStart + kTagHeaderSize + size;

    if (header[3] != 3) {
        // Other versions are only stepped over.
        if (!reader.Skip(size + kTagHeaderSize))
            return false;
    } else {
        int64_t framesOffset = kTagHeaderSize;
        if (header[5] & kExtendedHeaderFlag) {
            if (!FillWithin(reader, kTagHeaderSize + 4))
                return false;
            const auto extendedSize = static_cast<int32_t>(BigEndian32(reader.Buffer() + kTagHeaderSize));
            if (extendedSize < 0 || extendedSize > size)
                return false;
            framesOffset += 4 + int64_t{extendedSize};
        }
        if (!SkipWide(reader, framesOffset) || !WalkId3v2Frames(tagEnd))
            return false;
    }

    dataStart_ = reader.Position();
    // A tag longer than the known data (a MacBinary fork or RIFF chunk that ends inside it)
    // leaves no audio rather than a negative length.
    if (dataLength_ != kUnknownLength)
        dataLength_ =
            static_cast<int32_t>(std::max<int64_t>(0, int64_t{dataLength_} - size - kTagHeaderSize));
    return true;
}

bool TMP3Info::WalkId3v2Frames(int64_t tagEnd)
{
    TMPStreamReader& reader = Attached();
    while (int64_t{reader.Position()} + kFrameHeaderSize <= tagEnd) {
        if (!FillWithin(reader, kFrameHeaderSize))
            return false;
        const auto frameSize = static_cast<int32_t>(BigEndian32(reader.Buffer() + 4));
        if (frameSize < 0)
            return false;
        const int64_t frameBytes = int64_t{frameSize} + kFrameHeaderSize;
        // Frames that do not fit the buffer are stepped over without a line.
        if (frameBytes <= reader.BufferSize()) {
            if (!reader.Fill(static_cast<int32_t>(frameBytes)))
                return false;
            const uint8_t* frame = reader.Buffer();
            std::string line = TextField(frame, 4) + "=";
            // Byte 10 is the text encoding, dropped; the content is kept untrimmed.
            if (frameSize > 1)
                line.append(reinterpret_cast<const char*>(frame + kFrameHeaderSize + 1),
                            static_cast<size_t>(frameSize - 1));
            id3v2Frames_.push_back(std::move(line));
        }
        if (int64_t{reader.Position()} + frameBytes > tagEnd)
            return false;
        if (!SkipWide(reader, frameBytes))
            return false;
    }
    return int64_t{reader.Position()} == tagEnd;
}

} // namespace pt4
