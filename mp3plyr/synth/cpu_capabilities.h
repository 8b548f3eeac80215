// Processor extensions: detection once per process, and the set the synthesis may use.
#pragma once

#include "mp3plyr/synth/synthesis_state.h"

#include <cstdint>

namespace pt4 {

// Bit n of a capability mask is member n of the player's capability set.
inline constexpr uint32_t kCapabilityMMX = 1u << 0;
inline constexpr uint32_t kCapability3DNow = 1u << 1;  // picks the paired single-precision kernel
inline constexpr uint32_t kCapabilityKNI = 1u << 2;    // never detected
inline constexpr uint32_t kCapabilityE3DNow = 1u << 3; // never detected

// What the identification instruction reported.
struct ProcessorIdentification {
    bool HasIdentification = false; // the instruction exists
    uint32_t StandardFeatures = 0;  // leaf 1, EDX
    uint32_t MaxExtendedLeaf = 0;   // leaf 0x80000000, EAX
    uint32_t ExtendedFeatures = 0;  // leaf 0x80000001, EDX (valid when MaxExtendedLeaf allows)
};

// Runs the identification instruction; on other processors reports none.
ProcessorIdentification IdentifyProcessor();

// MMX from leaf 1 bit 23, the packed-float extension from extended leaf 1 bit 31.
uint32_t CapabilitiesFrom(const ProcessorIdentification& identification);

// Identifies the processor on the first call of the process and returns the cached mask after.
uint32_t DetectCapabilities();

// context.ActiveCapabilities := DetectCapabilities() & mask. Safe while another thread decodes:
// each slot reads the value whole and uses either the old or the new kernel.
void SelectCapabilities(SynthesisContext& context, uint32_t mask);

} // namespace pt4
