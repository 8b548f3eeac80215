// Layer III tables: the standard's band boundaries and the gain and factor tables built from
// their formulas once per process.
#include "mp3plyr/decoder/layer3_tables.h"

#include <cmath>

namespace pt4 {
namespace {

struct BandBoundaries {
    std::array<int16_t, 23> Long;
    std::array<int16_t, 14> Short;
};

// [version][rate index]: MPEG-1 44.1/48/32 kHz, MPEG-2 22.05/24/16 kHz, MPEG-2.5 11.025/12/8 kHz.
constexpr BandBoundaries kBandBoundaries[3][3] = {
    {
        {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 52, 62, 74, 90, 110, 134, 162, 196, 238, 288, 342, 418, 576},
         {0, 4, 8, 12, 16, 22, 30, 40, 52, 66, 84, 106, 136, 192}},
        {{0, 4, 8, 12, 16, 20, 24, 30, 36, 42, 50, 60, 72, 88, 106, 128, 156, 190, 230, 276, 330, 384, 576},
         {0, 4, 8, 12, 16, 22, 28, 38, 50, 64, 80, 100, 126, 192}},
        {{0, 4, 8, 12, 16, 20, 24, 30, 36, 44, 54, 66, 82, 102, 126, 156, 194, 240, 296, 364, 448, 550, 576},
         {0, 4, 8, 12, 16, 22, 30, 42, 58, 78, 104, 138, 180, 192}},
    },
    {
        {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
          116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
         {0, 4, 8, 12, 18, 24, 32, 42, 56, 74, 100, 132, 174, 192}},
        {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
          114, 136, 162, 194, 232, 278, 332, 394, 464, 540, 576},
         {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 136, 180, 192}},
        {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
          116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
         {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
    },
    {
        {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
          116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
         {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
        {{0,   6,   12,  18,  24,  30,  36,  44,  54,  66,  80, 96,
          116, 140, 168, 200, 238, 284, 336, 396, 464, 522, 576},
         {0, 4, 8, 12, 18, 26, 36, 48, 62, 80, 104, 134, 174, 192}},
        {{0,   12,  24,  36,  48,  60,  72,  88,  108, 132, 160, 192,
          232, 280, 336, 400, 476, 566, 568, 570, 572, 574, 576},
         {0, 8, 16, 24, 36, 52, 72, 96, 124, 160, 162, 164, 166, 192}},
    },
};

constexpr double kAntialiasC[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

Layer3Tables BuildTables()
{
    Layer3Tables t{};
    const double pi = 4.0 * std::atan(1.0);
    for (int i = 0; i < 262; ++i)
        t.GlobalGain[i] = static_cast<float>(std::pow(2.0, 0.25 * (i - 6 - 210 + 60)));
    for (int scale = 0; scale < 2; ++scale)
        for (int pre = 0; pre < 4; ++pre)
            for (int sf = 0; sf < 32; ++sf)
                t.ScaleFactorGain[scale][pre][sf] =
                    static_cast<float>(std::pow(2.0, -0.5 * (1 + scale) * (pre + sf)));
    for (int x = -32; x < 32; ++x)
        t.Power43[x + 32] = static_cast<float>(x * std::cbrt(std::abs(static_cast<double>(x))));
    for (int g = 0; g < 8; ++g)
        t.SubblockGain[g] = static_cast<float>(std::pow(2.0, -2.0 * g));
    for (int i = 0; i < 8; ++i) {
        const double root = std::sqrt(1.0 + kAntialiasC[i] * kAntialiasC[i]);
        t.AntialiasCs[i] = static_cast<float>(1.0 / root);
        t.AntialiasCa[i] = static_cast<float>(kAntialiasC[i] / root);
    }
    for (int ms = 0; ms < 2; ++ms) {
        const double f = ms ? std::sqrt(2.0) : 1.0;
        for (int p = 0; p < 7; ++p) {
            const double s = std::sin(p * pi / 12), c = std::cos(p * pi / 12);
            t.Mpeg1Intensity[ms][p] = {static_cast<float>(s / (s + c) * f),
                                       static_cast<float>(c / (s + c) * f)};
        }
        t.Mpeg1Intensity[ms][7] = {1.0f, ms ? 1.0f : 0.0f};
    }
    for (int scale = 0; scale < 2; ++scale) {
        const double io = std::pow(2.0, -(scale + 1) / 4.0);
        for (int ms = 0; ms < 2; ++ms) {
            const double f = ms ? std::sqrt(2.0) : 1.0;
            auto& table = t.Mpeg2Intensity[scale][ms];
            for (int s = 0; s < 6; ++s) {
                const int base = (1 << s) - 1;
                for (int p = 0; p + 1 < (1 << s); ++p) {
                    double left = f, right = f;
                    if (p != 0 && p % 2 == 0)
                        right = std::pow(io, p / 2) * f;
                    else if (p % 2 == 1)
                        left = std::pow(io, (p + 1) / 2) * f;
                    table[base + p] = {static_cast<float>(left), static_cast<float>(right)};
                }
                table[base + (1 << s) - 1] = {1.0f, ms ? 1.0f : 0.0f};
            }
            table[63] = {1.0f, ms ? 1.0f : 0.0f};
        }
    }
    return t;
}

} // namespace

const Layer3Tables& GetLayer3Tables()
{
    static const Layer3Tables tables = BuildTables();
    return tables;
}

void FillBandLayout(Layer3Layout& layout, int version, int sampleRateIndex)
{
    const BandBoundaries& b = kBandBoundaries[version][sampleRateIndex];
    for (int k = 0; k < 22; ++k) {
        layout.LongBandEnd[k] = b.Long[k + 1];
        layout.LongBandWidth[k] = b.Long[k + 1] - b.Long[k];
    }
    layout.LongBandEnd[22] = layout.LongBandEnd[23] = kGranuleLines;
    for (int k = 0; k < 13; ++k) {
        layout.ShortBandEnd3[k] = 3 * b.Short[k + 1];
        layout.ShortBandWidth[k] = b.Short[k + 1] - b.Short[k];
    }
}

} // namespace pt4
