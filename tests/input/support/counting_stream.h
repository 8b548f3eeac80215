// Test streams: a memory stream that records every read and seek it is asked for, can deliver
// short reads, and can fail reads that touch a chosen byte range or the n-th seek.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "mp3plyr/input/stream.h"

namespace pt4::test {

struct SeekCall {
    int64_t offset;
    int origin;
};

class CountingStream final : public TMPStream {
public:
    explicit CountingStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    int32_t Read(void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override;

    // Each read delivers at most this many bytes (0 = no limit).
    void SetMaxDelivery(int32_t bytes) { maxDelivery_ = bytes; }
    // Reads that would deliver any byte at offsets [begin, end) throw EMP3Error.
    void FailReadsIn(int32_t begin, int32_t end) { failBegin_ = begin, failEnd_ = end; }
    // The n-th Seek from now (1 = the next) throws EMP3Error.
    void FailSeekNumber(int n) { failSeekCountdown_ = n; }
    void FailSize() { failSize_ = true; }

    const std::vector<int32_t>& ReadRequests() const { return readRequests_; }
    const std::vector<SeekCall>& Seeks() const { return seeks_; }
    int SizeQueries() const { return sizeQueries_; }
    int64_t Position() const { return position_; }
    void ClearLog();

private:
    std::vector<uint8_t> bytes_;
    int64_t position_ = 0;
    int32_t maxDelivery_ = 0;
    int32_t failBegin_ = 0;
    int32_t failEnd_ = 0;
    int failSeekCountdown_ = 0;
    bool failSize_ = false;
    std::vector<int32_t> readRequests_;
    std::vector<SeekCall> seeks_;
    int sizeQueries_ = 0;
};

} // namespace pt4::test
