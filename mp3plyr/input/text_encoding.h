// The encodings outside text comes in, the user's choice among the legacy ones, and the
// conversion of bytes to UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pt4 {

enum class TTextEncoding : uint8_t {
    Utf8,
    Utf16LittleEndian,
    Utf16BigEndian,
    ShiftJis, // code page 932: JIS X 0208, half-width katakana and the Windows extensions
    EucJp,
    Iso2022Jp,
    Latin1, // Windows-1252: ISO 8859-1 with printable characters in 0x80-0x9F
};

// How 8-bit text without a Unicode form is read: detected, or always in one encoding.
enum class TTextEncodingChoice : uint8_t { Auto = 0, ShiftJis = 1, EucJp = 2, Latin1 = 3 };

// The choice for every text of this process; Auto until set. Any thread may read it while the
// front end sets it (an atomic).
TTextEncodingChoice TextEncodingChoice();
void SetTextEncodingChoice(TTextEncodingChoice choice);

// "auto", "sjis", "eucjp", "latin1" and back.
std::string_view TextEncodingChoiceName(TTextEncodingChoice choice);
std::optional<TTextEncodingChoice> TextEncodingChoiceNamed(std::string_view name);

// The encoding a forced choice reads 8-bit text in; nothing for Auto.
std::optional<TTextEncoding> ChosenEncoding(TTextEncodingChoice choice);

// The bytes as UTF-8. A sequence that is not valid in the encoding becomes U+FFFD and the
// conversion goes on after its first byte. UTF-16 drops its byte-order mark and stops at a NUL
// unit.
std::string ConvertToUtf8(std::string_view bytes, TTextEncoding encoding);

// The same, or nothing when any sequence is not valid in the encoding (UTF-16: never nothing).
std::optional<std::string> ConvertStrictlyToUtf8(std::string_view bytes, TTextEncoding encoding);

} // namespace pt4
