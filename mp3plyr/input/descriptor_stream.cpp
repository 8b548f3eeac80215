#include "mp3plyr/input/descriptor_stream.h"

#include "mp3plyr/errors.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace pt4 {

int32_t TMPDescriptorStream::Read(void* buffer, int32_t count)
{
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, size_t(count));
        if (n >= 0)
            return int32_t(n);
        if (errno != EINTR)
            throw EMP3Error(TErrorKind::Input, std::string("read failed: ") + std::strerror(errno));
    }
}

int32_t TMPDescriptorStream::Seek(int64_t, int)
{
    throw EMP3Error(TErrorKind::Internal, "the stream cannot seek");
}

} // namespace pt4
