// Pieces of an internet radio stream that carry text: the metadata blocks a server interleaves
// with the audio every `icy-metaint` bytes and the stream title inside them. The playlist files
// that point at stations are recognised in playlist_file.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pt4 {

// One metadata block and where it stood: after `audioBefore` bytes of the audio that Feed
// appended in the same call.
struct TIcyBlock {
    size_t audioBefore = 0;
    std::string text;
};

// Splits a response body into audio bytes and metadata blocks. After every `interval` audio
// bytes comes one length byte L and 16 × L bytes of metadata (L = 0: no block). An interval of
// 0 means the body is audio only.
class TIcyDemuxer {
public:
    explicit TIcyDemuxer(size_t interval = 0) : interval_(interval), audioLeft_(interval) {}

    // Appends the audio bytes of `bytes` to `audio` and each metadata block completed within
    // them to `blocks` (with its padding NULs removed). Blocks may be split over any calls.
    void Feed(std::span<const uint8_t> bytes, std::vector<uint8_t>& audio, std::vector<TIcyBlock>& blocks);

private:
    enum class Part { Audio, Length, Metadata };

    size_t interval_;
    Part part_ = Part::Audio;
    size_t audioLeft_;
    size_t metadataLeft_ = 0;
    std::string block_;
};

// The value of StreamTitle='...'; in a metadata block (raw bytes; the title may itself contain
// apostrophes), or nullopt when the block has no title field.
std::optional<std::string> IcyStreamTitle(std::string_view block);

} // namespace pt4
