// The 4-byte MPEG audio frame header: parse, frame length, bit rate, first-frame search and the
// comparisons that tell whether two frames belong to one stream. No state; callers own the bytes.
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

// Reads 4 header bytes at data (and, for free format, up to `window` bytes, clamped to 10000).
// Returns the frame length without padding; below 1 means no valid frame.
int32_t ParseFrameHeader(const uint8_t* data, uint32_t window, TMPFrameHeader& header);

// As ParseFrameHeader, and stores the bit rate in bit/s (0 when the parse fails).
int32_t ParseFrameHeaderEx(const uint8_t* data, uint32_t window, TMPFrameHeader& header, int32_t& bitRate);

// Scans `count` bytes for the first sync pattern; stores its position in `offset` and parses
// the header there. Returns 0 and leaves `offset` alone when there is no sync pattern.
int32_t FindFirstFrame(const uint8_t* data, int32_t count, TMPFrameHeader& header, int32_t& bitRate,
                       int32_t& offset);

// As FindFirstFrame, but a candidate is taken only when the bytes at its padded length after it
// repeat its first two bytes (SameSyncBytes) or the data ends there; otherwise the scan goes on.
// Candidates start in the first `count` bytes; the check may look at up to `available` bytes
// (at least `count`), which must reach one whole frame past `count` unless the data ends first.
int32_t FindCheckedFirstFrame(const uint8_t* data, int32_t count, int32_t available, TMPFrameHeader& header,
                              int32_t& bitRate, int32_t& offset);

// The longest frame any header describes, padding included (Layer II, 384 kbit/s, 32 kHz).
inline constexpr int32_t kMaxFrameBytes = 1729;

// The free-format frame length found from the distance to the next matching header, or 0.
int32_t FindFreeFormatLength(const uint8_t* data, uint32_t window);

bool SameSyncBytes(const uint8_t* a, const uint8_t* b);

// True when `candidate` may follow `reference` in one stream (same version, layer, sample rate).
bool SameStreamHeader(const uint8_t* reference, const uint8_t* candidate);

// The bytes a frame occupies: the parsed length plus its padding slot.
inline int32_t PaddedFrameLength(const TMPFrameHeader& header, int32_t frameLength)
{
    return frameLength + (header.LayerBits == 3 ? 4 * header.Padding : header.Padding);
}

} // namespace pt4
