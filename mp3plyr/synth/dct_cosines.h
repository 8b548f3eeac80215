// Factors of the synthesis cosine transform's butterflies.
#pragma once

#include <array>

namespace pt4 {

std::array<float, 31> BuildDctCosines();

// Five groups for block sizes M = 32, 16, 8, 4, 2, each of M / 2 values
// 1 / (2 cos((2j + 1) pi / (2M))); built on the first call, shared by the whole process.
// Inline so that the per-slot transforms pay only the initialisation check.
inline const std::array<float, 31>& DctCosines()
{
    static const std::array<float, 31> cosines = BuildDctCosines();
    return cosines;
}

// Offset of block size M's group inside DctCosines().
constexpr int DctCosineGroup(int blockSize)
{
    return 32 - blockSize;
}

} // namespace pt4
