// Inverse MDCTs. The 36-point transform of 18 lines is a 18-point DCT-IV whose outputs are
// mirrored with signs; the DCT-IV is folded twice (adding neighbouring inputs) into two
// 9-point cosine transforms, whose outputs need the scales 1 / (2 cos(...)) that the window
// table carries. The 12-point transform is the same construction on 6 lines.
#include "mp3plyr/synth/imdct.h"

#include <cmath>

namespace pt4 {
namespace {

ImdctTables BuildTables()
{
    ImdctTables t{};
    const double pi = 4.0 * std::atan(1.0);
    auto longWindow = [&](int i) { return std::sin(pi / 36 * (i + 0.5)); };
    auto shortWindow = [&](int i) { return std::sin(pi / 12 * (i + 0.5)); };

    std::array<std::array<double, 36>, 4> window{};
    for (int i = 0; i < 36; ++i)
        window[0][static_cast<size_t>(i)] = longWindow(i);
    for (int i = 0; i < 18; ++i)
        window[1][static_cast<size_t>(i)] = longWindow(i);
    for (int i = 18; i < 24; ++i)
        window[1][static_cast<size_t>(i)] = 1.0;
    for (int i = 24; i < 30; ++i)
        window[1][static_cast<size_t>(i)] = shortWindow(i - 18);
    for (int i = 0; i < 12; ++i)
        window[2][static_cast<size_t>(i)] = shortWindow(i);
    for (int i = 6; i < 12; ++i)
        window[3][static_cast<size_t>(i)] = shortWindow(i - 6);
    for (int i = 12; i < 18; ++i)
        window[3][static_cast<size_t>(i)] = 1.0;
    for (int i = 18; i < 36; ++i)
        window[3][static_cast<size_t>(i)] = longWindow(i);

    // Output i of the 36-point transform is +y[9 + i] (i < 9), -y[26 - i] (9 <= i < 27) or
    // -y[i - 27], with y[n] = core(n) / (2 cos((2n + 1) pi / 72)).
    auto scale72 = [&](int n) { return 1.0 / (2.0 * std::cos((2 * n + 1) * pi / 72)); };
    for (int row = 0; row < 4; ++row) {
        for (int i = 0; i < 36; ++i) {
            const double factor = i < 9 ? scale72(9 + i) : (i < 27 ? -scale72(26 - i) : -scale72(i - 27));
            t.ImdctWindowTable[static_cast<size_t>(row)][static_cast<size_t>(i)] =
                static_cast<float>(window[static_cast<size_t>(row)][static_cast<size_t>(i)] * factor);
        }
    }
    auto scale24 = [&](int n) { return 1.0 / (2.0 * std::cos((2 * n + 1) * pi / 24)); };
    for (int i = 0; i < 12; ++i) {
        const double factor = i < 3 ? scale24(3 + i) : (i < 9 ? -scale24(8 - i) : -scale24(i - 9));
        t.ShortWindow[static_cast<size_t>(i)] = static_cast<float>(shortWindow(i) * factor);
    }
    for (int n = 0; n < 4; ++n)
        for (int m = 0; m < 9; ++m)
            t.Cos9[static_cast<size_t>(n)][static_cast<size_t>(m)] =
                static_cast<float>(std::cos((2 * n + 1) * m * pi / 18));
    for (int n = 0; n < 9; ++n)
        t.OddScale9[static_cast<size_t>(n)] = static_cast<float>(1.0 / (2.0 * std::cos((2 * n + 1) * pi / 36)));
    for (int n = 0; n < 3; ++n)
        t.OddScale3[static_cast<size_t>(n)] = static_cast<float>(1.0 / (2.0 * std::cos((2 * n + 1) * pi / 12)));
    return t;
}

// F[n] = sum over m of a[m] cos((2n + 1) m pi / 18), n = 0 ... 8, from the mirror symmetry
// F[8 - n] = even part - odd part.
inline void Cosine9(const float* a, float* f, const ImdctTables& t)
{
    for (int n = 0; n < 4; ++n) {
        const auto& c = t.Cos9[static_cast<size_t>(n)];
        const float even = a[0] + a[2] * c[2] + a[4] * c[4] + a[6] * c[6] + a[8] * c[8];
        const float odd = a[1] * c[1] + a[3] * c[3] + a[5] * c[5] + a[7] * c[7];
        f[n] = even + odd;
        f[8 - n] = even - odd;
    }
    f[4] = a[0] - a[2] + a[4] - a[6] + a[8];
}

} // namespace

const ImdctTables& BuildImdctTables()
{
    static const ImdctTables tables = BuildTables();
    return tables;
}

void Imdct36(const float* lines, float* first, float* second, const ImdctTables& tables)
{
    // z[j] = x[j] + x[j - 1] turns the DCT-IV into a DCT-III; its even inputs feed one
    // 9-point transform, its odd inputs folded once more (v[m] = z[2m + 1] + z[2m - 1]) the other.
    float even[9], odd[9];
    even[0] = lines[0];
    float previousOdd = 0.0f;
    for (int m = 0; m < 9; ++m) {
        if (m > 0)
            even[m] = lines[2 * m] + lines[2 * m - 1];
        const float z = lines[2 * m + 1] + lines[2 * m];
        odd[m] = z + previousOdd;
        previousOdd = z;
    }
    float e[9], o[9];
    Cosine9(even, e, tables);
    Cosine9(odd, o, tables);
    for (int n = 0; n < 9; ++n) {
        const float scaledOdd = o[n] * tables.OddScale9[static_cast<size_t>(n)];
        const float difference = e[n] - scaledOdd;
        const float sum = e[n] + scaledOdd;
        first[8 - n] = difference;
        first[9 + n] = difference;
        second[8 - n] = sum;
        second[9 + n] = sum;
    }
}

void Imdct12(const float* lines, float* out, const ImdctTables& tables)
{
    const float x0 = lines[0], x1 = lines[3], x2 = lines[6], x3 = lines[9], x4 = lines[12], x5 = lines[15];
    const float z0 = x0, z1 = x1 + x0, z2 = x2 + x1, z3 = x3 + x2, z4 = x4 + x3, z5 = x5 + x4;
    const float v0 = z1, v1 = z3 + z1, v2 = z5 + z3;
    constexpr float kHalfRoot3 = 0.866025403784438647f;
    const float e0 = z0 + z2 * kHalfRoot3 + z4 * 0.5f;
    const float e1 = z0 - z4;
    const float e2 = z0 - z2 * kHalfRoot3 + z4 * 0.5f;
    const float o0 = (v0 + v1 * kHalfRoot3 + v2 * 0.5f) * tables.OddScale3[0];
    const float o1 = (v0 - v2) * tables.OddScale3[1];
    const float o2 = (v0 - v1 * kHalfRoot3 + v2 * 0.5f) * tables.OddScale3[2];
    const float d[3] = {e0 - o0, e1 - o1, e2 - o2};
    const float s[3] = {e0 + o0, e1 + o1, e2 + o2};
    const float* w = tables.ShortWindow.data();
    for (int n = 0; n < 3; ++n) {
        out[2 - n] = d[n] * w[2 - n];
        out[3 + n] = d[n] * w[3 + n];
        out[8 - n] = s[n] * w[8 - n];
        out[9 + n] = s[n] * w[9 + n];
    }
}

} // namespace pt4
