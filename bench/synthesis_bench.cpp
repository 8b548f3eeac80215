// Time per slot of the synthesis stages: the 32-point transform, each window kernel and the
// full-rate output routines. Prints processor nanoseconds per slot (per channel for the kernels).
#include "mp3plyr/synth/cosine_transform.h"
#include "mp3plyr/synth/output_routines.h"
#include "mp3plyr/synth/window_step.h"
#include "mp3plyr/synth/window_step_x86.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

namespace {

// Thread CPU time, so that other processes on the machine do not inflate the figures.
double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

uint64_t checksum = 0;

// The least of five timings: other work on the machine only ever adds time.
template <typename Work> void Report(const char* name, int slotsPerRun, Work&& work)
{
    work(); // warm the caches and the tables built on first use
    int runs = 1;
    for (;;) {
        const double start = CpuSeconds();
        for (int run = 0; run < runs; ++run)
            work();
        if (CpuSeconds() - start > 0.05 || runs > (1 << 24))
            break;
        runs *= 2;
    }
    double best = 1e30;
    for (int repeat = 0; repeat < 5; ++repeat) {
        const double start = CpuSeconds();
        for (int run = 0; run < runs; ++run)
            work();
        best = std::min(best, CpuSeconds() - start);
    }
    std::printf("%-40s %8.1f ns/slot\n", name, best * 1e9 / (static_cast<double>(runs) * slotsPerRun));
}

std::vector<float> RandomValues(size_t count, float amplitude)
{
    std::mt19937 random(1);
    std::uniform_real_distribution<float> value(-amplitude, amplitude);
    std::vector<float> values(count);
    for (float& v : values)
        v = value(random);
    return values;
}

} // namespace

int main()
{
    using namespace pt4;
    const std::vector<float> ring = RandomValues(512, 3000.0f);
    const std::vector<float> granule = RandomValues(576, 3000.0f);
    const std::vector<float> frame = RandomValues(64 * 36, 3000.0f);

    float transformed[32];
    Report("cosine transform, 32 points", 16, [&] {
        for (int t = 0; t < 16; ++t) {
            CosineTransform<32>(ring.data() + 32 * t, transformed);
            checksum += static_cast<uint64_t>(transformed[t]);
        }
    });

    int16_t samples[32];
    auto kernel = [&](const char* name, TWindowKernel step) {
        Report(name, 16, [&] {
            for (int32_t position = 0; position < 512; position += 32) {
                step(ring.data(), position, samples);
                checksum += static_cast<uint16_t>(samples[position / 32]);
            }
        });
    };
    kernel("window step, portable", WindowStepFloat<32>);
#if PT4_X86_WINDOW_KERNELS
    kernel("window step, sse2", WindowStepFloatSse2);
    if (AvxFmaKernelSupported())
        kernel("window step, avx+fma", WindowStepFloatAvxFma);
#endif
    kernel("window step, chosen floating-point", FloatKernel32());
    kernel("window step, paired single", WindowStepPairedSingle);

    auto context = std::make_unique<SynthesisContext>();
    ResetSynthesis(context->Synthesis);
    std::vector<uint8_t> pcm(4 * 1152);
    Report("layer III stereo routine, per channel", 18 * 2, [&] {
        Layer3OutputRoutine(TSampleWidth::Bits16, TRateReduction::Full, 2)(*context, granule.data(),
                                                                           pcm.data(), 0);
        Layer3OutputRoutine(TSampleWidth::Bits16, TRateReduction::Full, 2)(*context, granule.data(),
                                                                           pcm.data(), 1);
        checksum += pcm[100];
    });
    Report("layer II stereo routine, per channel", 36 * 2, [&] {
        Layer12OutputRoutine(TSampleWidth::Bits16, TRateReduction::Full,
                             TChannelRoute::Both)(*context, frame.data(), pcm.data(), 36);
        checksum += pcm[100];
    });

    std::printf("(checksum %llu)\n", static_cast<unsigned long long>(checksum));
    return 0;
}
