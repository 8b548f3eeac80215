#include "mp3plyr/input/location.h"

#include "mp3plyr/input/descriptor_stream.h"
#include "mp3plyr/input/file_stream.h"
#include "mp3plyr/input/playlist_file.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace pt4 {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
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
    TPlayStart start = FollowPlaylists(location, stop);
    TOpenedLocation opened;
    opened.name = std::move(start.location);
    if (opened.name == "-") {
        opened.stream = std::make_unique<TMPDescriptorStream>(STDIN_FILENO);
        return opened;
    }
    if (start.http) {
        start.http->CheckAudioType();
        opened.stream = std::move(start.http);
        return opened;
    }
    try {
        opened.stream = std::make_unique<TMPFileStream>(opened.name);
    } catch (const EMP3Error& error) {
        throw EFileOpenError(opened.name, error.what(), error.SystemError());
    }
    opened.seekable = true;
    return opened;
}

} // namespace pt4
