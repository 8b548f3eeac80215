// The 4-byte MPEG audio frame header: parse, frame length, bit rate, first-frame search and the
// comparisons that tell whether two frames belong to one stream. No state; callers own the bytes.
#pragma once

#include "mp3plyr/format/frame_header_fields.h"

#include <cstdint>

namespace pt4 {

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

} // namespace pt4
