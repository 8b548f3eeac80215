// The inverse MDCTs of Layer III: a 36-point transform through an 18-point core and the
// 12-point transform of short blocks. Written once for any value type with float arithmetic,
// so that the hybrid filter bank can run them on one subband or on four at a time.
//
// The 36-point transform of 18 lines is an 18-point DCT-IV whose outputs are mirrored with
// signs. Adding neighbouring inputs (z[j] = x[j] + x[j - 1]) turns the DCT-IV into a DCT-III
// scaled by 1 / (2 cos((2n + 1) pi / 72)); its even inputs feed one 9-point cosine transform and
// its odd inputs, folded once more, another one scaled by 1 / (2 cos((2n + 1) pi / 36)). The
// first scale and the output signs live in the window table. The 12-point transform is the same
// construction on 6 lines.
#pragma once

#include <array>
#include <cstddef>
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

namespace imdct_detail {

// f[n] = sum over m of a[m] cos((2n + 1) m pi / 18), n = 0 ... 8, using f[8 - n] = even - odd.
template <typename T> inline void Cosine9(const T* a, T* f, const ImdctTables& t)
{
    for (int n = 0; n < 4; ++n) {
        const auto& c = t.Cos9[static_cast<std::size_t>(n)];
        const T even = a[0] + a[2] * c[2] + a[4] * c[4] + a[6] * c[6] + a[8] * c[8];
        const T odd = a[1] * c[1] + a[3] * c[3] + a[5] * c[5] + a[7] * c[7];
        f[n] = even + odd;
        f[8 - n] = even - odd;
    }
    f[4] = a[0] - a[2] + a[4] - a[6] + a[8];
}

} // namespace imdct_detail

// 18 lines to `first[t]` (to be multiplied by window entry t) and `second[t]` (entry 18 + t),
// t = 0 ... 17, for a window row of ImdctWindowTable.
template <typename T> inline void Imdct36(const T* lines, T* first, T* second, const ImdctTables& tables)
{
    T even[9], odd[9];
    even[0] = lines[0];
    T previousOdd{};
    for (int m = 0; m < 9; ++m) {
        if (m > 0)
            even[m] = lines[2 * m] + lines[2 * m - 1];
        const T z = lines[2 * m + 1] + lines[2 * m];
        odd[m] = z + previousOdd;
        previousOdd = z;
    }
    T e[9], o[9];
    imdct_detail::Cosine9(even, e, tables);
    imdct_detail::Cosine9(odd, o, tables);
    for (int n = 0; n < 9; ++n) {
        const T scaledOdd = o[n] * tables.OddScale9[static_cast<std::size_t>(n)];
        const T difference = e[n] - scaledOdd;
        const T sum = e[n] + scaledOdd;
        first[8 - n] = difference;
        first[9 + n] = difference;
        second[8 - n] = sum;
        second[9 + n] = sum;
    }
}

// One short window: 6 lines at `lines[0]`, `lines[3]` ... `lines[15]` to 12 windowed values.
template <typename T> inline void Imdct12(const T* lines, T* out, const ImdctTables& tables)
{
    const T x0 = lines[0], x1 = lines[3], x2 = lines[6], x3 = lines[9], x4 = lines[12], x5 = lines[15];
    const T z0 = x0, z1 = x1 + x0, z2 = x2 + x1, z3 = x3 + x2, z4 = x4 + x3, z5 = x5 + x4;
    const T v0 = z1, v1 = z3 + z1, v2 = z5 + z3;
    constexpr float kHalfRoot3 = 0.866025403784438647f;
    const T e0 = z0 + z2 * kHalfRoot3 + z4 * 0.5f;
    const T e1 = z0 - z4;
    const T e2 = z0 - z2 * kHalfRoot3 + z4 * 0.5f;
    const T o0 = (v0 + v1 * kHalfRoot3 + v2 * 0.5f) * tables.OddScale3[0];
    const T o1 = (v0 - v2) * tables.OddScale3[1];
    const T o2 = (v0 - v1 * kHalfRoot3 + v2 * 0.5f) * tables.OddScale3[2];
    const T d[3] = {e0 - o0, e1 - o1, e2 - o2};
    const T s[3] = {e0 + o0, e1 + o1, e2 + o2};
    const float* w = tables.ShortWindow.data();
    for (int n = 0; n < 3; ++n) {
        out[2 - n] = d[n] * w[2 - n];
        out[3 + n] = d[n] * w[3 + n];
        out[8 - n] = s[n] * w[8 - n];
        out[9 + n] = s[n] * w[9 + n];
    }
}

} // namespace pt4
