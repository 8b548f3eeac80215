#include "mp3plyr/input/descriptor_stream.h"

#include "mp3plyr/errors.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace pt4 {

TMPDescriptorStream::TMPDescriptorStream(int fd) : fd_(fd)
{
    // A descriptor open for writing only never becomes readable: its read fails at once instead.
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0 && (flags & O_ACCMODE) != O_WRONLY)
        wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

TMPDescriptorStream::~TMPDescriptorStream()
{
    if (wake_ >= 0)
        close(wake_);
}

int32_t TMPDescriptorStream::Read(void* buffer, int32_t count)
{
    for (;;) {
        if (wake_ >= 0) {
            // The read waits here, where an interruption can end the wait.
            pollfd waits[2] = {{fd_, POLLIN, 0}, {wake_, POLLIN, 0}};
            if (poll(waits, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                throw EMP3Error(TErrorKind::Input, std::string("read failed: ") + std::strerror(errno));
            }
            if (waits[1].revents != 0)
                return 0;
        }
        const ssize_t n = ::read(fd_, buffer, size_t(count));
        if (n >= 0)
            return int32_t(n);
        if (errno != EINTR)
            throw EMP3Error(TErrorKind::Input, std::string("read failed: ") + std::strerror(errno));
    }
}

int64_t TMPDescriptorStream::Seek(int64_t, int)
{
    throw EMP3Error(TErrorKind::Internal, "the stream cannot seek");
}

void TMPDescriptorStream::Interrupt()
{
    if (wake_ >= 0) {
        const uint64_t one = 1;
        // Only fails when the counter is already huge: the descriptor is readable then anyway.
        [[maybe_unused]] const ssize_t written = write(wake_, &one, sizeof one);
    }
}

} // namespace pt4
