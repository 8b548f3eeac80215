// Bytes of a tag field or a station title in any encoding: detected and converted under each
// choice, and converted in each encoding. Checks that what comes out is always valid UTF-8, and
// that a strict conversion, when it succeeds, gives what the lenient one gives.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/encoding_detection.h"
#include "mp3plyr/input/text_encoding.h"
#include "mp3plyr/input/utf8_text.h"

namespace {

using namespace pt4;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (TTextEncodingChoice choice : {TTextEncodingChoice::Auto, TTextEncodingChoice::ShiftJis,
                                       TTextEncodingChoice::EucJp, TTextEncodingChoice::Latin1}) {
        Check(IsValidUtf8Text(DisplayText(bytes, choice)));
        const TTextEncoding found = EncodingFor(bytes, choice);
        // What is detected converts: the rules only name an encoding the bytes are valid in,
        // Windows-1252 takes anything, and UTF-16 conversion never fails.
        if (choice == TTextEncodingChoice::Auto)
            Check(ConvertStrictlyToUtf8(bytes, found).has_value());
    }
    for (TTextEncoding encoding :
         {TTextEncoding::Utf8, TTextEncoding::Utf16LittleEndian, TTextEncoding::Utf16BigEndian,
          TTextEncoding::ShiftJis, TTextEncoding::EucJp, TTextEncoding::Iso2022Jp, TTextEncoding::Latin1}) {
        const std::string lenient = ConvertToUtf8(bytes, encoding);
        Check(IsValidUtf8Text(lenient));
        if (const std::optional<std::string> strict = ConvertStrictlyToUtf8(bytes, encoding))
            Check(*strict == lenient);
    }
    return 0;
}
