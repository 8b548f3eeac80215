#include "mp3plyr/decoder/frame_header.h"

#include <algorithm>
#include <array>

namespace pt4 {
namespace {

// kbit/s by [layer code][Id][BitrateIndex]; layer code 3 = Layer I, 2 = Layer II, 1 = Layer III.
constexpr std::array<std::array<std::array<int32_t, 16>, 2>, 4> kBitrates = {{
    {}, // reserved layer code
    {{{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}}},
    {{{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0}}},
    {{{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}}},
}};

// Sampling frequency / 50 by [Id][SampleRateIndex]; the reserved index makes lengths negative.
// MPEG-2.5 uses row 0, twice its true rate; the length formula makes up for it.
constexpr std::array<std::array<int32_t, 4>, 2> kRates = {{{441, 480, 320, -999}, {882, 960, 640, -999}}};

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
    header.Sync = 0;
    if (data[0] != 0xFF)
        return 0;
    switch (data[1] >> 4) {
    case 0xF: header.Sync = 1; break;
    case 0xE: header.Sync = 2; break;
    default: return 0;
    }
    header.Id = (data[1] >> 3) & 1;
    header.LayerBits = (data[1] >> 1) & 3;
    header.Protection = data[1] & 1;
    header.BitrateIndex = data[2] >> 4;
    header.SampleRateIndex = (data[2] >> 2) & 3;
    header.Padding = (data[2] >> 1) & 1;
    header.PrivateBit = data[2] & 1;
    header.Mode = data[3] >> 6;
    header.ModeExt = (data[3] >> 4) & 3;
    header.Copyright = (data[3] >> 3) & 1;
    header.Original = (data[3] >> 2) & 1;
    header.Emphasis = data[3] & 3;

    if (header.LayerBits == 0)
        return 0;
    if (header.BitrateIndex == 0)
        return FindFreeFormatLength(data, window);

    const int32_t k = kBitrates[header.LayerBits][header.Id][header.BitrateIndex];
    const int32_t r = kRates[header.Id][header.SampleRateIndex];
    switch (header.LayerBits) {
    case 3: return 4 * (240 * k / r);
    case 2: return 2880 * k / r;
    default: return (header.Id == 0 && header.Sync == 1 ? 1440 : 2880) * k / r;
    }
}

int32_t ParseFrameHeaderEx(const uint8_t* data, uint32_t window, TMPFrameHeader& header, int32_t& bitRate)
{
    bitRate = 0;
    const int32_t length = ParseFrameHeader(data, window, header);
    if (length < 1)
        return length;
    if (header.BitrateIndex > 0) {
        bitRate = kBitrates[header.LayerBits][header.Id][header.BitrateIndex] * 1000;
        return length;
    }
    // Free format: the bit rate follows from the measured length. Wide arithmetic keeps the
    // product of a long frame and a high rate from wrapping.
    const int64_t r = kRates[header.Id][header.SampleRateIndex];
    int64_t rate = 0;
    switch (header.LayerBits) {
    case 3: rate = int64_t(length) * r * 1000 / 960; break;
    case 2: rate = int64_t(length) * r * 1000 / 2880; break;
    default:
        if (header.Id == 1)
            rate = int64_t(length) * r * 1000 / 2880;
        else if (header.Sync == 1)
            rate = int64_t(length) * r * 1000 / 1440;
        else
            rate = int64_t(length) * r * 500 / 1440;
        break;
    }
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
