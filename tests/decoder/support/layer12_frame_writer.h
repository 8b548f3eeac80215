// Builds Layer I and II frames bit by bit for tests that need exact allocations, scale factors
// and samples.
#pragma once

#include "mp3plyr/decoder/frame_header.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace pt4::test {

struct Layer12HeaderFields {
    int32_t Id = 1;
    int32_t LayerBits = 2;
    int32_t BitrateIndex = 10;
    int32_t SampleRateIndex = 0;
    int32_t Mode = 3;
    int32_t ModeExt = 0;
    bool Crc = false;
    int32_t Padding = 0;
};

class Layer12FrameWriter {
public:
    explicit Layer12FrameWriter(const Layer12HeaderFields& fields)
    {
        Put(0xFFF, 12);
        Put(uint32_t(fields.Id), 1);
        Put(uint32_t(fields.LayerBits), 2);
        Put(fields.Crc ? 0 : 1, 1);
        Put(uint32_t(fields.BitrateIndex), 4);
        Put(uint32_t(fields.SampleRateIndex), 2);
        Put(uint32_t(fields.Padding), 1);
        Put(0, 1);
        Put(uint32_t(fields.Mode), 2);
        Put(uint32_t(fields.ModeExt), 2);
        Put(0, 4);
        if (fields.Crc)
            Put(0, 16);
    }

    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (bits_ % 8 == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1)
                bytes_.back() |= uint8_t(0x80 >> (bits_ % 8));
            ++bits_;
        }
    }

    size_t Bits() const { return bits_; }

    // The frame padded with zeros to the length its header gives.
    std::vector<uint8_t> Frame() const
    {
        std::vector<uint8_t> frame = bytes_;
        frame.resize(std::max<size_t>(frame.size(), 4));
        TMPFrameHeader header;
        const int32_t length = ParseFrameHeader(frame.data(), 0, header);
        frame.resize(std::max<size_t>(bytes_.size(), size_t(PaddedFrameLength(header, length))), 0);
        return frame;
    }

private:
    std::vector<uint8_t> bytes_;
    size_t bits_ = 0;
};

} // namespace pt4::test
