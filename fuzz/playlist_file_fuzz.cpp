// Bytes of a playlist file, local or fetched: its entries as written and as resolved beside a
// local list and a fetched one, with the first byte choosing whether the system's names are
// UTF-8. Checks that a fetched list names nothing but URLs and that nothing grows without bound.
#include "mp3plyr/input/icy_metadata.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/input/playlist_file.h"

namespace {

using namespace pt4;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool systemUtf8 = (data[0] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    for (const TPlaylistEntry& entry : ParsePlaylist(text))
        Check(!entry.location.empty() && entry.location.size() <= text.size());
    const std::string local = "/music/lists/list.m3u";
    // Converted text is at most three bytes of UTF-8 for each byte it came from.
    for (const TPlaylistEntry& entry : PlaylistEntries(text, local, systemUtf8))
        Check(!entry.location.empty() && entry.location.size() <= 3 * text.size() + local.size());

    const std::string remote = "http://radio.example/lists/list.pls?id=1";
    for (const TPlaylistEntry& entry : PlaylistEntries(text, remote, systemUtf8))
        Check(IsUrl(entry.location) && entry.location.size() <= 3 * text.size() + remote.size());
    HasPlaylistExtension(text);
    return 0;
}
