#include "mp3plyr/decoder/frame_header.h"

#include <algorithm>

namespace pt4 {
namespace {

constexpr uint32_t kMaxWindow = 10000;

int32_t PaddingBitAt(const uint8_t* data)
{
    return (data[2] >> 1) & 1;
}

} // namespace

bool SameSyncBytes(const uint8_t* a, const uint8_t* b)
{
    return a[0] == b[0] && a[1] == b[1];
}

bool SameStreamHeader(const uint8_t* reference, const uint8_t* candidate)
{
    auto word = [](const uint8_t* p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    constexpr uint32_t kStreamMask = 0x000CFEFF;
    return (word(reference) & kStreamMask) == (word(candidate) & kStreamMask);
}

int32_t FindFreeFormatLength(const uint8_t* data, uint32_t window)
{
    window = std::min(window, kMaxWindow);
    if (window < 4)
        return 0;
    const int32_t padBytes = ((data[1] >> 1) & 3) == 3 ? 4 : 1;
    const int32_t firstPadding = PaddingBitAt(data);
    const int32_t last = int32_t(window) - 3; // the chain may look at positions up to here

    int32_t start = 24;
    while (start < 2000) {
        int32_t found = 0;
        for (int32_t j = start; j < last; ++j) {
            if (SameSyncBytes(data, data + j)) {
                found = j;
                break;
            }
        }
        start = found + 1;
        const int32_t candidate = found - firstPadding;
        if (candidate <= 0)
            return 0;

        // Every header the chain reaches inside the window must repeat the first two bytes.
        int32_t matches = 0;
        int32_t pos = 0;
        for (;;) {
            pos += candidate + padBytes * PaddingBitAt(data + pos);
            if (pos > last)
                break;
            if (!SameSyncBytes(data, data + pos)) {
                matches = -matches;
                break;
            }
            ++matches;
        }
        if (matches > 0)
            return candidate;
    }
    return 0;
}

int32_t ParseFrameHeader(const uint8_t* data, uint32_t window, TMPFrameHeader& header)
{
    window = std::min(window, kMaxWindow);
    if (!ReadFrameHeaderFields(data, header))
        return 0;
    if (header.LayerBits == 0)
        return 0;
    if (header.BitrateIndex == 0)
        return FindFreeFormatLength(data, window);

    return FrameLength(header);
}

int32_t ParseFrameHeaderEx(const uint8_t* data, uint32_t window, TMPFrameHeader& header, int32_t& bitRate)
{
    bitRate = 0;
    const int32_t length = ParseFrameHeader(data, window, header);
    if (length < 1)
        return length;
    if (header.BitrateIndex > 0) {
        bitRate = BitrateKbps(header) * 1000;
        return length;
    }
    // Free format: the bit rate follows from the measured length.
    const int64_t rate = FreeFormatBitRate(header, length);
    bitRate = int32_t(std::clamp<int64_t>(rate, 0, INT32_MAX));
    return length;
}

int32_t FindFirstFrame(const uint8_t* data, int32_t count, TMPFrameHeader& header, int32_t& bitRate,
                       int32_t& offset)
{
    for (int32_t i = 0; i + 1 < count; ++i) {
        if (data[i] == 0xFF && (data[i + 1] >> 4) >= 0xE) {
            offset = i;
            const int32_t remaining = count - i;
            if (remaining < 4) { // a sync pattern too close to the end has no header to parse
                header.Sync = 0;
                bitRate = 0;
                return 0;
            }
            return ParseFrameHeaderEx(data + i, uint32_t(remaining), header, bitRate);
        }
    }
    return 0;
}

int32_t FindCheckedFirstFrame(const uint8_t* data, int32_t count, int32_t available, TMPFrameHeader& header,
                              int32_t& bitRate, int32_t& offset)
{
    available = std::max(available, count);
    for (int32_t i = 0; i + 1 < count; ++i) {
        if (data[i] != 0xFF || (data[i + 1] >> 4) < 0xE)
            continue;
        if (available - i < 4)
            break;
        TMPFrameHeader candidate;
        int32_t candidateRate = 0;
        const int32_t length =
            ParseFrameHeaderEx(data + i, uint32_t(available - i), candidate, candidateRate);
        if (length < 1)
            continue;
        // A false sync (tag text, picture data) is rarely followed by another header a frame later.
        const int64_t next = int64_t(i) + PaddedFrameLength(candidate, length);
        const bool dataEnds = next >= available;
        if (!dataEnds && (next + 2 > available || !SameSyncBytes(data + i, data + next)))
            continue;
        offset = i;
        header = candidate;
        bitRate = candidateRate;
        return length;
    }
    return 0;
}

} // namespace pt4
