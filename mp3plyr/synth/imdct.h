// The inverse MDCTs of Layer III: a 36-point transform through an 18-point core and the
// 12-point transform of short blocks, each fused with its window.
#pragma once

#include <array>
#include <cstdint>

namespace pt4 {

struct ImdctTables {
    // [block type][position]: the window with the core's output signs and scale folded in.
    std::array<std::array<float, 36>, 4> ImdctWindowTable;
    std::array<float, 12> ShortWindow; // the same for the 12-point transform
    // cos((2n + 1) m pi / 18) for n = 0 ... 3, m = 0 ... 8: the 9-point cosine transform.
    std::array<std::array<float, 9>, 4> Cos9;
    std::array<float, 9> OddScale9; // 1 / (2 cos((2n + 1) pi / 36))
    std::array<float, 3> OddScale3; // 1 / (2 cos((2n + 1) pi / 12))
};

// Builds the tables on the first call; later calls return the same tables.
const ImdctTables& BuildImdctTables();

// The 18 lines of a long subband become, for t = 0 ... 17, `first[t]` (times the window
// entry t, to be added to the previous overlap) and `second[t]` (times entry 18 + t, the next
// overlap). The caller multiplies by its window row.
void Imdct36(const float* lines, float* first, float* second, const ImdctTables& tables);

// One short window: 6 lines (at stride 3) to 12 windowed values.
void Imdct12(const float* lines, float* out, const ImdctTables& tables);

} // namespace pt4
