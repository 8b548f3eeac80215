// The six equalizer presets: slider positions of the six bands, the settings key and the
// picture-store numbers of each preset button.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pt4 {

enum class TPreset : uint8_t { Flat, Pop, Rock, Jazz, Classic, Vocal };
inline constexpr int kPresetCount = 6;
inline constexpr int kBandCount = 6;

struct TPresetInfo {
    const char* caption;                       // button hint
    const char* settingsKey;                   // key in the [Option] section
    std::array<int32_t, kBandCount> positions; // slider positions; band value = -position * 5
    int onImage;                               // picture store numbers
    int offImage;
};

inline constexpr std::array<TPresetInfo, kPresetCount> kPresets = {{
    {"FLAT", "Flat", {0, 0, 0, 0, 0, 0}, 18, 17},
    {"POP", "Pop", {-1, -2, -3, -1, -2, -1}, 19, 20},
    {"ROCK", "Rock", {-2, -3, -4, 1, 3, 1}, 21, 22},
    {"JAZZ", "Jazz", {-1, -2, -3, 3, 4, -1}, 23, 24},
    {"CLASSIC", "Class", {0, -1, -4, 6, 4, 3}, 25, 26},
    {"VOCAL", "Vocal", {8, 7, -5, -4, -1, 3}, 27, 28},
}};

inline const TPresetInfo& PresetInfo(TPreset preset)
{
    return kPresets[static_cast<size_t>(preset)];
}

} // namespace pt4
