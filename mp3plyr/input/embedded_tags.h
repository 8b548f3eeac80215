// The album name and the embedded picture of an MPEG audio file, for desktop media controls:
// an ID3v2 tag (versions 2.2, 2.3 and 2.4) at the start of the file, and the album of an ID3v1
// tag at its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pt4 {

struct TEmbeddedTags {
    // Raw text as DisplayText reads it (UTF-16 behind its byte-order mark).
    std::string album;
    // The front cover, else the first picture; its bytes are in the file's own image format.
    std::vector<uint8_t> picture;
    // "png", "jpg" or "gif" from the picture's first bytes; empty when not one of them.
    std::string pictureExtension;
};

// Reads the ID3v2 tag that starts at data[0], if any. Any bytes are safe.
TEmbeddedTags ReadId3v2Extras(const uint8_t* data, size_t size);

// The same from a file, then the ID3v1 album when the ID3v2 tag had none. Nothing on a read error.
TEmbeddedTags ReadEmbeddedTags(const std::string& fileName);

} // namespace pt4
