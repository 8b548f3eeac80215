// How pt4 shows names and writes JSON: nothing from a file name, a list or a server reaches the
// terminal as control characters, and no password is shown.
#include "cli/commands.h"

#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/location.h"

#include <nlohmann/json.hpp>

namespace pt4::cli {

std::string ShownName(const std::string& name)
{
    return VisibleText(ShownLocation(name));
}

std::string JsonLine(const nlohmann::json& value)
{
    // Names need not be UTF-8: such bytes are written as U+FFFD rather than failing.
    const std::string text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // The writer escapes C0 controls only; the C1 ones (C2 80 - C2 9F in UTF-8, such as U+009B,
    // a terminal's CSI) are escaped here. Outside strings the text is ASCII, and C2 is never a
    // continuation byte, so each such pair is one character.
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[next >> 4];
            out += kHex[next & 15];
            ++i;
        } else {
            out += char(byte);
        }
    }
    return out;
}

} // namespace pt4::cli
