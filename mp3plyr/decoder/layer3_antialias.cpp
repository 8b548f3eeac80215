// Antialias butterflies across the boundaries between neighbouring subbands.
#include "mp3plyr/decoder/layer3_stages.h"
#include "mp3plyr/decoder/layer3_tables.h"

#include <cstring>

namespace pt4 {
namespace {

#if defined(__GNUC__) || defined(__clang__)
using Float4 = float __attribute__((vector_size(16)));

inline Float4 Load(const float* p)
{
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(float* p, Float4 v)
{
    std::memcpy(p, &v, sizeof v);
}

inline Float4 Reversed(Float4 v)
{
    return Float4{v[3], v[2], v[1], v[0]};
}

// The butterflies of one boundary, four at a time: the lines below the boundary are read
// downwards, so their vectors are reversed to pair line 17 - i with line 18 + i.
inline void Boundary(float* lines, const Float4 (&cs)[2], const Float4 (&ca)[2])
{
    for (int half = 0; half < 2; ++half) {
        float* upper = lines + 14 - 4 * half; // lines 14-17, then 10-13
        float* lower = lines + 18 + 4 * half; // lines 18-21, then 22-25
        const Float4 a = Reversed(Load(upper));
        const Float4 b = Load(lower);
        Store(upper, Reversed(a * cs[half] - b * ca[half]));
        Store(lower, b * cs[half] + a * ca[half]);
    }
}
#endif

} // namespace

void Antialias(float* lines, int32_t boundaries)
{
    const Layer3Tables& tables = GetLayer3Tables();
    const float* cs = tables.AntialiasCs.data();
    const float* ca = tables.AntialiasCa.data();
#if defined(__GNUC__) || defined(__clang__)
    const Float4 cs4[2] = {Load(cs), Load(cs + 4)};
    const Float4 ca4[2] = {Load(ca), Load(ca + 4)};
    for (int32_t k = 0; k < boundaries; ++k)
        Boundary(lines + 18 * k, cs4, ca4);
#else
    for (int32_t k = 0; k < boundaries; ++k) {
        float* upper = lines + 18 * k + 17; // last line of subband k, read downwards
        float* lower = lines + 18 * k + 18; // first line of subband k + 1, read upwards
        for (int i = 0; i < 8; ++i) {
            const float a = upper[-i], b = lower[i];
            upper[-i] = a * cs[i] - b * ca[i];
            lower[i] = b * cs[i] + a * ca[i];
        }
    }
#endif
}

} // namespace pt4
