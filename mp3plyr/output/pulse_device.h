// The wave output's device: one playback stream on the desktop's sound server.
#pragma once

#include "mp3plyr/output/wave_out_device.h"
#include "mp3plyr/runtime/thread.h"

#include <memory>
#include <string>

namespace pt4 {

// The text of the wave output's error when the server stops answering.
inline constexpr const char* kServerDoesNotRespond = "the sound server does not respond";

// Opens a stream named after the program, so that it shows in the desktop's volume mixer, and
// gives it the gains `left` and `right` (as SetVolume) before the first sample. MM_WOM_DONE
// notices go to `output`. Raises with `label` at once when no server is reachable, and after a
// second when one does not answer.
//
// All streams of the process share one connection to the server, made on first use (and made
// again when the server it went to is gone).
std::unique_ptr<TWaveOutDevice> OpenPulseDevice(const TWaveFormat& format, TMPThread& output, uint32_t left,
                                                uint32_t right, const std::string& label);

} // namespace pt4
