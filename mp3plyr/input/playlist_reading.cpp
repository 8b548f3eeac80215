// Reading playlists from files and servers: a list read whole for an album (its local lists
// followed in place), or followed to the first entry that plays, and the limits of both.
#include "mp3plyr/input/playlist_file.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/input/live_stream.h"
#include "mp3plyr/input/location.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iterator>

namespace pt4 {
namespace {

// Lists inside lists are followed this deep; a longer chain is a loop or a mistake.
constexpr int kNestingLimit = 4;
// Bytes read of one list read whole, and entries taken from all lists of one open, however
// they nest.
constexpr size_t kTextLimit = 32 * 1024 * 1024;
constexpr size_t kEntryLimit = 1000000;
// Bytes read of a list followed only to its first entry.
constexpr size_t kFollowTextLimit = 64 * 1024;

// Closes a descriptor when it goes.
struct Descriptor {
    int fd;
    ~Descriptor()
    {
        if (fd >= 0)
            close(fd);
    }
};

void ThrowIfStopped(const std::stop_token& stop)
{
    if (stop.stop_requested())
        throw EStreamCancelled();
}

// Asks the server for `url`. A failure to connect or an error answer is EStreamOpenError; a
// stop while it waits is EStreamCancelled.
std::unique_ptr<TMPHttpStream> Fetch(const std::string& url, const std::stop_token& stop)
{
    try {
        return std::make_unique<TMPHttpStream>(url, StreamOptions(stop));
    } catch (const EStreamCancelled&) {
        throw;
    } catch (const EMP3Error& error) {
        throw EStreamOpenError(error.what(), error.Reason());
    }
}

// The fetched list's text, up to `limit` bytes; a stop ends the wait for the rest at once.
std::string FetchedText(TMPHttpStream& http, size_t limit, const std::stop_token& stop)
{
    std::string text;
    {
        const std::stop_callback interrupt(stop, [&http] { http.Interrupt(); });
        text = http.ReadText(limit);
    }
    ThrowIfStopped(stop);
    return text;
}

class Expander {
public:
    explicit Expander(const std::stop_token& stop) : stop_(stop) {}

    std::vector<TPlaylistEntry> entries;

    void Expand(const std::string& list, std::vector<std::string>& within)
    {
        std::string text;
        std::string base = list;
        if (IsUrl(list)) {
            const std::unique_ptr<TMPHttpStream> http = Fetch(list, stop_);
            if (!http->IsPlaylist()) {
                // Audio after all, under a list's name.
                Add({list, {}});
                return;
            }
            text = FetchedText(*http, kTextLimit, stop_);
            base = http->EffectiveUrl();
        } else {
            text = ReadListFile(list, kTextLimit);
        }
        ThrowIfStopped(stop_);
        within.push_back(Key(list));
        std::vector<TPlaylistEntry> listed = PlaylistEntries(text, base, SystemIsUtf8(), stop_);
        entries.reserve(std::min(entries.size() + listed.size(), kEntryLimit));
        size_t seen = 0;
        for (TPlaylistEntry& entry : listed) {
            if (++seen % 16384 == 0)
                ThrowIfStopped(stop_);
            if (IsUrl(entry.location) || !HasPlaylistExtension(entry.location)) {
                Add(std::move(entry));
                continue;
            }
            // A list that names a list it is inside of, or one nested too deep, adds nothing.
            if (within.size() > size_t(kNestingLimit) ||
                std::find(within.begin(), within.end(), Key(entry.location)) != within.end())
                continue;
            try {
                Expand(entry.location, within);
            } catch (const EStreamCancelled&) {
                throw;
            } catch (const EMP3Error&) {
                // Unreadable: it stays an entry, so that its failure is told when its turn comes.
                Add(std::move(entry));
            }
        }
        within.pop_back();
    }

private:
    void Add(TPlaylistEntry entry)
    {
        if (entries.size() < kEntryLimit)
            entries.push_back(std::move(entry));
    }

    static std::string Key(const std::string& list)
    {
        if (IsUrl(list))
            return list;
        std::error_code error;
        const std::filesystem::path canonical = std::filesystem::weakly_canonical(list, error);
        return error ? list : canonical.string();
    }

    std::stop_token stop_;
};

} // namespace

std::string ReadListFile(const std::string& path, size_t limit)
{
    const auto fail = [&path](const std::string& why) {
        throw EFileOpenError(path, "cannot open \"" + path + "\": " + why);
    };
    // Opened without waiting (a FIFO would wait for a writer), then taken only as a plain file.
    const Descriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0)
        fail(std::string(std::strerror(errno)) + ".");
    struct stat status {};
    if (fstat(file.fd, &status) != 0)
        fail(std::string(std::strerror(errno)) + ".");
    if (S_ISDIR(status.st_mode))
        fail("it is a directory, not a file.");
    if (!S_ISREG(status.st_mode))
        fail("not a regular file.");
    std::string text(size_t(std::min<uintmax_t>(uintmax_t(std::max<off_t>(status.st_size, 0)), limit)), '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = read(file.fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EFileOpenError(path, "cannot read \"" + path + "\": " + std::strerror(errno) + ".");
        if (n == 0)
            break;
        got += size_t(n);
    }
    text.resize(got);
    return text;
}

std::vector<TPlaylistEntry> ReadPlaylist(const std::string& location, const std::stop_token& stop)
{
    Expander expander(stop);
    std::vector<std::string> within;
    expander.Expand(location, within);
    return std::move(expander.entries);
}

std::vector<TPlaylistEntry> ExpandPlaylists(const std::vector<std::string>& names, const TListFailed& failed,
                                            const std::stop_token& stop)
{
    std::vector<TPlaylistEntry> entries;
    for (const std::string& name : names) {
        if (!HasPlaylistExtension(name)) {
            entries.push_back({name, {}});
            continue;
        }
        try {
            std::vector<TPlaylistEntry> listed = ReadPlaylist(name, stop);
            entries.insert(entries.end(), std::make_move_iterator(listed.begin()),
                           std::make_move_iterator(listed.end()));
        } catch (const EStreamCancelled&) {
            throw;
        } catch (const EMP3Error&) {
            if (!failed)
                throw;
            failed(name, std::current_exception());
        }
    }
    return entries;
}

TPlayStart FollowPlaylists(const std::string& location, const std::stop_token& stop)
{
    TPlayStart start{location, nullptr};
    for (int depth = 0;; ++depth) {
        if (depth > kNestingLimit)
            throw EStreamOpenError("playlists refer to each other too deeply");
        std::string text;
        std::string base = start.location;
        if (IsUrl(start.location)) {
            std::unique_ptr<TMPHttpStream> http = Fetch(start.location, stop);
            if (!http->IsPlaylist()) {
                start.http = std::move(http);
                return start;
            }
            text = FetchedText(*http, kFollowTextLimit, stop);
            base = http->EffectiveUrl();
        } else if (HasPlaylistExtension(start.location)) {
            text = ReadListFile(start.location, kFollowTextLimit);
        } else {
            return start;
        }
        // The entry the album of the same list would start with.
        std::vector<TPlaylistEntry> entries = PlaylistEntries(text, base, SystemIsUtf8());
        if (entries.empty())
            throw EStreamOpenError("the playlist names no stream");
        start.location = std::move(entries.front().location);
    }
}

} // namespace pt4
