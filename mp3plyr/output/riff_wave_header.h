// The 44-byte header of a PCM RIFF WAVE file.
#pragma once

#include <array>
#include <cstdint>

namespace pt4 {

// `dataBytes` is the size of the sample data that follows; sizes past 4 GiB are capped.
inline std::array<uint8_t, 44> RiffWaveHeader(uint32_t sampleRate, uint16_t channels, uint16_t bitsPerSample,
                                              uint64_t dataBytes)
{
    std::array<uint8_t, 44> h{};
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h[at + i] = uint8_t(v >> (8 * i));
    };
    auto put16 = [&](size_t at, uint16_t v) {
        h[at] = uint8_t(v);
        h[at + 1] = uint8_t(v >> 8);
    };
    const uint32_t data = dataBytes > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : uint32_t(dataBytes);
    const uint16_t blockAlign = uint16_t(channels * bitsPerSample / 8);
    put32(0, 0x46464952); // "RIFF"
    put32(4, 36 + data);
    put32(8, 0x45564157);  // "WAVE"
    put32(12, 0x20746D66); // "fmt "
    put32(16, 16);
    put16(20, 1); // PCM
    put16(22, channels);
    put32(24, sampleRate);
    put32(28, sampleRate * blockAlign);
    put16(32, blockAlign);
    put16(34, bitsPerSample);
    put32(36, 0x61746164); // "data"
    put32(40, data);
    return h;
}

} // namespace pt4
