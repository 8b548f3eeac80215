// Playlist files, the one place that knows them: .m3u and .m3u8 (one location a line, #EXTINF
// titles) and .pls ([playlist] with FileN and TitleN), local or fetched. Recognising a list (by
// its name, or by the start of a server's answer), reading its text into the locations it names
// with the titles it gives them, following lists named inside lists, and the limits that keep a
// hostile list from growing without bound or holding its reader for ever.
//
// Text: playlist_file.cpp. Reading, nesting and limits: playlist_reading.cpp.
#pragma once

#include "mp3plyr/input/http_stream.h"

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace pt4 {

struct TPlaylistEntry {
    std::string location;
    // The title the list gives the entry (raw bytes, as a tag's); empty when it gives none.
    std::string title;

    bool operator==(const TPlaylistEntry&) const = default;
};

// --- recognising ----------------------------------------------------------------------------

// Whether a name or URL path ends in a playlist file extension (.m3u, .m3u8, .pls).
bool HasPlaylistExtension(std::string_view name);

// Whether the start of a body reads as a playlist rather than audio.
bool LooksLikePlaylist(std::string_view start);

// --- text -----------------------------------------------------------------------------------

// The entries of a list's text as they are written, in order: trimmed, without a UTF-8
// byte-order mark, blank lines or comments; Windows and old Mac line ends alike. A .pls (text
// starting with "[playlist]") is ordered by its entry numbers. Takes any bytes; entries past
// the millionth are left out. Throws EStreamCancelled once `stop` is requested.
std::vector<TPlaylistEntry> ParsePlaylist(std::string_view text, const std::stop_token& stop = {});

// Where `entry` of the list at `list` (a local path or an http(s) URL) points: a URL as it is,
// a file:// URL as its path, a relative name (backslashes taken as separators) beside the
// list. Nothing for what cannot play: another scheme, or anything local in a fetched list.
std::optional<std::string> ResolvePlaylistEntry(std::string_view entry, const std::string& list);

// The entries of the text of the list at `list`, resolved; those that cannot play are left
// out. Text that is not UTF-8 holds names in the system's encoding: kept as bytes when that
// encoding is not UTF-8 (`systemUtf8` false), else converted from the code page it reads as.
// Throws EStreamCancelled once `stop` is requested.
std::vector<TPlaylistEntry> PlaylistEntries(std::string_view text, const std::string& list, bool systemUtf8,
                                            const std::stop_token& stop = {});

// Whether file names here are UTF-8: the locale's character set, with plain ASCII (the C
// locale) taken as UTF-8, as the desktop does.
bool SystemIsUtf8();

// What to show as a file's title: its own (`title`, from its tags or its station), unless that
// is only the file's name and the list gave one (`listed`).
std::string ShownTitle(const std::string& title, const std::string& fileName, const std::string& listed);

// --- reading --------------------------------------------------------------------------------

// The bytes of the local list file at `path`, up to `limit`. Throws EFileOpenError, with the
// cause in English as its reason, when it cannot be read or is no plain file (a folder, a
// FIFO, a device: those are refused at once, never waited for).
std::string ReadListFile(const std::string& path, size_t limit);

// Reads the list at `location` with the local lists it names followed in place (a few levels
// deep, each list once, so lists naming each other end). A URL entry is kept as it is, even a
// list: the player follows it when it plays. Throws EFileOpenError when a local list cannot be
// read and EStreamOpenError when a remote one cannot be fetched or names nothing to play;
// EStreamCancelled once `stop` is requested (a fetch under way gives up at once).
std::vector<TPlaylistEntry> ReadPlaylist(const std::string& location, const std::stop_token& stop = {});

// The names given, each list among them replaced by its entries. A list that cannot be read is
// handed to `failed` and left out (without `failed`, its exception ends the call). `stop` ends
// the call with EStreamCancelled, whatever `failed` is.
using TListFailed = std::function<void(const std::string& list, const std::exception_ptr& error)>;
std::vector<TPlaylistEntry> ExpandPlaylists(const std::vector<std::string>& names,
                                            const TListFailed& failed = {}, const std::stop_token& stop = {});

// Where playing `location` starts: the location itself when it is no list, else the first
// entry of the list that can play, lists inside followed (local or fetched, a few levels deep).
// A URL that answers with audio comes back open in `http`, ready to play. Throws as
// ReadPlaylist, and EStreamOpenError for lists that name nothing or refer to each other too
// deeply; EStreamCancelled when `stop` is requested while it waits for a server.
struct TPlayStart {
    std::string location;
    std::unique_ptr<TMPHttpStream> http;
};
TPlayStart FollowPlaylists(const std::string& location, const std::stop_token& stop = {});

} // namespace pt4
