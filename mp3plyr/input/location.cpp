#include "mp3plyr/input/location.h"

#include "mp3plyr/input/descriptor_stream.h"
#include "mp3plyr/input/file_stream.h"
#include "mp3plyr/input/http_stream.h"
#include "mp3plyr/input/icy_metadata.h"
#include "mp3plyr/input/playlist_file.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// How long a server may stay silent; PT4_STREAM_TIMEOUT (seconds) overrides the default.
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
        std::ifstream file(location, std::ios::binary);
        if (!file)
            throw EFileOpenError(location, "cannot open \"" + location + "\": " + std::strerror(errno) + ".");
        std::string text;
        text.resize(kPlaylistLimit);
        file.read(text.data(), std::streamsize(text.size()));
        text.resize(size_t(file.gcount()));
        return Open(FirstEntry(text, location), depth + 1, stop);
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

TOpenedLocation OpenLocation(const std::string& location, const std::stop_token& stop)
{
    return Open(location, 0, stop);
}

} // namespace pt4
