// The loudness options that pt4 play and pt4 decode share: --replaygain MODE and --preamp DB.
#pragma once

#include "mp3plyr/input/replay_gain.h"

#include <cstddef>
#include <string>
#include <vector>

namespace pt4::cli {

struct LoudnessOptions {
    TReplayGainMode mode = TReplayGainMode::Off;
    double preampDb = 0.0;
};

enum class OptionTaken { No, Yes, Bad };

// Takes args[i] (and its value, moving i past it) when it is one of the two options.
OptionTaken TakeLoudnessOption(const std::vector<std::string>& args, size_t& i, LoudnessOptions& out);

inline constexpr const char* kLoudnessUsage = "[--replaygain off|track|album|auto] [--preamp DB]";

} // namespace pt4::cli
