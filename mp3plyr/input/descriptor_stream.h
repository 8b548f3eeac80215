// An open file descriptor read from its current position onwards (standard input, a pipe) as a
// stream that cannot seek.
#pragma once

#include "mp3plyr/input/stream.h"

namespace pt4 {

class TMPDescriptorStream final : public TMPStream {
public:
    // Reads `fd` (not owned; it stays open).
    explicit TMPDescriptorStream(int fd) : fd_(fd) {}

    // Waits for data; 0 at the end. A read error throws EMP3Error.
    int32_t Read(void* buffer, int32_t count) override;
    // Throws EMP3Error: the descriptor is read in order only.
    int32_t Seek(int64_t offset, int origin) override;
    // Unknown: 0.
    int32_t Size() override { return 0; }

private:
    int fd_;
};

} // namespace pt4
