// Tag text for display: the raw bytes of a tag field turned into UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace pt4 {

// Decodes raw tag bytes to UTF-8, cut at the first NUL character and without trailing spaces
// (tag fields are NUL- or space-padded):
//   a UTF-16 byte-order mark (FF FE little-endian, FE FF big-endian) means UTF-16;
//   otherwise valid UTF-8 stays as it is (a leading UTF-8 byte-order mark is dropped);
//   otherwise valid Shift-JIS (code page 932) is converted;
//   otherwise each byte is taken as Latin-1.
std::string DisplayText(std::string_view raw);

} // namespace pt4
