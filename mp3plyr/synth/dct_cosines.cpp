#include "mp3plyr/synth/dct_cosines.h"

#include <cmath>

namespace pt4 {

std::array<float, 31> BuildDctCosines()
{
    const double pi = 4.0 * std::atan(1.0);
    std::array<float, 31> cosines{};
    for (int blockSize = 32; blockSize >= 2; blockSize /= 2) {
        for (int j = 0; j < blockSize / 2; ++j)
            cosines[DctCosineGroup(blockSize) + j] =
                static_cast<float>(1.0 / (2.0 * std::cos((2 * j + 1) * pi / (2.0 * blockSize))));
    }
    return cosines;
}

} // namespace pt4
