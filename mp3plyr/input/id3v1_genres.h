// Names of the ID3v1 genre byte values.
#pragma once

#include <array>
#include <string_view>

namespace pt4 {

// 256 names indexed by the genre byte; unnamed numbers map to an empty name.
extern const std::array<std::string_view, 256> Id3v1Genres;

} // namespace pt4
