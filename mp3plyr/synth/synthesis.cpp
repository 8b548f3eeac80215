#include "mp3plyr/synth/synthesis_state.h"

#include "mp3plyr/synth/dct_cosines.h"

namespace pt4 {

void ResetSynthesis(SynthesisState& state)
{
    // The cosine factors are built by the first reset of the process, before any slot needs them.
    DctCosines();
    state.History.fill(0.0f);
    state.Position0 = 0;
    state.Position1 = 0;
}

} // namespace pt4
