// Tables of the inverse MDCTs: windows with the transform's output scales and signs, and the
// constants of the 9-point and 3-point cosine transforms.
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
        t.OddScale9[static_cast<size_t>(n)] =
            static_cast<float>(1.0 / (2.0 * std::cos((2 * n + 1) * pi / 36)));
    for (int n = 0; n < 3; ++n)
        t.OddScale3[static_cast<size_t>(n)] =
            static_cast<float>(1.0 / (2.0 * std::cos((2 * n + 1) * pi / 12)));
    return t;
}

} // namespace

const ImdctTables& BuildImdctTables()
{
    static const ImdctTables tables = BuildTables();
    return tables;
}

} // namespace pt4
