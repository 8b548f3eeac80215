#include "mp3plyr/synth/cpu_capabilities.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace pt4 {

ProcessorIdentification IdentifyProcessor()
{
    ProcessorIdentification identification;
#if defined(__i386__) || defined(__x86_64__)
    // On 32-bit processors this also tests that the flags register's ID bit can be flipped.
    unsigned int eax = 0;
    unsigned int ebx = 0;
    unsigned int ecx = 0;
    unsigned int edx = 0;
    if (__get_cpuid_max(0, nullptr) == 0)
        return identification;
    identification.HasIdentification = true;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        identification.StandardFeatures = edx;
    identification.MaxExtendedLeaf = __get_cpuid_max(0x80000000u, nullptr);
    if (identification.MaxExtendedLeaf >= 0x80000001u) {
        __cpuid(0x80000001u, eax, ebx, ecx, edx);
        identification.ExtendedFeatures = edx;
    }
#endif
    return identification;
}

uint32_t CapabilitiesFrom(const ProcessorIdentification& identification)
{
    uint32_t mask = 0;
    if (!identification.HasIdentification)
        return mask;
    if ((identification.StandardFeatures & (1u << 23)) != 0)
        mask |= kCapabilityMMX;
    if (identification.MaxExtendedLeaf >= 0x80000001u && (identification.ExtendedFeatures & (1u << 31)) != 0)
        mask |= kCapability3DNow;
    return mask;
}

uint32_t DetectCapabilities()
{
    static const uint32_t detected = CapabilitiesFrom(IdentifyProcessor());
    return detected;
}

void SelectCapabilities(SynthesisContext& context, uint32_t mask)
{
    context.ActiveCapabilities.store(DetectCapabilities() & mask, std::memory_order_relaxed);
}

} // namespace pt4
