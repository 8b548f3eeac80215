#include "mp3plyr/synth/output_gain.h"

namespace pt4 {

void FoldOutputGain(EqualizerGains& gains, float scale, int32_t layer)
{
    if (layer == 3) {
        gains.OutputGain.store(scale);
        return;
    }
    if (scale == 1.0f)
        return;
    const bool equalizing = gains.SubbandEqualizerOn.load() != 0;
    for (auto& gain : gains.SubbandEqualizerGains)
        gain.store((equalizing ? gain.load(std::memory_order_relaxed) : 1.0f) * scale,
                   std::memory_order_relaxed);
    gains.SubbandEqualizerOn = 1;
}

} // namespace pt4
