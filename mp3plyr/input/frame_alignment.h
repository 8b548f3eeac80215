// Where the MPEG audio frames of a stream joined at an arbitrary byte begin: the first offset
// at which three frame headers follow each other at their frame lengths. A listener of a radio
// station gets the audio from wherever the server's buffer stood, so the leading bytes may be the
// tail of a frame, in which a lone sync-like pattern would pass for a header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace pt4 {

// The offset of the first run of three chained frame headers in `bytes`, or nullopt.
std::optional<size_t> FirstFrameRun(std::span<const uint8_t> bytes);

// Whether `frames` chained frame headers of one format start at the first byte of `bytes`.
bool FrameRunAt(std::span<const uint8_t> bytes, int frames);

// Where the last whole frame of `bytes` ends, following the frames from the first run on; bytes
// after it are the start of a frame cut off (a connection that broke). Nullopt without a run.
std::optional<size_t> WholeFramesEnd(std::span<const uint8_t> bytes);

} // namespace pt4
