// Bytes a radio server controls: a response body split into audio and metadata blocks at an
// interval and in chunks taken from the first bytes, the stream titles found in the blocks, and
// the same bytes read as a playlist and searched for the first run of frames and the end of
// the last whole one. Checks that the
// audio comes out whole and in order, and that titles shown are free of control characters.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/frame_alignment.h"
#include "mp3plyr/input/icy_metadata.h"
#include "mp3plyr/input/playlist_file.h"

namespace {

using namespace pt4;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// No control character (C0, DEL, C1 as UTF-8) is left to reach a terminal.
void CheckVisible(std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<uint8_t>(text[i]);
        Check(byte >= 0x20 && byte != 0x7F);
        Check(!(byte == 0xC2 && i + 1 < text.size() && static_cast<uint8_t>(text[i + 1]) < 0xA0));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t interval = size_t(data[0]) * 8 + 1;
    const size_t chunk = size_t(data[1]) + 1;
    const std::span<const uint8_t> body(data + 2, size - 2);

    // The whole body at once and the body in chunks give the same audio and blocks.
    TIcyDemuxer whole(interval);
    std::vector<uint8_t> audioWhole;
    std::vector<TIcyBlock> blocksWhole;
    whole.Feed(body, audioWhole, blocksWhole);

    TIcyDemuxer pieces(interval);
    std::vector<uint8_t> audio;
    std::vector<TIcyBlock> blocks;
    for (size_t at = 0; at < body.size(); at += chunk)
        pieces.Feed(body.subspan(at, std::min(chunk, body.size() - at)), audio, blocks);
    Check(audio == audioWhole);
    Check(blocks.size() == blocksWhole.size());
    for (size_t i = 0; i < blocks.size(); ++i) {
        Check(blocks[i].text == blocksWhole[i].text);
        Check(blocks[i].text.size() <= 255 * 16);
        if (const auto title = IcyStreamTitle(blocks[i].text))
            CheckVisible(VisibleText(DisplayText(*title)));
    }
    // Audio never exceeds the body, and the interval holds: blocks come only after whole runs.
    Check(audio.size() <= body.size());
    Check(audio.size() >= std::min(body.size(), interval) || blocks.empty());

    const std::string_view text(reinterpret_cast<const char*>(data), size);
    IcyStreamTitle(text);
    CheckVisible(VisibleText(text));
    LooksLikePlaylist(text);
    const auto run = FirstFrameRun({data, size});
    if (run)
        Check(*run + 4 <= size && data[*run] == 0xFF);
    // The whole frames of a connection that broke end after their first run, inside the bytes.
    const auto end = WholeFramesEnd({data, size});
    Check(end.has_value() == run.has_value() && (!end || (*run < *end && *end <= size)));
    Check(FrameRunAt({data, size}, 3) == (run == size_t(0)));
    HasPlaylistExtension(text);
    return 0;
}
