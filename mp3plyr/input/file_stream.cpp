#include "mp3plyr/input/file_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "mp3plyr/errors.h"

namespace pt4 {

namespace {

std::string Quoted(const std::string& name)
{
    return "\"" + name + "\"";
}

} // namespace

TMPFileStream::TMPFileStream(const std::string& fileName) : fileName_(fileName)
{
    // Opened without waiting (a FIFO would wait for a writer), then kept only as a plain file:
    // a FIFO or device would block or have no size. The checks are made on what was opened.
    const int fd = open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail(TErrorKind::Open, "cannot open", errno);
    struct stat status {};
    const bool known = fstat(fd, &status) == 0;
    const int statusError = errno;
    if (!known || !S_ISREG(status.st_mode)) {
        close(fd);
        if (!known)
            Fail(TErrorKind::Open, "cannot open", statusError);
        const bool folder = S_ISDIR(status.st_mode);
        throw EMP3Error(TErrorKind::Open,
                        "cannot open " + Quoted(fileName) +
                            (folder ? ": it is a directory, not a file." : ": not a regular file."),
                        {}, folder ? EISDIR : 0);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file_.reset(fdopen(fd, "rb"));
    if (!file_) {
        const int error = errno;
        close(fd);
        Fail(TErrorKind::Open, "cannot open", error);
    }

    // Offsets past 2 GiB need a 64-bit off_t (32-bit systems: build with _FILE_OFFSET_BITS=64).
    static_assert(sizeof(off_t) == 8);
    if (fseeko(file_.get(), 0, SEEK_END) != 0)
        Fail(TErrorKind::Open, "cannot determine the size of", errno);
    const off_t end = ftello(file_.get());
    if (end < 0)
        Fail(TErrorKind::Open, "cannot determine the size of", errno);
    if (fseeko(file_.get(), 0, SEEK_SET) != 0)
        Fail(TErrorKind::Open, "cannot read", errno);
    size_ = std::min<int64_t>(end, kMaxStreamOffset);
}

void TMPFileStream::Fail(TErrorKind kind, const std::string& what, int error) const
{
    throw EMP3Error(kind, what + " " + Quoted(fileName_) + ": " + std::strerror(error) + ".", {}, error);
}

int32_t TMPFileStream::Read(void* buffer, int32_t count)
{
    MP_ASSERT(count >= 0);
    if (count == 0 || position_ >= kMaxStreamOffset)
        return 0;
    const size_t delivered = std::fread(buffer, 1, static_cast<size_t>(count), file_.get());
    if (delivered == 0 && std::ferror(file_.get())) {
        const int error = errno;
        std::clearerr(file_.get());
        Fail(TErrorKind::Input, "cannot read", error);
    }
    position_ += static_cast<int64_t>(delivered);
    return static_cast<int32_t>(delivered);
}

int64_t TMPFileStream::Seek(int64_t offset, int origin)
{
    const int64_t target = ResolveSeekTarget(offset, origin, position_, size_);
    if (fseeko(file_.get(), static_cast<off_t>(target), SEEK_SET) != 0)
        Fail(TErrorKind::Input, "cannot seek in", errno);
    position_ = target;
    return position_;
}

} // namespace pt4
