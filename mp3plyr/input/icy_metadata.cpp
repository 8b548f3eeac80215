#include "mp3plyr/input/icy_metadata.h"

#include <algorithm>

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

} // namespace pt4
