// Reordering of short blocks: the three windows of a band, coded one after the other, are
// interleaved line by line, the order the hybrid filter bank reads them in.
#include "mp3plyr/decoder/layer3_stages.h"

namespace pt4 {

void ReorderShortBand(const float* windows, float* out, int32_t width)
{
    for (int32_t j = 0; j < width; ++j) {
        out[3 * j] = windows[j];
        out[3 * j + 1] = windows[width + j];
        out[3 * j + 2] = windows[2 * width + j];
    }
}

} // namespace pt4
