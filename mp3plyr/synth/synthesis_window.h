// The polyphase synthesis window: the half of the standard's window D that the window step reads.
#pragma once

#include <array>

namespace pt4 {

// Rows r = 0 ... 15 hold D[64j + r] at 16r + 2j and D[64j + 32 + r] at 16r + 2j + 1 (j = 0 ... 7);
// entries 256 ... 263 hold -D[64j + 48], the taps of the middle output sample.
extern const std::array<float, 264> SynthesisWindow;

} // namespace pt4
