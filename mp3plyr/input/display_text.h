// Tag text for display: the raw bytes of a tag field turned into UTF-8.
#pragma once

#include "mp3plyr/input/text_encoding.h"

#include <string>
#include <string_view>

namespace pt4 {

// Decodes the raw bytes of an outside text (tag fields of every kind, a station's name and
// title, a playlist) to UTF-8, cut at the first NUL character and without trailing spaces (tag
// fields are NUL- or space-padded):
//   a UTF-16 byte-order mark (FF FE little-endian, FE FF big-endian) means UTF-16;
//   a UTF-8 byte-order mark means UTF-8 (dropped; invalid bytes become U+FFFD);
//   otherwise the encoding is the one EncodingFor gives for the process's choice
//   (TextEncodingChoice: detected, or Shift-JIS, EUC-JP or Latin-1 as the user asked).
std::string DisplayText(std::string_view raw);
// The same with the given choice in place of the process's.
std::string DisplayText(std::string_view raw, TTextEncodingChoice choice);

// Text from outside (a tag, a station, a file or list name) made safe to show on a terminal or a
// label: each control character (C0, DEL, the C1 range U+0080-U+009F and the bidirectional
// controls U+202A-U+202E and U+2066-U+2069, which would reverse the text after them) becomes a
// visible substitute (the control pictures U+2400-U+2421 for C0 and DEL, U+FFFD for the others),
// and each byte that is not part of valid UTF-8 becomes U+FFFD. Everything else is kept.
std::string VisibleText(std::string_view utf8);

// UTF-16 code units (no byte-order mark) to UTF-8, up to the first NUL unit; a lone surrogate
// becomes U+FFFD and an odd last byte is dropped.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian);

// Latin-1 bytes to UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

} // namespace pt4
