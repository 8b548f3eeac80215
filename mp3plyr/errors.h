// Exceptions of the player core. The texts are the ones a person sees in the error display.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace pt4 {

// What went wrong, for callers that act on it: the text alone says it only to a person.
enum class TErrorKind : uint8_t {
    Open,     // the named location could not be opened at all; nothing was opened or closed
    Input,    // a file or pipe that opened could not be read
    Format,   // the bytes are no playable MPEG audio
    Device,   // the sound output or the wave file written instead failed
    Network,  // a station's or server's transfer failed after it started
    Internal, // a caller broke a precondition (a seek outside a stream, an index out of range)
};

// A failure with a text meant for the user ("unknown MPEG Audio format." and the like).
class EMP3Error : public std::runtime_error {
public:
    EMP3Error(TErrorKind kind, const std::string& text, std::string reason = {})
        : std::runtime_error(text), kind_(kind), reason_(std::move(reason))
    {
    }
    // For the test doubles' failures, which nobody sorts.
    explicit EMP3Error(const std::string& text) : EMP3Error(TErrorKind::Internal, text) {}

    TErrorKind Kind() const noexcept { return kind_; }
    // The reason in English where the text is the window's own ("cannot open "NAME": No such
    // file or directory." and the like); empty where the text says it already.
    const std::string& Reason() const noexcept { return reason_; }

private:
    TErrorKind kind_;
    std::string reason_;
};

// A file that cannot be opened for reading at all. The window shows the text; the terminal
// tool says the reason in English instead.
class EFileOpenError : public EMP3Error {
public:
    explicit EFileOpenError(const std::string& fileName, std::string reason = {})
        : EMP3Error(TErrorKind::Open, "ファイル " + fileName + " は開けません",
                    reason.empty() ? "cannot open the file" : std::move(reason))
    {
    }
};

// An index outside a list's bounds.
class EListError : public EMP3Error {
public:
    explicit EListError(int index)
        : EMP3Error(TErrorKind::Internal,
                    "リストのインデックスが範囲を超えています (" + std::to_string(index) + ")")
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
