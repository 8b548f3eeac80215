#include "mp3plyr/input/utf8_text.h"

#include <cstdint>

namespace pt4 {

namespace {

// The code point of the sequence at `at` and its length in bytes; length 0 when the bytes
// there are not a valid sequence.
std::pair<char32_t, size_t> SequenceAt(std::string_view text, size_t at)
{
    const auto lead = static_cast<uint8_t>(text[at]);
    if (lead < 0x80)
        return {lead, 1};
    size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, c = lead & 0x1F, minimum = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, c = lead & 0x0F, minimum = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, c = lead & 0x07, minimum = 0x10000;
    else
        return {0, 0};
    if (at + length > text.size())
        return {0, 0};
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(text[at + k]);
        if ((next & 0xC0) != 0x80)
            return {0, 0};
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return {0, 0};
    return {c, length};
}

} // namespace

void AppendCodePoint(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsValidUtf8Text(std::string_view text)
{
    for (size_t at = 0; at < text.size();) {
        const size_t length = SequenceAt(text, at).second;
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

std::u32string Utf8CodePoints(std::string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const auto [c, length] = SequenceAt(text, at);
        out += length == 0 ? kReplacementCharacter : c;
        at += length == 0 ? 1 : length;
    }
    return out;
}

std::string ReplaceInvalidUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = SequenceAt(text, at).second;
        if (length == 0) {
            AppendCodePoint(out, kReplacementCharacter);
            ++at;
        } else {
            out.append(text.substr(at, length));
            at += length;
        }
    }
    return out;
}

} // namespace pt4
