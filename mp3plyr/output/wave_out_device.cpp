#include "mp3plyr/output/wave_out_device.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/output/pulse_device.h"
#include "mp3plyr/output/wave_file_device.h"

namespace pt4 {

std::unique_ptr<TWaveOutDevice> OpenWaveOutDevice(const std::string& waveFileName, const TWaveFormat& format,
                                                  TMPThread& output, uint32_t left, uint32_t right,
                                                  bool keepOnLoss)
{
    if (!waveFileName.empty())
        return std::make_unique<TWaveFileDevice>(waveFileName, format, output);
    return OpenPulseDevice(format, output, left, right, "TSoundOut.Open:WaveOutOpen", keepOnLoss);
}

void RaiseWaveOutError(const char* text, const std::string& label)
{
    if (text == nullptr || *text == '\0')
        throw EMP3Error(TErrorKind::Device, kUnknownWaveOutError);
    throw EMP3Error(TErrorKind::Device, std::string(text) + "(" + label + ")");
}

} // namespace pt4
