// Byte-level helpers shared by the container and tag readers: fixed-width text fields,
// big- and little-endian sizes, decimal numbers, and name=value lines.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pt4 {

// The bytes up to the first zero byte but at most `width`, without trailing bytes <= 32
// (leading spaces stay). `bytes` must hold at least `width` bytes.
std::string TextField(const uint8_t* bytes, int32_t width);

inline uint32_t BigEndian32(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

inline uint32_t LittleEndian32(const uint8_t* p)
{
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | uint32_t{p[0]};
}

// x rounded up to even; wide so that sizes near 2^31 do not wrap.
inline int64_t EvenAligned(int64_t x)
{
    return (x + 1) / 2 * 2;
}

// The value of a text made only of decimal digits, or 0 when it is empty or anything else
// (signs, spaces, letters). At most 9 digits are taken as a number; longer texts give 0.
int32_t DecimalNumber(std::string_view text);

// The value of the first line whose part before its first '=' equals `name` (ASCII letters
// compared without case); everything after that '='.
std::optional<std::string> LookupValue(const std::vector<std::string>& lines, std::string_view name);
// The same for the first line carrying any of `names`.
std::optional<std::string> LookupValue(const std::vector<std::string>& lines,
                                       std::initializer_list<std::string_view> names);

} // namespace pt4
