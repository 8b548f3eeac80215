// The text of playlist files: recognising a list, its lines and entries, and where each entry
// points. Reading lists from files and servers is in playlist_reading.cpp.
#include "mp3plyr/input/playlist_file.h"

#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/live_stream.h"
#include "mp3plyr/input/location.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <map>

namespace pt4 {
namespace {

// Entries taken from one list's text.
constexpr size_t kEntryLimit = 1000000;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// ASCII only, and without the C library's locale look-up, which shows in long lists.
char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

// Lines or entries between two looks at a stop token: a long list gives way within a few ms.
constexpr size_t kStopStride = 16384;

void ThrowIfStopped(size_t done, const std::stop_token& stop)
{
    if (done % kStopStride == 0 && stop.stop_requested())
        throw EStreamCancelled();
}

template <typename Visit> void ForEachLine(std::string_view text, const std::stop_token& stop, Visit visit)
{
    // A plain scan: find_first_of searches its set once per byte, which shows in long lists.
    size_t start = 0;
    size_t lines = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\r' || text[i] == '\n') {
            visit(Trim(text.substr(start, i - start)));
            start = i + 1;
            ThrowIfStopped(++lines, stop);
        }
    if (start < text.size())
        visit(Trim(text.substr(start)));
}

// The digits after `key`'s name in a .pls line ("File12" → 12); nothing when they are not all
// there is.
std::optional<long> EntryNumber(std::string_view key, std::string_view name)
{
    if (!StartsWithNoCase(key, name))
        return std::nullopt;
    key.remove_prefix(name.size());
    if (key.empty() || key.size() > 9 ||
        !std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return std::stol(std::string(key));
}

std::vector<TPlaylistEntry> ParsePls(std::string_view text, const std::stop_token& stop)
{
    std::map<long, TPlaylistEntry> numbered;
    ForEachLine(text, stop, [&](std::string_view line) {
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            return;
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (numbered.size() >= kEntryLimit)
            return;
        if (const auto n = EntryNumber(key, "file"))
            numbered[*n].location = value;
        else if (const auto t = EntryNumber(key, "title"))
            numbered[*t].title = value;
    });
    std::vector<TPlaylistEntry> entries;
    for (auto& [n, entry] : numbered)
        if (!entry.location.empty())
            entries.push_back(std::move(entry));
    return entries;
}

// "#EXTINF:123,Artist - Title" (attributes may come before the comma, quoted).
std::string ExtinfTitle(std::string_view line)
{
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ',' && !quoted)
            return std::string(Trim(line.substr(i + 1)));
    }
    return {};
}

std::vector<TPlaylistEntry> ParseM3u(std::string_view text, const std::stop_token& stop)
{
    std::vector<TPlaylistEntry> entries;
    entries.reserve(std::min(size_t(std::count(text.begin(), text.end(), '\n')) + 1, kEntryLimit));
    std::string title;
    ForEachLine(text, stop, [&](std::string_view line) {
        if (line.empty())
            return;
        if (line.front() == '#') {
            if (StartsWithNoCase(line, "#EXTINF:"))
                title = ExtinfTitle(line);
            return;
        }
        if (entries.size() < kEntryLimit)
            entries.push_back({std::string(line), std::move(title)});
        title.clear();
    });
    return entries;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto lead = uint8_t(text[i]);
        size_t length = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
        if (length == 0 || i + length > text.size())
            return false;
        uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto next = uint8_t(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = c << 6 | (next & 0x3F);
        }
        static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// "scheme://" of any kind.
bool HasScheme(std::string_view text)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(text[0])))
        return false;
    for (size_t i = 1; i < colon; ++i)
        if (!std::isalnum(static_cast<unsigned char>(text[i])) && text[i] != '+' && text[i] != '-' &&
            text[i] != '.')
            return false;
    return text.substr(colon + 1, 2) == "//";
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The local path of file:///path, file://localhost/path or file:/path; nothing for another host.
std::optional<std::string> FileUrlPath(std::string_view url)
{
    url.remove_prefix(5); // "file:"
    if (url.starts_with("//")) {
        url.remove_prefix(2);
        const size_t slash = url.find('/');
        if (slash == std::string_view::npos)
            return std::nullopt;
        const std::string_view host = url.substr(0, slash);
        if (!host.empty() && !(host.size() == 9 && StartsWithNoCase(host, "localhost")))
            return std::nullopt;
        url.remove_prefix(slash);
    }
    if (!url.starts_with('/'))
        return std::nullopt;
    std::string path;
    for (size_t i = 0; i < url.size(); ++i) {
        if (url[i] == '%' && i + 2 < url.size() && HexValue(url[i + 1]) >= 0 && HexValue(url[i + 2]) >= 0) {
            path += char(HexValue(url[i + 1]) * 16 + HexValue(url[i + 2]));
            i += 2;
        } else {
            path += url[i];
        }
    }
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    return path;
}

// A name of a fetched list, made a URL beside the list (or on its server, from "/"). Spaces
// and the other bytes a URL may not hold as they are are escaped.
std::string ResolveAgainstUrl(const std::string& raw, const std::string& base)
{
    std::string name;
    for (const char c : raw) {
        const auto byte = uint8_t(c);
        if (byte <= 0x20 || byte == 0x7F || std::string_view("\"<>^`{|}").find(c) != std::string_view::npos) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            name += {'%', kHex[byte >> 4], kHex[byte & 15]};
        } else {
            name += c;
        }
    }
    const size_t scheme = base.find("://");
    if (name.starts_with("//"))
        return base.substr(0, scheme + 1) + name;
    const size_t pathStart = base.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    if (pathStart == std::string::npos)
        return base + "/" + (name.starts_with('/') ? name.substr(1) : name);
    if (name.starts_with('/'))
        return base.substr(0, pathStart) + name;
    const std::string path = base.substr(0, base.find_first_of("?#", pathStart));
    return path.substr(0, path.rfind('/') + 1) + name;
}

std::optional<std::string> Resolve(std::string_view entry, const std::string& list, const std::string& folder)
{
    entry = Trim(entry);
    if (entry.empty())
        return std::nullopt;
    if (IsUrl(entry))
        return std::string(entry);
    const bool remote = IsUrl(list);
    if (StartsWithNoCase(entry, "file:"))
        return remote ? std::nullopt : FileUrlPath(entry);
    if (HasScheme(entry))
        return std::nullopt;
    std::string name(entry);
    std::replace(name.begin(), name.end(), '\\', '/');
    if (remote)
        return ResolveAgainstUrl(name, list);
    if (name.starts_with('/'))
        return name;
    const std::string path = folder.empty() ? name : folder + '/' + name;
    // Most names need no tidying, and tidying a path is slow in a list of many thousands.
    const bool untidy =
        ("/" + name + "/").find("/.") != std::string::npos || name.find("//") != std::string::npos;
    return untidy ? std::filesystem::path(path).lexically_normal().string() : path;
}

} // namespace

bool HasPlaylistExtension(std::string_view name)
{
    const size_t query = name.find_first_of("?#");
    if (name.find("://") != std::string_view::npos && query != std::string_view::npos)
        name = name.substr(0, query);
    const auto endsWith = [name](std::string_view suffix) {
        return name.size() >= suffix.size() &&
               StartsWithNoCase(name.substr(name.size() - suffix.size()), suffix);
    };
    return endsWith(".m3u") || endsWith(".m3u8") || endsWith(".pls");
}

bool LooksLikePlaylist(std::string_view start)
{
    if (start.starts_with("\xEF\xBB\xBF"))
        start.remove_prefix(3);
    // A server may pad the start of its answer with NULs as well as with white space.
    const size_t text = start.find_first_not_of(std::string_view(" \t\r\n\0", 5));
    start.remove_prefix(text == std::string_view::npos ? start.size() : text);
    return StartsWithNoCase(start, "#EXTM3U") || StartsWithNoCase(start, "[playlist]") ||
           StartsWithNoCase(start, "http://") || StartsWithNoCase(start, "https://");
}

bool SystemIsUtf8()
{
    static const bool utf8 = [] {
        const locale_t locale = newlocale(LC_CTYPE_MASK, "", locale_t(0));
        if (locale == locale_t(0))
            return true;
        const std::string codeset = nl_langinfo_l(CODESET, locale);
        freelocale(locale);
        return codeset == "UTF-8" || codeset == "utf8" || codeset == "ANSI_X3.4-1968";
    }();
    return utf8;
}

std::vector<TPlaylistEntry> ParsePlaylist(std::string_view text, const std::stop_token& stop)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    text = Trim(text);
    return StartsWithNoCase(text, "[playlist]") ? ParsePls(text, stop) : ParseM3u(text, stop);
}

std::optional<std::string> ResolvePlaylistEntry(std::string_view entry, const std::string& list)
{
    return Resolve(entry, list, std::filesystem::path(list).parent_path().string());
}

std::vector<TPlaylistEntry> PlaylistEntries(std::string_view text, const std::string& list, bool systemUtf8,
                                            const std::stop_token& stop)
{
    std::string converted;
    if (systemUtf8 && !IsUtf8(text)) {
        converted = DisplayText(text);
        text = converted;
    }
    std::vector<TPlaylistEntry> entries = ParsePlaylist(text, stop);
    const std::string folder = std::filesystem::path(list).parent_path().string();
    size_t kept = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (std::optional<std::string> location = Resolve(entries[i].location, list, folder))
            entries[kept++] = {std::move(*location), std::move(entries[i].title)};
        ThrowIfStopped(i + 1, stop);
    }
    entries.resize(kept);
    return entries;
}

std::string ShownTitle(const std::string& title, const std::string& fileName, const std::string& listed)
{
    if (listed.empty())
        return title;
    if (title.empty() || title == std::filesystem::path(fileName).filename().string())
        return listed;
    return title;
}

} // namespace pt4
