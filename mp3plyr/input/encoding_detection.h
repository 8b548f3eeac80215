// Which encoding a piece of outside text (a tag field, a station's title, a playlist) is in,
// when nothing says so: the charset detector's answer with the rules a short title needs.
#pragma once

#include "mp3plyr/input/text_encoding.h"

#include <string_view>

namespace pt4 {

// In this order:
//   a UTF-16 byte-order mark (FF FE, FE FF) means UTF-16;
//   ISO-2022-JP, recognised by the detector from its escape sequences;
//   valid UTF-8 is UTF-8, unless its characters make no text together (scripts mixed, code
//   points no writing uses) while the bytes read as Japanese (half-width katakana in code
//   page 932 are often valid UTF-8);
//   the detector naming Shift-JIS or EUC-JP when the bytes are valid in it;
//   Shift-JIS or EUC-JP holding kana in words (where both do, the one with more Japanese in
//   it; EUC-JP kanji that are mostly common ones outweigh plain half-width katakana);
//   UTF-8 that reads badly but still best;
//   Shift-JIS or EUC-JP holding kanji outside Latin words;
//   Windows-1252 (Latin-1) for the rest.
// Text without any byte above 0x7F is UTF-8.
TTextEncoding DetectTextEncoding(std::string_view bytes);

// The encoding `choice` reads the bytes in: Auto detects; a forced encoding still gives way to a
// byte-order mark, ISO-2022-JP and valid UTF-8 that reads as text.
TTextEncoding EncodingFor(std::string_view bytes, TTextEncodingChoice choice);

// What the charset detector alone names for the bytes, in its own spelling ("SHIFT_JIS",
// "WINDOWS-1252", ...); empty when it cannot tell.
std::string DetectorAnswer(std::string_view bytes);

} // namespace pt4
