#include "mp3plyr/output/wave_out_device.h"

#include "mp3plyr/errors.h"

namespace pt4 {

void RaiseWaveOutError(const char* text, const std::string& label)
{
    if (text == nullptr || *text == '\0')
        throw EMP3Error(kUnknownWaveOutError);
    throw EMP3Error(std::string(text) + "(" + label + ")");
}

} // namespace pt4
