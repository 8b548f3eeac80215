// UTF-8 by hand: appending code points, checking and reading text, mending invalid bytes.
#pragma once

#include <string>
#include <string_view>

namespace pt4 {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

void AppendCodePoint(std::string& out, char32_t c);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8Text(std::string_view text);

// The code points of valid UTF-8 text (see IsValidUtf8Text); each invalid byte gives U+FFFD.
std::u32string Utf8CodePoints(std::string_view text);

// The text with each byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string ReplaceInvalidUtf8(std::string_view text);

} // namespace pt4
