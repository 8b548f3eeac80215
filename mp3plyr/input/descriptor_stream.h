// An open file descriptor read from its current position onwards (standard input, a pipe) as a
// stream that cannot seek.
#pragma once

#include "mp3plyr/input/stream.h"

namespace pt4 {

class TMPDescriptorStream final : public TMPStream {
public:
    // Reads `fd` (not owned; it stays open).
    explicit TMPDescriptorStream(int fd);
    ~TMPDescriptorStream() override;
    TMPDescriptorStream(const TMPDescriptorStream&) = delete;
    TMPDescriptorStream& operator=(const TMPDescriptorStream&) = delete;

    // Waits for data; 0 at the end or once interrupted. A read error throws EMP3Error.
    int32_t Read(void* buffer, int32_t count) override;
    // Throws EMP3Error: the descriptor is read in order only.
    int64_t Seek(int64_t offset, int origin) override;
    // Unknown: 0.
    int64_t Size() override { return 0; }

    // Any thread: a waiting read and every later one return 0 at once, so that a writer that
    // never writes cannot hold up whoever gives up on it.
    void Interrupt();

private:
    int fd_;
    int wake_ = -1; // an event descriptor that Interrupt makes readable; -1 if none could be made
};

} // namespace pt4
