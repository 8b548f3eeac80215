#include "mp3plyr/input/display_text.h"

#include "mp3plyr/input/encoding_detection.h"
#include "mp3plyr/input/utf8_text.h"

#include <cerrno>
#include <cstdint>

namespace pt4 {

std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian)
{
    std::string out;
    auto unitAt = [&](size_t i) -> char32_t {
        const auto first = static_cast<uint8_t>(bytes[i]);
        const auto second = static_cast<uint8_t>(bytes[i + 1]);
        return bigEndian ? (char32_t{first} << 8 | second) : (char32_t{second} << 8 | first);
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t unit = unitAt(i);
        if (unit == 0)
            break;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            const char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (unit >= 0xD800 && unit <= 0xDFFF)
            unit = kReplacementCharacter;
        AppendCodePoint(out, unit);
    }
    return out;
}

std::string Latin1ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char byte : bytes)
        AppendCodePoint(out, static_cast<uint8_t>(byte));
    return out;
}

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<uint8_t>(text[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        size_t length = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2, c = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3, c = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4, c = lead & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (next & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

void TrimTrailingSpaces(std::string& text)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
}

// U+202A-U+202E (E2 80 AA-AE) and U+2066-U+2069 (E2 81 A6-A9), as one UTF-8 sequence.
bool IsBidiControl(std::string_view sequence)
{
    if (sequence.size() != 3 || static_cast<uint8_t>(sequence[0]) != 0xE2)
        return false;
    const auto second = static_cast<uint8_t>(sequence[1]);
    const auto third = static_cast<uint8_t>(sequence[2]);
    return (second == 0x80 && third >= 0xAA && third <= 0xAE) ||
           (second == 0x81 && third >= 0xA6 && third <= 0xA9);
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

std::string VisibleText(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<uint8_t>(utf8[i]);
        if (lead < 0x20 || lead == 0x7F) {
            AppendCodePoint(out, lead == 0x7F ? char32_t{0x2421} : char32_t{0x2400} + lead);
            ++i;
            continue;
        }
        size_t length = 1;
        if (lead >= 0xC2 && lead <= 0xDF)
            length = 2;
        else if (lead >= 0xE0 && lead <= 0xEF)
            length = 3;
        else if (lead >= 0xF0 && lead <= 0xF4)
            length = 4;
        else if (lead >= 0x80)
            length = 0;
        const std::string_view sequence = utf8.substr(i, length);
        if (length == 0 || sequence.size() < length || !IsValidUtf8(sequence)) {
            AppendCodePoint(out, kReplacementCharacter);
            ++i;
            continue;
        }
        // C1 characters are the two-byte forms C2 80 - C2 9F; the bidirectional embeddings,
        // overrides and isolates (U+202A-U+202E, U+2066-U+2069) would reorder what follows.
        if ((lead == 0xC2 && static_cast<uint8_t>(sequence[1]) < 0xA0) || IsBidiControl(sequence)) {
            AppendCodePoint(out, kReplacementCharacter);
            i += length;
            continue;
        }
        out.append(sequence);
        i += length;
    }
    return out;
}

std::string DisplayText(std::string_view raw)
{
    return DisplayText(raw, TextEncodingChoice());
}

std::string DisplayText(std::string_view raw, TTextEncodingChoice choice)
{
    std::string text;
    if (StartsWith(raw, "\xFF\xFE") || StartsWith(raw, "\xFE\xFF")) {
        text = Utf16ToUtf8(raw.substr(2), raw[0] == '\xFE');
    } else {
        const std::string_view bytes = raw.substr(0, raw.find('\0'));
        if (StartsWith(bytes, "\xEF\xBB\xBF"))
            text = ConvertToUtf8(bytes.substr(3), TTextEncoding::Utf8);
        else
            text = ConvertToUtf8(bytes, EncodingFor(bytes, choice));
    }
    TrimTrailingSpaces(text);
    return text;
}

} // namespace pt4
