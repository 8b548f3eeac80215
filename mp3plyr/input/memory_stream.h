// Bytes in memory as a TMPStream: either a view of the caller's bytes or a vector it owns.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "mp3plyr/input/stream.h"

namespace pt4 {

class TMPMemoryStream final : public TMPStream {
public:
    // Views `bytes`; the caller keeps them alive and unchanged while the stream is used.
    explicit TMPMemoryStream(std::span<const uint8_t> bytes);
    // Takes the bytes over.
    explicit TMPMemoryStream(std::vector<uint8_t> bytes);

    TMPMemoryStream(const TMPMemoryStream&) = delete;
    TMPMemoryStream& operator=(const TMPMemoryStream&) = delete;

    int32_t Read(void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }

    int64_t Position() const { return position_; }

private:
    std::vector<uint8_t> owned_;
    std::span<const uint8_t> bytes_;
    int64_t position_ = 0;
};

} // namespace pt4
