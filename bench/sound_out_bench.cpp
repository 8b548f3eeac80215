// What the wave output costs on the sound server this process would use (PULSE_SERVER or the
// session's): the time Open takes, the time from the first full block to the first bytes the
// server reports played, and the processor time of the whole process per second of sound while
// it plays, fed the way the player's worker feeds it.
//   sound_out_bench [seconds]
#include "mp3plyr/output/sound_out.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + 1e-6 * double(t.tv_usec); };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    try {
        pt4::TSoundOut out;
        const Clock::time_point openStart = Clock::now();
        out.Open();
        const double openTime = Since(openStart);

        // Quiet noise, so that nothing on the way can skip it as silence.
        std::vector<uint8_t> pcm(size_t(seconds) * 44100 * 4);
        uint32_t state = 1;
        for (size_t i = 0; i < pcm.size(); i += 2) {
            state = state * 1664525u + 1013904223u;
            const int16_t sample = int16_t((state >> 24) - 128);
            pcm[i] = uint8_t(sample);
            pcm[i + 1] = uint8_t(uint16_t(sample) >> 8);
        }

        const double cpuStart = ProcessCpuSeconds();
        const Clock::time_point playStart = Clock::now();
        double firstPlayed = -1;
        pt4::TMPSimpleEvent room;
        size_t offset = 0;
        while (offset < pcm.size()) {
            offset += size_t(out.Write(pcm.data() + offset, int32_t(pcm.size() - offset)));
            if (offset < pcm.size()) {
                room.ResetEvent();
                out.SetNotifyEvent(&room);
                // Short waits only to notice the first played bytes; the worker would sleep.
                while (room.WaitFor(firstPlayed < 0 ? 1 : pt4::kInfinite) == pt4::kWaitTimeout)
                    if (out.GetDoneBytes() > 0)
                        firstPlayed = Since(playStart);
            }
        }
        out.Flush();
        out.WaitForDone();
        const double wall = Since(playStart);
        const double cpu = ProcessCpuSeconds() - cpuStart;
        out.Close();

        std::printf("Open: %.1f ms\n", openTime * 1000);
        std::printf("first block to first played bytes: %.1f ms\n", firstPlayed * 1000);
        std::printf(
            "played %d s of 44100 Hz stereo in %.2f s; process CPU %.3f s (%.2f ms per second of sound)\n",
            seconds, wall, cpu, cpu * 1000 / seconds);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
