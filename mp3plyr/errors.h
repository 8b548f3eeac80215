// Exceptions of the player core. The texts are the ones a person sees in the error display.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace pt4 {

// A failure with a text meant for the user ("unknown MPEG Audio format." and the like).
class EMP3Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be opened for reading at all. The window shows the text; the terminal
// tool says the reason in English instead.
class EFileOpenError : public EMP3Error {
public:
    explicit EFileOpenError(const std::string& fileName, std::string reason = {})
        : EMP3Error("ファイル " + fileName + " は開けません"), reason_(std::move(reason))
    {
    }
    // "cannot open "NAME": No such file or directory." and the like; may be empty.
    const std::string& Reason() const noexcept { return reason_; }

private:
    std::string reason_;
};

// An index outside a list's bounds.
class EListError : public EMP3Error {
public:
    explicit EListError(int index)
        : EMP3Error("リストのインデックスが範囲を超えています (" + std::to_string(index) + ")")
    {
    }
};

// A broken precondition inside the core: a programming error, never a user error.
class EAssertionFailed : public std::logic_error {
public:
    explicit EAssertionFailed(int line)
        : std::logic_error("Assertion failure (mp3plyr, line " + std::to_string(line) + ")"), line_(line)
    {
    }
    int line() const noexcept { return line_; }

private:
    int line_;
};

inline constexpr const char* kUnknownFormat = "unknown MPEG Audio format.";
inline constexpr const char* kUnknownWaveOutError = "unknown wave out API error.";

} // namespace pt4

// Checked on every call, also in release builds.
#define MP_ASSERT(condition)                                                                                 \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            throw ::pt4::EAssertionFailed(__LINE__);                                                         \
    } while (false)
