// The synthesis history shared by every layer's output routines, and the state those routines
// read besides it: the equalizer gains and the processor capabilities in use.
#pragma once

#include "mp3plyr/synth/window_step.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace pt4 {

struct SynthesisState {
    alignas(64) std::array<float, 1024> History{}; // ring of channel 0, then ring of channel 1
    int32_t Position0 = 0;                         // channel 0; both channels in Layers I and II
    int32_t Position1 = 0;                         // channel 1 in Layer III
};

// Written by the owner's thread while the decoder runs on another: each value is read whole.
struct EqualizerGains {
    std::array<std::atomic<float>, 32> SubbandEqualizerGains{};
    std::array<std::atomic<float>, 576> FrequencyEqualizerGains{};
    std::atomic<int32_t> SubbandEqualizerOn{0};
    std::atomic<int32_t> FrequencyEqualizerOn{0};
    // A gain of the whole output, taken with the decoder's own scaling (see SetOutputGain).
    std::atomic<float> OutputGain{1.0f};
};

// Everything an output routine touches.
struct SynthesisContext {
    SynthesisState Synthesis;
    EqualizerGains Equalizer;
    std::atomic<uint32_t> ActiveCapabilities{0}; // bit 1: the paired single-precision kernel
    // The full-rate kernels of the stream's sample width, indexed by ActiveCapabilities.
    const TWindowKernelTable* Kernels = &CapabilityKernels();
};

// Clears both rings and positions (every decoder initialisation does this).
void ResetSynthesis(SynthesisState& state);

} // namespace pt4
