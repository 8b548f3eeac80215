// Any bytes through every frame-header function, with windows from 0 to the whole input.
#include "mp3plyr/decoder/frame_header.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6)
        return 0;
    // The first two bytes choose the window; the rest is the stream, copied so that any read
    // beyond it is caught.
    const uint32_t selector = uint32_t(data[0]) << 8 | data[1];
    std::vector<uint8_t> bytes(data + 2, data + size);
    const uint32_t window = bytes.empty() ? 0 : selector % (uint32_t(bytes.size()) + 1);

    pt4::TMPFrameHeader header;
    int32_t bitRate = 0;
    if (bytes.size() >= 4) {
        pt4::ParseFrameHeader(bytes.data(), window, header);
        pt4::ParseFrameHeaderEx(bytes.data(), window, header, bitRate);
        pt4::SameStreamHeader(bytes.data(), bytes.data() + bytes.size() - 4);
    }
    int32_t offset = -1;
    const int32_t length = pt4::FindFirstFrame(bytes.data(), int32_t(bytes.size()), header, bitRate, offset);
    if (length > 0 && (offset < 0 || size_t(offset) + 4 > bytes.size()))
        __builtin_trap();
    return 0;
}
