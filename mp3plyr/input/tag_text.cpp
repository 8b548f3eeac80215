#include "mp3plyr/input/tag_text.h"

#include <algorithm>

namespace pt4 {

std::string TextField(const uint8_t* bytes, int32_t width)
{
    const uint8_t* end = std::find(bytes, bytes + std::max(width, 0), uint8_t{0});
    while (end != bytes && end[-1] <= 32)
        --end;
    return std::string(reinterpret_cast<const char*>(bytes), static_cast<size_t>(end - bytes));
}

int32_t DecimalNumber(std::string_view text)
{
    if (text.empty() || text.size() > 9)
        return 0;
    int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

namespace {

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

} // namespace

std::optional<std::string> LookupValue(const std::vector<std::string>& lines, std::string_view name)
{
    return LookupValue(lines, {name});
}

std::optional<std::string> LookupValue(const std::vector<std::string>& lines,
                                       std::initializer_list<std::string_view> names)
{
    for (const std::string& line : lines) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string_view lineName = std::string_view(line).substr(0, equals);
        for (std::string_view name : names)
            if (SameName(lineName, name))
                return line.substr(equals + 1);
    }
    return std::nullopt;
}

} // namespace pt4
