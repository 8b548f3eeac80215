// ID3v2 frames (versions 2.2, 2.3 and 2.4) as "ID=content" lines.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mp3plyr/input/mp3_info.h"

namespace pt4 {

// Appends a line per frame of a tag body: the bytes after the 10-byte tag header, up to the
// declared size (a footer is not part of it). `version` is the tag's major version and `flags`
// its flag byte. The walk ends at padding (a zero byte where an identifier would begin) or at a
// frame that would run past the body; the lines added so far stay. Other versions add nothing.
// Title, artist and album frames that can be read also go to `texts`, and picture frames to
// `picture` as KeepId3v2Picture takes them; frames that cannot be read
// (compressed, encrypted) give neither.
void ReadId3v2Frames(uint8_t version, uint8_t flags, std::string body, std::vector<std::string>& lines,
                     TId3v2Texts& texts, TMP3Picture& picture);

// The text a frame's line carries: text frames as their strings joined with " / " (8-bit text
// kept as found, UTF-16 and UTF-8 as UTF-8), comments and user texts as "description: text",
// URLs as found, pictures and objects as "MIME type, N bytes", anything else as "N bytes".
std::string Id3v2FrameContent(std::string_view id, std::span<const uint8_t> data);

// Takes the picture of an APIC or PIC frame's content into `picture` when it is the first
// picture, or the first front cover; pictures without bytes are passed over.
void KeepId3v2Picture(std::string_view id, std::span<const uint8_t> data, TMP3Picture& picture);

// "N bytes": a frame that cannot be read (compressed or encrypted).
std::string Id3v2BinarySummary(size_t bytes);

} // namespace pt4
