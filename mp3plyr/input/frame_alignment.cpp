#include "mp3plyr/input/frame_alignment.h"

#include "mp3plyr/format/frame_header_fields.h"

namespace pt4 {
namespace {

struct Header {
    uint32_t fixedBits; // version, layer and sample rate: equal in every frame of a stream
    size_t length;
};

std::optional<Header> ParseHeader(const uint8_t* p)
{
    TMPFrameHeader header;
    if (!ReadFrameHeaderFields(p, header))
        return std::nullopt;
    // The MPEG-2.5 sync with the MPEG-1 bit is a reserved version; free format has no length
    // to chain by.
    if ((header.Sync == 2 && header.Id == 1) || header.BitrateIndex == 0)
        return std::nullopt;
    const int32_t length = FrameLength(header);
    if (length <= 0)
        return std::nullopt;
    return Header{uint32_t(p[1]) << 8 | (p[2] & 0x0C), size_t(PaddedFrameLength(header, length))};
}

// Whether `run` chained frame headers of one format start at `start`.
bool RunFrom(std::span<const uint8_t> bytes, size_t start, int run = 3)
{
    const int kRun = run;
    size_t at = start;
    std::optional<uint32_t> fixedBits;
    int chained = 0;
    while (chained < kRun && at + 4 <= bytes.size()) {
        const std::optional<Header> header = ParseHeader(bytes.data() + at);
        if (!header || (fixedBits && *fixedBits != header->fixedBits))
            break;
        fixedBits = header->fixedBits;
        at += header->length;
        ++chained;
    }
    return chained == kRun;
}

} // namespace

std::optional<size_t> FirstFrameRun(std::span<const uint8_t> bytes)
{
    for (size_t start = 0; start + 4 <= bytes.size(); ++start)
        if (RunFrom(bytes, start))
            return start;
    return std::nullopt;
}

bool FrameRunAt(std::span<const uint8_t> bytes, int frames)
{
    return RunFrom(bytes, 0, frames);
}

std::optional<size_t> WholeFramesEnd(std::span<const uint8_t> bytes)
{
    const std::optional<size_t> start = FirstFrameRun(bytes);
    if (!start)
        return std::nullopt;
    size_t at = *start;
    const uint32_t fixedBits = ParseHeader(bytes.data() + at)->fixedBits;
    while (at + 4 <= bytes.size()) {
        const std::optional<Header> header = ParseHeader(bytes.data() + at);
        if (!header || header->fixedBits != fixedBits || at + header->length > bytes.size())
            break;
        at += header->length;
    }
    return at;
}

} // namespace pt4
