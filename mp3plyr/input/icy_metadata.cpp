#include "mp3plyr/input/icy_metadata.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

namespace pt4 {

void TIcyDemuxer::Feed(std::span<const uint8_t> bytes, std::vector<uint8_t>& audio,
                       std::vector<TIcyBlock>& blocks)
{
    const size_t audioStart = audio.size();
    if (interval_ == 0) {
        audio.insert(audio.end(), bytes.begin(), bytes.end());
        return;
    }
    size_t at = 0;
    while (at < bytes.size()) {
        switch (part_) {
        case Part::Audio: {
            const size_t n = std::min(audioLeft_, bytes.size() - at);
            audio.insert(audio.end(), bytes.begin() + ptrdiff_t(at), bytes.begin() + ptrdiff_t(at + n));
            at += n;
            audioLeft_ -= n;
            if (audioLeft_ == 0)
                part_ = Part::Length;
            break;
        }
        case Part::Length:
            metadataLeft_ = size_t(bytes[at++]) * 16;
            block_.clear();
            if (metadataLeft_ > 0) {
                part_ = Part::Metadata;
            } else {
                part_ = Part::Audio;
                audioLeft_ = interval_;
            }
            break;
        case Part::Metadata: {
            const size_t n = std::min(metadataLeft_, bytes.size() - at);
            block_.append(reinterpret_cast<const char*>(bytes.data() + at), n);
            at += n;
            metadataLeft_ -= n;
            if (metadataLeft_ == 0) {
                const size_t end = block_.find_last_not_of('\0');
                block_.resize(end == std::string::npos ? 0 : end + 1);
                blocks.push_back({audio.size() - audioStart, std::move(block_)});
                block_.clear();
                part_ = Part::Audio;
                audioLeft_ = interval_;
            }
            break;
        }
        }
    }
}

std::optional<std::string> IcyStreamTitle(std::string_view block)
{
    constexpr std::string_view kKey = "StreamTitle='";
    const size_t key = block.find(kKey);
    if (key == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = block.substr(key + kKey.size());
    // The value ends at the quote that closes the field ("';"), or at the last quote of a block
    // whose field is not closed by a semicolon.
    size_t end = rest.find("';");
    if (end == std::string_view::npos)
        end = rest.rfind('\'');
    if (end == std::string_view::npos)
        end = rest.size();
    std::string value(rest.substr(0, end));
    const size_t nul = value.find('\0');
    if (nul != std::string::npos)
        value.resize(nul);
    return value;
}

namespace {

std::string_view Trim(std::string_view text)
{
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && StartsWithNoCase(text.substr(text.size() - suffix.size()), suffix);
}

template <typename Visit> void ForEachLine(std::string_view text, Visit visit)
{
    while (!text.empty()) {
        const size_t end = text.find_first_of("\r\n");
        visit(Trim(text.substr(0, end)));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

std::string_view WithoutByteOrderMark(std::string_view text)
{
    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    return Trim(text);
}

} // namespace

bool HasPlaylistExtension(std::string_view name)
{
    const size_t query = name.find_first_of("?#");
    if (name.find("://") != std::string_view::npos && query != std::string_view::npos)
        name = name.substr(0, query);
    return EndsWithNoCase(name, ".m3u") || EndsWithNoCase(name, ".m3u8") || EndsWithNoCase(name, ".pls");
}

bool LooksLikePlaylist(std::string_view start)
{
    start = WithoutByteOrderMark(start);
    return StartsWithNoCase(start, "#EXTM3U") || StartsWithNoCase(start, "[playlist]") ||
           StartsWithNoCase(start, "http://") || StartsWithNoCase(start, "https://");
}

} // namespace pt4
