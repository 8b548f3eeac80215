// A window of bytes from the current read point of a stream, always starting at Buffer()[0].
// Parsers Fill the bytes they need, read them in place and Skip what they consumed.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "mp3plyr/input/stream.h"

namespace pt4 {

class TMPStreamReader {
public:
    // bufferSize must be greater than 0 (the player uses 16384).
    explicit TMPStreamReader(int32_t bufferSize);
    ~TMPStreamReader();

    TMPStreamReader(const TMPStreamReader&) = delete;
    TMPStreamReader& operator=(const TMPStreamReader&) = delete;

    // Attaches `stream` (not owned; it must outlive the attachment), which must stand at its
    // start. Closes first if active. Allocates the buffer and, when seekable, queries the size.
    void Open(TMPStream* stream, bool seekable);
    // Detaches the stream and frees the buffer; the stream itself is left alone.
    void Close();

    // Makes at least n bytes (0 <= n <= BufferSize) present at Buffer()[0]; false at the end
    // of the stream, with whatever was read still buffered.
    bool Fill(int32_t n);
    // Consumes n >= 0 bytes from the read point; false if the stream ends first.
    bool Skip(int32_t n);
    // Seekable streams only: repositions (origin kSeekFromBeginning, kSeekFromCurrent relative
    // to the logical read point, kSeekFromEnd), empties the buffer, returns the new Position.
    int64_t Seek(int64_t offset, int16_t origin);

    TMPStream* Stream() const { return stream_; }
    int64_t Size() const { return size_; }
    bool Seekable() const { return seekable_; }
    bool Active() const { return active_; }
    // Buffer()[0 .. Count()-1] are the stream bytes at Position() .. Position()+Count()-1.
    const uint8_t* Buffer() const { return buffer_.get(); }
    std::span<const uint8_t> Bytes() const { return {buffer_.get(), static_cast<size_t>(count_)}; }
    int32_t BufferSize() const { return bufferSize_; }
    int64_t Position() const { return position_; }
    int32_t Count() const { return count_; }

    // Largest single read a small Fill issues, so short headers do not cost a read each.
    static constexpr int32_t kReadAhead = 4096;

private:
    void Consume(int32_t n);

    TMPStream* stream_ = nullptr;
    int64_t size_ = 0;
    bool seekable_ = false;
    bool active_ = false;
    std::unique_ptr<uint8_t[]> buffer_;
    int32_t bufferSize_;
    int64_t position_ = 0;
    int32_t count_ = 0;
};

} // namespace pt4
