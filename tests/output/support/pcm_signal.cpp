#include "output/support/pcm_signal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pt4::test {

namespace {

bool Silent(std::span<const int16_t> samples, size_t frame)
{
    return samples[2 * frame] == 0 && samples[2 * frame + 1] == 0;
}

int Scaled(int16_t sample, double gain)
{
    return int(std::lround(sample * gain));
}

} // namespace

std::vector<int16_t> MakeNoise(size_t frames, uint32_t seed)
{
    std::vector<int16_t> samples(2 * frames);
    uint32_t state = seed * 2654435761u + 1;
    for (int16_t& s : samples) {
        state = state * 1664525u + 1013904223u;
        const int magnitude = 2000 + int((state >> 8) % 12000);
        s = int16_t((state >> 31) != 0 ? -magnitude : magnitude);
    }
    return samples;
}

std::vector<uint8_t> AsBytes(std::span<const int16_t> samples)
{
    std::vector<uint8_t> bytes(2 * samples.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        bytes[2 * i] = uint8_t(uint16_t(samples[i]));
        bytes[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
    }
    return bytes;
}

std::optional<Alignment> Align(std::span<const int16_t> recording, std::span<const int16_t> pcm, Gains gains,
                               int tolerance, size_t maxSkip, size_t from)
{
    constexpr size_t kWindow = 32;
    const size_t recordedFrames = recording.size() / 2;
    const size_t pcmFrames = pcm.size() / 2;
    size_t first = 0;
    while (first < recordedFrames && Silent(recording, first))
        ++first;
    if (first + kWindow > recordedFrames || pcmFrames < kWindow)
        return std::nullopt;
    for (size_t skip = from; skip <= from + maxSkip && skip + kWindow <= pcmFrames; ++skip) {
        if (MaxDifference(recording, first, pcm, skip, kWindow, gains) <= tolerance)
            return Alignment{first, skip};
    }
    return std::nullopt;
}

int MaxDifference(std::span<const int16_t> recording, size_t recordedFrame, std::span<const int16_t> pcm,
                  size_t pcmFrame, size_t frames, Gains gains)
{
    int worst = 0;
    for (size_t i = 0; i < frames; ++i) {
        const size_t r = 2 * (recordedFrame + i);
        const size_t p = 2 * (pcmFrame + i);
        if (r + 1 >= recording.size() || p + 1 >= pcm.size())
            return 65536; // ran out: no match
        worst = std::max(worst, std::abs(recording[r] - Scaled(pcm[p], gains.left)));
        worst = std::max(worst, std::abs(recording[r + 1] - Scaled(pcm[p + 1], gains.right)));
    }
    return worst;
}

std::vector<int16_t> WithoutSilence(std::span<const int16_t> recording)
{
    std::vector<int16_t> sounding;
    for (size_t f = 0; f < recording.size() / 2; ++f) {
        if (!Silent(recording, f)) {
            sounding.push_back(recording[2 * f]);
            sounding.push_back(recording[2 * f + 1]);
        }
    }
    return sounding;
}

Silence LongestInnerSilence(std::span<const int16_t> recording)
{
    const size_t frames = recording.size() / 2;
    size_t first = 0;
    while (first < frames && Silent(recording, first))
        ++first;
    Silence longest;
    size_t runStart = 0;
    size_t run = 0;
    for (size_t f = first; f < frames; ++f) {
        if (Silent(recording, f)) {
            if (run++ == 0)
                runStart = f;
        } else {
            if (run > longest.frames)
                longest = {runStart, run};
            run = 0;
        }
    }
    return longest; // a run still open at the end is trailing silence, not inner
}

size_t SoundingFrames(std::span<const int16_t> recording)
{
    size_t count = 0;
    for (size_t f = 0; f < recording.size() / 2; ++f)
        count += Silent(recording, f) ? 0 : 1;
    return count;
}

} // namespace pt4::test
