// Where the wave output's blocks go: the sound server or a RIFF WAVE file. The ring of blocks
// talks to this one small interface and does not care which it is.
#pragma once

#include "mp3plyr/runtime/thread.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace pt4 {

// PCM, interleaved by channel (left first), 8-bit unsigned or 16-bit signed little-endian.
struct TWaveFormat {
    int32_t SampleRate = 44100;
    int32_t Channels = 2;
    int32_t BitsPerSample = 16;

    uint16_t BlockAlign() const { return uint16_t(Channels * BitsPerSample / 8); }
    uint32_t BytesPerSecond() const { return uint32_t(SampleRate) * BlockAlign(); }
};

// The calls come from the wave output under its own locks, one at a time for each device.
// No call waits on anything outside the process for longer than a second.
class TWaveOutDevice {
public:
    virtual ~TWaveOutDevice() = default;

    // Takes one block. The device answers on the wave output's thread, block by block in the order
    // they were written: MM_WOM_DONE once the block has been played, or TM_WRITEBLOCK
    // (LParam = index) when that thread is to store it itself. The block stays untouched until then.
    virtual void WriteBlock(uint32_t index, std::span<const uint8_t> block) = 0;
    // No block follows for now: what is queued is to be played to its very end.
    virtual void PlayOut() {}
    virtual void Pause() = 0;
    virtual void Unpause() = 0;
    // Drops what is queued and answers MM_WOM_DONE for every block not yet answered; the count of
    // played bytes starts again at 0.
    virtual void Reset() = 0;
    // Bytes played since the device was opened or last reset; wraps at 4 GiB.
    virtual uint32_t PlayedBytes() = 0;
    // Linear gains of the left and right channel, 0 ... 65535 for silence ... unchanged samples.
    virtual void SetVolume(uint32_t left, uint32_t right) = 0;
    // Finishes the output and reports what went wrong. Destroying an open device closes it too,
    // without reporting.
    virtual void Close() = 0;

    // On the wave output's thread, for a block the device asked for with TM_WRITEBLOCK.
    virtual void StoreBlock(std::span<const uint8_t> block) = 0;
    // On the wave output's thread, after the device posted TM_DEVICEFAILED: raises what went wrong.
    virtual void RaiseFailure(const std::string& label) = 0;

    // After TM_DEVICEFAILED of a device opened with `keepOnLoss`: true when its server went away.
    // It then answers none of the blocks it held; the first of them had been heard up to
    // PlayedOfOldest bytes, and PlayedAtLoss is what PlayedBytes would have said last.
    virtual bool Gone() const { return false; }
    virtual uint32_t PlayedOfOldest() const { return 0; }
    virtual uint32_t PlayedAtLoss() const { return 0; }

    // True for a device that plays in real time: position notices also come between block
    // returns, and closing plays out the partly filled block. A file takes blocks as they come
    // and keeps only whole queued blocks.
    virtual bool PlaysInRealTime() const = 0;
};

// The file named `waveFileName`, or the sound server when it is empty; the gains as SetVolume.
// Raises with the wave output's error when it cannot be opened.
std::unique_ptr<TWaveOutDevice> OpenWaveOutDevice(const std::string& waveFileName, const TWaveFormat& format,
                                                  TMPThread& output, uint32_t left, uint32_t right,
                                                  bool keepOnLoss = false);

// Raises the wave output's error: "text(label)", or the fixed text when `text` is null or empty.
[[noreturn]] void RaiseWaveOutError(const char* text, const std::string& label);

} // namespace pt4
