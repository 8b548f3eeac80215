#include "mp3plyr/synth/output_gain.h"

namespace pt4 {

void FoldOutputGain(EqualizerGains& gains, float scale, int32_t layer)
{
    if (scale == 1.0f)
        return;
    const auto scaleAll = [scale](auto& table) {
        for (auto& gain : table)
            gain.store(gain.load(std::memory_order_relaxed) * scale, std::memory_order_relaxed);
    };
    if (gains.FrequencyEqualizerOn.load() != 0) {
        scaleAll(gains.FrequencyEqualizerGains);
    } else if (gains.SubbandEqualizerOn.load() != 0) {
        scaleAll(gains.SubbandEqualizerGains);
    } else if (layer == 3) {
        for (auto& gain : gains.FrequencyEqualizerGains)
            gain.store(scale, std::memory_order_relaxed);
        gains.FrequencyEqualizerOn = 1;
    } else {
        for (auto& gain : gains.SubbandEqualizerGains)
            gain.store(scale, std::memory_order_relaxed);
        gains.SubbandEqualizerOn = 1;
    }
}

} // namespace pt4
