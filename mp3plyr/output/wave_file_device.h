// The wave output's file mode: the blocks go into a RIFF WAVE file, written on the wave output's
// thread in the order they were queued.
#pragma once

#include "mp3plyr/output/wave_out_device.h"
#include "mp3plyr/runtime/thread.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

namespace pt4 {

class TWaveFileDevice final : public TWaveOutDevice {
public:
    // Creates the file anew and writes the 44-byte header with both lengths 0.
    TWaveFileDevice(const std::string& fileName, const TWaveFormat& format, TMPThread& output);

    // Posts TM_WRITEBLOCK; the wave output's thread then calls StoreBlock with the block.
    void WriteBlock(uint32_t index, std::span<const uint8_t> block) override;
    // On the wave output's thread.
    void StoreBlock(std::span<const uint8_t> block) override;
    // A file reports its failures where they happen.
    void RaiseFailure(const std::string&) override {}
    bool PlaysInRealTime() const override { return false; }

    // A file has no pause, position reset or volume.
    void Pause() override {}
    void Unpause() override {}
    void Reset() override {}
    void SetVolume(uint32_t, uint32_t) override {}
    // Bytes stored so far.
    uint32_t PlayedBytes() override;
    // Writes the RIFF and data lengths into the header and closes the file.
    void Close() override;

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    [[noreturn]] void RaiseFileError(int error) const;

    std::string fileName_;
    TWaveFormat format_;
    TMPThread& output_;
    std::unique_ptr<std::FILE, FileCloser> file_;
    std::atomic<uint64_t> stored_{0};
};

} // namespace pt4
