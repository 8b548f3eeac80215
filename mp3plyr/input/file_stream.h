// A named file opened for reading as a TMPStream.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "mp3plyr/errors.h"
#include "mp3plyr/input/stream.h"

namespace pt4 {

class TMPFileStream final : public TMPStream {
public:
    // Opens the file for reading. Throws EMP3Error with a one-line text naming the file and the
    // problem when it is missing, unreadable, a directory or other non-regular file.
    explicit TMPFileStream(const std::string& fileName);

    int32_t Read(void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override { return size_; }

    const std::string& FileName() const { return fileName_; }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    [[noreturn]] void Fail(TErrorKind kind, const std::string& what, int error) const;

    std::string fileName_;
    std::unique_ptr<std::FILE, Closer> file_;
    int64_t size_ = 0;
    int64_t position_ = 0;
};

} // namespace pt4
