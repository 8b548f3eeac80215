// The output routines by the row numbers the synthesis tests walk: Layer III rows are
// (8-bit ? 6 : 0) + 2 * reduction + channels - 1, Layer I/II rows (8-bit ? 15 : 0) +
// 5 * reduction + route.
#pragma once

#include "mp3plyr/synth/output_routines.h"

namespace pt4 {

inline TLayer3OutputRoutine Layer3RoutineAt(int row)
{
    return Layer3OutputRoutine(row >= 6 ? TSampleWidth::Bits8 : TSampleWidth::Bits16,
                               TRateReduction((row % 6) / 2), row % 2 + 1);
}

inline TLayer12OutputRoutine Layer12RoutineAt(int row)
{
    return Layer12OutputRoutine(row >= 15 ? TSampleWidth::Bits8 : TSampleWidth::Bits16,
                                TRateReduction((row % 15) / 5), TChannelRoute(row % 5));
}

} // namespace pt4
