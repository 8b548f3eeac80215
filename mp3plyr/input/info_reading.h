// Reader steps for the tag and container scan that stay inside the reader's limits: no Fill
// beyond BufferSize, and skips of any 64-bit length.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mp3plyr/input/stream_reader.h"

namespace pt4 {

// Fill(n) when 0 <= n <= BufferSize; false for any other n, which no buffer can hold.
bool FillWithin(TMPStreamReader& reader, int64_t n);

// Skip(n) for any n >= 0, also beyond 2^31-1; a skip past the end fails and, on a seekable
// stream, leaves the reader at the end as a failing Skip does.
bool SkipWide(TMPStreamReader& reader, int64_t n);

// Appends n bytes from the read point to `out`, in pieces of at most BufferSize (Fill the
// piece, copy it, Skip it). False as soon as a piece cannot be read.
bool ReadBytes(TMPStreamReader& reader, int64_t n, std::string& out);

// True when the buffered bytes at `offset` spell `signature` (false if not all are buffered).
bool BufferedBytesAre(const TMPStreamReader& reader, int32_t offset, std::string_view signature);

// A tag may hold a million tiny items: the first kMaxListedItems are kept as lines, and past
// them only those the player takes values from (comments, user texts, the main texts), up to as
// many again. Whether `lines` has room for one more.
inline constexpr size_t kMaxListedItems = 4096;
inline bool RoomForLine(const std::vector<std::string>& lines, bool playerValue)
{
    return lines.size() < kMaxListedItems || (playerValue && lines.size() < 2 * kMaxListedItems);
}

} // namespace pt4
