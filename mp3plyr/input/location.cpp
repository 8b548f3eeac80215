#include "mp3plyr/input/location.h"

#include "mp3plyr/input/descriptor_stream.h"
#include "mp3plyr/input/file_stream.h"
#include "mp3plyr/input/http_stream.h"
#include "mp3plyr/input/icy_metadata.h"
#include "mp3plyr/input/playlist_file.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>

namespace pt4 {
namespace {

constexpr int kPlaylistDepth = 4;
constexpr size_t kPlaylistLimit = 64 * 1024;

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

// The first entry of the list at `list` that can play; a fetched list never names a local file.
std::string FirstEntry(std::string_view text, const std::string& list)
{
    for (const TPlaylistEntry& entry : ParsePlaylist(text))
        if (std::optional<std::string> location = ResolvePlaylistEntry(entry.location, list))
            return *location;
    throw EStreamOpenError("the playlist names no stream");
}

} // namespace

TMPHttpStream::Options StreamOptions(std::stop_token stop)
{
    TMPHttpStream::Options options;
    options.stop = std::move(stop);
    if (const char* text = std::getenv("PT4_STREAM_TIMEOUT")) {
        const long seconds = std::strtol(text, nullptr, 10);
        if (seconds > 0 && seconds < 3600)
            options.stallLimit = std::chrono::seconds(seconds);
    }
    return options;
}

namespace {

TOpenedLocation Open(const std::string& location, int depth, const std::stop_token& stop)
{
    if (depth > kPlaylistDepth)
        throw EStreamOpenError("playlists refer to each other too deeply");
    TOpenedLocation opened;
    opened.name = location;
    if (location == "-") {
        opened.stream = std::make_unique<TMPDescriptorStream>(STDIN_FILENO);
        return opened;
    }
    if (IsUrl(location)) {
        std::unique_ptr<TMPHttpStream> http;
        try {
            http = std::make_unique<TMPHttpStream>(location, StreamOptions(stop));
        } catch (const EStreamCancelled&) {
            throw;
        } catch (const EMP3Error& error) {
            throw EStreamOpenError(error.what(), error.Reason());
        }
        if (!http->IsPlaylist()) {
            http->CheckAudioType();
            opened.stream = std::move(http);
            return opened;
        }
        std::string text;
        {
            const std::stop_callback interrupt(stop, [&http] { http->Interrupt(); });
            text = http->ReadText(kPlaylistLimit);
        }
        if (stop.stop_requested())
            throw EStreamCancelled();
        const std::string next = FirstEntry(text, http->EffectiveUrl());
        http.reset();
        return Open(next, depth + 1, stop);
    }
    if (HasPlaylistExtension(location)) {
        return Open(FirstEntry(ReadListFile(location, kPlaylistLimit), location), depth + 1, stop);
    }
    try {
        opened.stream = std::make_unique<TMPFileStream>(location);
    } catch (const EMP3Error& error) {
        throw EFileOpenError(location, error.what(), error.SystemError());
    }
    opened.seekable = true;
    return opened;
}

} // namespace

bool IsUrl(std::string_view location)
{
    return StartsWithNoCase(location, "http://") || StartsWithNoCase(location, "https://");
}

std::string ShownLocation(std::string_view location)
{
    const size_t scheme = location.find("://");
    const auto schemeChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    };
    if (scheme == std::string_view::npos || scheme == 0 ||
        !std::all_of(location.begin(), location.begin() + ptrdiff_t(scheme), schemeChar))
        return std::string(location);
    const size_t authority = scheme + 3;
    const size_t authorityEnd = std::min(location.find_first_of("/?#", authority), location.size());
    // The user information ends at the authority's last '@'; its password at that '@'.
    const size_t at = location.substr(0, authorityEnd).rfind('@');
    if (at == std::string_view::npos || at < authority)
        return std::string(location);
    const size_t colon = location.substr(0, at).find(':', authority);
    if (colon == std::string_view::npos)
        return std::string(location);
    return std::string(location.substr(0, colon + 1)) + "***" + std::string(location.substr(at));
}

TOpenedLocation OpenLocation(const std::string& location, const std::stop_token& stop)
{
    return Open(location, 0, stop);
}

} // namespace pt4
