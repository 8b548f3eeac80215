// Test PCM for the wave output: 16-bit stereo noise that never comes near zero, so that silence
// in a recording stands out and a few frames of it identify where they came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pt4::test {

// Interleaved left/right samples, |sample| from 2000 to 13999.
std::vector<int16_t> MakeNoise(size_t frames, uint32_t seed);
// Little-endian bytes, as the wave output takes them.
std::vector<uint8_t> AsBytes(std::span<const int16_t> samples);

// Linear gains of the left and right channel.
struct Gains {
    double left = 1.0;
    double right = 1.0;
};

struct Alignment {
    size_t recordedFrame; // first sounding frame of the recording
    size_t pcmFrame;      // the frame of the PCM it matches
};

// Where the recording's first sounding frame lies in `pcm` played with `gains`, looked for from
// PCM frame `from` on, at most `maxSkip` frames further (a recording may miss the first frames).
std::optional<Alignment> Align(std::span<const int16_t> recording, std::span<const int16_t> pcm, Gains gains,
                               int tolerance, size_t maxSkip, size_t from = 0);

// Largest |recorded − pcm × gain| over `frames` frames starting at the two frames given.
int MaxDifference(std::span<const int16_t> recording, size_t recordedFrame, std::span<const int16_t> pcm,
                  size_t pcmFrame, size_t frames, Gains gains);

// The recording without its silent frames (both channels 0).
std::vector<int16_t> WithoutSilence(std::span<const int16_t> recording);

struct Silence {
    size_t start = 0;  // first silent frame
    size_t frames = 0; // 0: none
};
// The longest run of silent frames between the first and the last sounding frame.
Silence LongestInnerSilence(std::span<const int16_t> recording);

// Sounding frames of the recording.
size_t SoundingFrames(std::span<const int16_t> recording);

} // namespace pt4::test
