#include "mp3plyr/input/text_encoding.h"

#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/utf8_text.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <iconv.h>

namespace pt4 {

namespace {

std::atomic<TTextEncodingChoice> processChoice{TTextEncodingChoice::Auto};

constexpr std::array<std::pair<TTextEncodingChoice, std::string_view>, 4> kChoiceNames = {{
    {TTextEncodingChoice::Auto, "auto"},
    {TTextEncodingChoice::ShiftJis, "sjis"},
    {TTextEncodingChoice::EucJp, "eucjp"},
    {TTextEncodingChoice::Latin1, "latin1"},
}};

// Windows-1252 in 0x80-0x9F; 0 where the code page leaves the byte undefined (it then stays
// the C1 control it is in ISO 8859-1).
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::string Windows1252ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        const char32_t mapped = byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : 0;
        AppendCodePoint(out, mapped != 0 ? mapped : byte);
    }
    return out;
}

const char* IconvName(TTextEncoding encoding)
{
    switch (encoding) {
    case TTextEncoding::ShiftJis: return "CP932";
    case TTextEncoding::EucJp: return "EUC-JP";
    case TTextEncoding::Iso2022Jp: return "ISO-2022-JP";
    default: return nullptr;
    }
}

// Through the C library's converter. Strict: nothing at the first invalid sequence; otherwise
// U+FFFD for it and on with the next byte. Nothing as well when the converter is missing.
std::optional<std::string> ThroughIconv(std::string_view bytes, const char* from, bool strict)
{
    const iconv_t converter = iconv_open("UTF-8", from);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out;
    // Every character of these encodings is at most 3 bytes of UTF-8 per input byte, escape
    // sequences included; the end's reset needs nothing.
    std::string piece(bytes.size() * 3 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    bool failed = false;
    while (true) {
        char* outPtr = piece.data();
        size_t outLeft = piece.size();
        const size_t result = inLeft == 0 ? iconv(converter, nullptr, nullptr, &outPtr, &outLeft)
                                          : iconv(converter, &in, &inLeft, &outPtr, &outLeft);
        out.append(piece.data(), piece.size() - outLeft);
        if (result != static_cast<size_t>(-1) && inLeft == 0)
            break;
        if (result != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        if (strict) {
            failed = true;
            break;
        }
        AppendCodePoint(out, kReplacementCharacter);
        ++in;
        --inLeft;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(converter);
    if (failed)
        return std::nullopt;
    return out;
}

std::optional<std::string> Convert(std::string_view bytes, TTextEncoding encoding, bool strict)
{
    const bool bigEndian = encoding == TTextEncoding::Utf16BigEndian;
    switch (encoding) {
    case TTextEncoding::Utf16LittleEndian:
    case TTextEncoding::Utf16BigEndian:
        if (bytes.starts_with(bigEndian ? "\xFE\xFF" : "\xFF\xFE"))
            bytes.remove_prefix(2);
        return Utf16ToUtf8(bytes, bigEndian);
    case TTextEncoding::Latin1: return Windows1252ToUtf8(bytes);
    case TTextEncoding::Utf8:
        if (IsValidUtf8Text(bytes))
            return std::string(bytes);
        if (strict)
            return std::nullopt;
        return ReplaceInvalidUtf8(bytes);
    default: {
        if (auto converted = ThroughIconv(bytes, IconvName(encoding), strict))
            return converted;
        // Without the converter the bytes are at least shown as Windows-1252.
        return strict ? std::nullopt : std::optional(Windows1252ToUtf8(bytes));
    }
    }
}

} // namespace

TTextEncodingChoice TextEncodingChoice()
{
    return processChoice.load(std::memory_order_relaxed);
}

void SetTextEncodingChoice(TTextEncodingChoice choice)
{
    processChoice.store(choice, std::memory_order_relaxed);
}

std::string_view TextEncodingChoiceName(TTextEncodingChoice choice)
{
    for (const auto& [value, name] : kChoiceNames)
        if (value == choice)
            return name;
    return "auto";
}

std::optional<TTextEncodingChoice> TextEncodingChoiceNamed(std::string_view name)
{
    for (const auto& [value, known] : kChoiceNames)
        if (known == name)
            return value;
    return std::nullopt;
}

std::optional<TTextEncoding> ChosenEncoding(TTextEncodingChoice choice)
{
    switch (choice) {
    case TTextEncodingChoice::ShiftJis: return TTextEncoding::ShiftJis;
    case TTextEncodingChoice::EucJp: return TTextEncoding::EucJp;
    case TTextEncodingChoice::Latin1: return TTextEncoding::Latin1;
    case TTextEncodingChoice::Auto: break;
    }
    return std::nullopt;
}

std::string ConvertToUtf8(std::string_view bytes, TTextEncoding encoding)
{
    return *Convert(bytes, encoding, false);
}

std::optional<std::string> ConvertStrictlyToUtf8(std::string_view bytes, TTextEncoding encoding)
{
    return Convert(bytes, encoding, true);
}

} // namespace pt4
