// The main-data reservoir: frames append their main data, granules read it back from where
// main_data_begin points, possibly inside earlier frames.
#include "mp3plyr/decoder/decoder_state.h"
#include "mp3plyr/decoder/layer3_stages.h"

#include <algorithm>
#include <cstring>

namespace pt4 {

bool StoreMainData(MainDataReservoir& reservoir, const uint8_t* frame, int32_t paddedLength,
                   int32_t headerBytes, int32_t mainDataBegin)
{
    reservoir.DecodeStart = reservoir.WritePosition - mainDataBegin;
    // Move the bytes still referred to back to the front only now and then, so that most
    // frames append without moving data.
    if (reservoir.WritePosition > kReservoirCompactAt) {
        std::memmove(reservoir.Buffer.data(), reservoir.Buffer.data() + reservoir.DecodeStart,
                     static_cast<size_t>(mainDataBegin));
        reservoir.DecodeStart = 0;
        reservoir.WritePosition = mainDataBegin;
    }
    const int32_t mainBytes = paddedLength - headerBytes;
    if (mainBytes < 0 || mainBytes > kReservoirCapacity ||
        reservoir.WritePosition + mainBytes > kReservoirCapacity)
        return false;
    std::memcpy(reservoir.Buffer.data() + reservoir.WritePosition, frame + headerBytes,
                static_cast<size_t>(mainBytes));
    reservoir.WritePosition += mainBytes;
    if (reservoir.DecodeStart >= 0)
        reservoir.MainPosition = reservoir.DecodeStart * 8;
    return true;
}

int32_t PositionGranuleChannel(MainDataReservoir& reservoir, BitReader& reader, int32_t part23Length)
{
    const int32_t offset = reservoir.MainPosition % 8;
    const int32_t end = std::min((reservoir.MainPosition + part23Length + 39) / 8, kReservoirCapacity);
    reader.Init(reservoir.Buffer.data() + reservoir.MainPosition / 8, reservoir.Buffer.data() + end);
    reader.GetBits(offset);
    reservoir.MainPosition += part23Length;
    return offset;
}

void FillSilence(uint8_t* pcm, const DecoderConfig& config)
{
    std::memset(pcm, config.SilenceValue, static_cast<size_t>(config.OutputBytes));
}

} // namespace pt4
