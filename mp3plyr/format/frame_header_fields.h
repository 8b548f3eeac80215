// The one reading of a 4-byte MPEG audio frame header: its fields, and what they mean (version,
// layer, sample rate, bit rate, channels, samples per frame, frame length). Everything here is
// inline and constant-foldable, so the decoder's per-frame paths pay no call for it; the input
// and the decoder both build on it.
#pragma once

#include <cstdint>

namespace pt4 {

// Thirteen header fields, each right-aligned. The layer stays a raw code: 3 = Layer I,
// 2 = Layer II, 1 = Layer III, 0 = reserved.
struct TMPFrameHeader {
    int32_t Sync = 0; // 0 none, 1 MPEG-1/2, 2 MPEG-2.5
    int32_t Id = 0;   // 1 MPEG-1, 0 MPEG-2 or 2.5
    int32_t LayerBits = 0;
    int32_t Protection = 0; // 1 = no CRC
    int32_t BitrateIndex = 0;
    int32_t SampleRateIndex = 0;
    int32_t Padding = 0;
    int32_t PrivateBit = 0;
    int32_t Mode = 0; // 0 stereo, 1 joint, 2 dual, 3 single
    int32_t ModeExt = 0;
    int32_t Copyright = 0;
    int32_t Original = 0;
    int32_t Emphasis = 0;
};

enum class TMpegVersion : uint8_t { Mpeg1, Mpeg2, Mpeg25 };

namespace frame_tables {

// kbit/s by [layer code][Id][BitrateIndex]; index 0 (free format) and 15 hold 0.
inline constexpr int32_t kBitrateKbps[4][2][16] = {
    {}, // reserved layer code
    {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0}},
};

// Sampling frequency / 50 by [Id][SampleRateIndex]; the reserved index makes lengths negative.
// MPEG-2.5 uses row 0, twice its true rate; FrameLength makes up for it.
inline constexpr int32_t kRateBy50[2][4] = {{441, 480, 320, -999}, {882, 960, 640, -999}};

} // namespace frame_tables

// Fills every field from the 4 bytes at `data` when they start with a sync pattern (byte 0 0xFF,
// high nibble of byte 1 0xF, or 0xE for MPEG-2.5). Otherwise only Sync is set, to 0.
constexpr bool ReadFrameHeaderFields(const uint8_t* data, TMPFrameHeader& header)
{
    header.Sync = 0;
    if (data[0] != 0xFF)
        return false;
    switch (data[1] >> 4) {
    case 0xF: header.Sync = 1; break;
    case 0xE: header.Sync = 2; break;
    default: return false;
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
    return true;
}

// MPEG-1 whenever Id is set, even under the MPEG-2.5 sync (a reserved combination).
constexpr TMpegVersion VersionOf(const TMPFrameHeader& header)
{
    if (header.Id == 1)
        return TMpegVersion::Mpeg1;
    return header.Sync == 2 ? TMpegVersion::Mpeg25 : TMpegVersion::Mpeg2;
}

// 1, 2 or 3; 0 for the reserved layer code.
constexpr int32_t LayerNumber(const TMPFrameHeader& header)
{
    return header.LayerBits == 0 ? 0 : 4 - (header.LayerBits & 3);
}

// Hz; 0 for the reserved index. The MPEG-2.5 sync halves the rate of the Id's row.
constexpr int32_t SampleRate(const TMPFrameHeader& header)
{
    const int32_t byFifty = frame_tables::kRateBy50[header.Id & 1][header.SampleRateIndex & 3];
    if (byFifty < 0)
        return 0;
    return (byFifty * 50) >> (header.Sync == 2 ? 1 : 0);
}

// The coded bit rate in kbit/s; 0 for free format and for index 15.
constexpr int32_t BitrateKbps(const TMPFrameHeader& header)
{
    return frame_tables::kBitrateKbps[header.LayerBits & 3][header.Id & 1][header.BitrateIndex & 15];
}

constexpr int32_t Channels(const TMPFrameHeader& header)
{
    return header.Mode == 3 ? 1 : 2;
}

// PCM samples per channel one frame decodes to.
constexpr int32_t SamplesPerFrame(const TMPFrameHeader& header)
{
    if (header.LayerBits == 3)
        return 384;
    return header.LayerBits == 1 && header.Id == 0 ? 576 : 1152;
}

// The frame length without padding for a coded bit rate; 0 for index 0 or 15 and for the
// reserved layer, negative for the reserved sampling-rate index.
constexpr int32_t FrameLength(const TMPFrameHeader& header)
{
    const int32_t k = BitrateKbps(header);
    const int32_t r = frame_tables::kRateBy50[header.Id & 1][header.SampleRateIndex & 3];
    switch (header.LayerBits) {
    case 3: return 4 * (240 * k / r);
    case 2: return 2880 * k / r;
    case 1: return (header.Id == 0 && header.Sync == 1 ? 1440 : 2880) * k / r;
    default: return 0;
    }
}

// The bytes a frame occupies: its length without padding plus its padding slot.
constexpr int32_t PaddedFrameLength(const TMPFrameHeader& header, int32_t frameLength)
{
    return frameLength + (header.LayerBits == 3 ? 4 * header.Padding : header.Padding);
}

// The bit rate in bit/s of a free-format frame whose length without padding was measured.
// Wide arithmetic keeps a long frame at a high rate from wrapping.
constexpr int64_t FreeFormatBitRate(const TMPFrameHeader& header, int32_t frameLength)
{
    const int64_t lr =
        int64_t(frameLength) * frame_tables::kRateBy50[header.Id & 1][header.SampleRateIndex & 3];
    switch (header.LayerBits) {
    case 3: return lr * 1000 / 960;
    case 2: return lr * 1000 / 2880;
    default:
        if (header.Id == 1)
            return lr * 1000 / 2880;
        return header.Sync == 1 ? lr * 1000 / 1440 : lr * 500 / 1440;
    }
}

// Bytes from a Layer III frame's start to the end of its side information, less the CRC.
constexpr int32_t Layer3SideInfoEnd(const TMPFrameHeader& header)
{
    const bool mono = header.Mode == 3;
    if (header.Id == 1)
        return mono ? 21 : 36;
    return mono ? 13 : 21;
}

} // namespace pt4
