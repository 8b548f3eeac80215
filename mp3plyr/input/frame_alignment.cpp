#include "mp3plyr/input/frame_alignment.h"

namespace pt4 {
namespace {

// Bit rates in kbit/s by [MPEG-1][layer index 0 = Layer I .. 2 = Layer III][bit-rate index].
constexpr int kBitRates[2][3][16] = {
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
};
constexpr int kSampleRates[3] = {44100, 48000, 32000};

struct Header {
    uint32_t fixedBits; // version, layer and sample rate: equal in every frame of a stream
    size_t length;
};

std::optional<Header> ParseHeader(const uint8_t* p)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int version = (p[1] >> 3) & 3; // 0 MPEG-2.5, 1 reserved, 2 MPEG-2, 3 MPEG-1
    const int layer = (p[1] >> 1) & 3;   // 1 Layer III, 2 Layer II, 3 Layer I
    const int bitRateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    const int padding = (p[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitRateIndex == 0 || bitRateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    const bool mpeg1 = version == 3;
    const int sampleRate = kSampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const long bitRate = long(kBitRates[mpeg1][3 - layer][bitRateIndex]) * 1000;
    size_t length = 0;
    if (layer == 3)
        length = size_t((12 * bitRate / sampleRate + padding) * 4);
    else if (layer == 1 && !mpeg1)
        length = size_t(72 * bitRate / sampleRate + padding);
    else
        length = size_t(144 * bitRate / sampleRate + padding);
    return Header{uint32_t(p[1]) << 8 | (p[2] & 0x0C), length};
}

} // namespace

std::optional<size_t> FirstFrameRun(std::span<const uint8_t> bytes)
{
    constexpr int kRun = 3;
    for (size_t start = 0; start + 4 <= bytes.size(); ++start) {
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
        if (chained == kRun)
            return start;
    }
    return std::nullopt;
}

} // namespace pt4
