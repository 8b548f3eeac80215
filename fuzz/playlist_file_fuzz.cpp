// Bytes of a playlist file, local or fetched: its entries as written and as resolved beside a
// local list and a fetched one, with the first byte choosing whether the system's names are
// UTF-8, and the same bytes recognised as a list's name and as the start of an answer, and as
// a list file read whole and followed to its first entry. Checks that a fetched list names
// nothing but URLs, that nothing grows without bound, that a list file reads as its text, and
// that each entry as it is shown holds no control character and hides its password.
#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/input/playlist_file.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace {

using namespace pt4;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// No C0 or C1 control, DEL or bidirectional control in UTF-8 text.
bool FreeOfControls(std::string_view text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = uint8_t(text[i]);
        const auto next = i + 1 < text.size() ? uint8_t(text[i + 1]) : 0;
        const auto third = i + 2 < text.size() ? uint8_t(text[i + 2]) : 0;
        if (byte < 0x20 || byte == 0x7F || (byte == 0xC2 && next >= 0x80 && next <= 0x9F))
            return false;
        if (byte == 0xE2 && ((next == 0x80 && third >= 0xAA && third <= 0xAE) ||
                             (next == 0x81 && third >= 0xA6 && third <= 0xA9)))
            return false;
    }
    return true;
}

// A folder of this process's own for the list file, gone when the process ends.
class ListFile {
public:
    ListFile()
    {
        char folder[] = "/tmp/pt4-list-fuzz-XXXXXX";
        if (!mkdtemp(folder))
            __builtin_trap();
        folder_ = folder;
        path_ = folder_ + "/list.m3u";
    }
    ~ListFile()
    {
        unlink(path_.c_str());
        rmdir(folder_.c_str());
    }
    const std::string& Write(std::string_view text) const
    {
        std::ofstream(path_, std::ios::binary | std::ios::trunc)
            .write(text.data(), std::streamsize(text.size()));
        return path_;
    }

private:
    std::string folder_, path_;
};

void CheckShown(const std::string& location)
{
    const std::string shown = ShownLocation(location);
    Check(ShownLocation(shown) == shown);
    Check(FreeOfControls(VisibleText(shown)));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const bool systemUtf8 = (data[0] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    for (const TPlaylistEntry& entry : ParsePlaylist(text)) {
        Check(!entry.location.empty() && entry.location.size() <= text.size());
        CheckShown(entry.location);
    }
    const std::string local = "/music/lists/list.m3u";
    // Converted text is at most three bytes of UTF-8 for each byte it came from.
    for (const TPlaylistEntry& entry : PlaylistEntries(text, local, systemUtf8))
        Check(!entry.location.empty() && entry.location.size() <= 3 * text.size() + local.size());

    const std::string remote = "http://radio.example/lists/list.pls?id=1";
    for (const TPlaylistEntry& entry : PlaylistEntries(text, remote, systemUtf8))
        Check(IsUrl(entry.location) && entry.location.size() <= 3 * text.size() + remote.size());
    HasPlaylistExtension(text);
    LooksLikePlaylist(text);

    // Read from a file, the list gives what its text gives, unless it names a local list (which
    // is followed in place); the player starts at the same entry.
    static const ListFile file;
    const std::string& path = file.Write(text);
    const std::vector<TPlaylistEntry> listed = PlaylistEntries(text, path, SystemIsUtf8());
    if (std::none_of(listed.begin(), listed.end(), [](const TPlaylistEntry& entry) {
            return !IsUrl(entry.location) && HasPlaylistExtension(entry.location);
        })) {
        Check(ReadPlaylist(path) == listed);
        if (!listed.empty() && !IsUrl(listed.front().location))
            Check(FollowPlaylists(path).location == listed.front().location);
    }
    return 0;
}
