// The wave output's device: one playback stream on the desktop's sound server.
#pragma once

#include "mp3plyr/output/thread.h"
#include "mp3plyr/output/wave_out_device.h"

#include <memory>
#include <string>

namespace pt4 {

// Opens a stream named after the program, so that it shows in the desktop's volume mixer, with
// the gains `left` and `right` (as SetVolume) from the first sample on. MM_WOM_DONE notices go to
// `output`. Raises with `label` at once when no server is reachable, and after a few seconds
// when one does not answer.
std::unique_ptr<TWaveOutDevice> OpenPulseDevice(const TWaveFormat& format, TMPThread& output, uint32_t left,
                                                uint32_t right, const std::string& label);

// The volume of the server's default output, its louder channel, as a linear gain 0 ... 65535.
// Raises with `label` when it cannot be read.
uint32_t ReadServerVolume(const std::string& label);

} // namespace pt4
