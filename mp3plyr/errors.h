// Exceptions of the player core. The texts are the ones a person sees in the error display.
#pragma once

#include <cstdint>
#include <exception>
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
    // `systemError`: the errno value behind the failure, where one is (0: none).
    EMP3Error(TErrorKind kind, const std::string& text, std::string reason = {}, int systemError = 0)
        : std::runtime_error(text), kind_(kind), reason_(std::move(reason)), systemError_(systemError)
    {
    }
    // For the test doubles' failures, which nobody sorts.
    explicit EMP3Error(const std::string& text) : EMP3Error(TErrorKind::Internal, text) {}

    TErrorKind Kind() const noexcept { return kind_; }
    // The reason in English where the text is the window's own ("cannot open "NAME": No such
    // file or directory." and the like); empty where the text says it already.
    const std::string& Reason() const noexcept { return reason_; }
    int SystemError() const noexcept { return systemError_; }

private:
    TErrorKind kind_;
    std::string reason_;
    int systemError_;
};

// A file that cannot be opened for reading at all. The window shows the text; the terminal
// tool says the reason in English instead.
class EFileOpenError : public EMP3Error {
public:
    explicit EFileOpenError(const std::string& fileName, std::string reason = {}, int systemError = 0)
        : EMP3Error(TErrorKind::Open, "ファイル " + fileName + " は開けません",
                    reason.empty() ? "cannot open the file" : std::move(reason), systemError),
          fileName_(fileName)
    {
    }
    const std::string& FileName() const noexcept { return fileName_; }

private:
    std::string fileName_;
};

// A failure as the front ends receive it: they decide how to show it (a box, a notice, a line on
// the terminal) and whether play goes on.
struct TMP3PlayError {
    // The playback (or background open) it belongs to; 0 for a failure outside the player.
    uint64_t Id = 0;
    TErrorKind Kind = TErrorKind::Internal;
    // What the window shows ("ファイル … は開けません", "unknown MPEG Audio format." and the like).
    std::string Text;
    // The cause in English, for the terminal tool; empty where Text says it already.
    std::string Reason;
    // The cause in plain Japanese words where Text does not name it (a missing file, a file that
    // may not be read, a file that holds no MPEG audio); empty otherwise.
    std::string Detail;
    // The location that failed (empty when unknown).
    std::string Location;
    std::exception_ptr Error;

    // A local file that does not exist (or whose folder does not).
    bool NotFound() const;
    // Text, and on a line of its own the Japanese cause when there is one.
    std::string ShownText() const;
};

// The record of `error` (any exception; an EMP3Error gives its kind, reason and cause).
TMP3PlayError DescribeError(const std::exception_ptr& error, uint64_t id = 0, std::string location = {});

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
