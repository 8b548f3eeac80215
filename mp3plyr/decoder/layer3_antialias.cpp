// Antialias butterflies across the boundaries between neighbouring subbands.
#include "mp3plyr/decoder/layer3_stages.h"
#include "mp3plyr/decoder/layer3_tables.h"

namespace pt4 {

void Antialias(float* lines, int32_t boundaries)
{
    const Layer3Tables& tables = GetLayer3Tables();
    const float* cs = tables.AntialiasCs.data();
    const float* ca = tables.AntialiasCa.data();
    for (int32_t k = 0; k < boundaries; ++k) {
        float* upper = lines + 18 * k + 17; // last line of subband k, read downwards
        float* lower = lines + 18 * k + 18; // first line of subband k + 1, read upwards
        for (int i = 0; i < 8; ++i) {
            const float a = upper[-i], b = lower[i];
            upper[-i] = a * cs[i] - b * ca[i];
            lower[i] = b * cs[i] + a * ca[i];
        }
    }
}

} // namespace pt4
