// The wave output's device: one playback stream on the desktop's sound server.
#pragma once

#include "mp3plyr/output/wave_out_device.h"
#include "mp3plyr/runtime/thread.h"

#include <memory>
#include <string>

namespace pt4 {

// The text of the wave output's error when the server stops answering.
inline constexpr const char* kServerDoesNotRespond = "the sound server does not respond";
// The window's texts when no sound server is there, at opening and while playing; the reason
// says it in English.
inline constexpr const char* kNoSoundServerText = "サウンドサーバーに接続できません";
inline constexpr const char* kSoundServerLostText =
    "サウンドサーバーとの接続が切れました。再接続を試みています…";
inline constexpr const char* kSoundServerLostReason = "the sound server is gone; trying to reach it again";

// Opens a stream named after the program, so that it shows in the desktop's volume mixer, and
// gives it the gains `left` and `right` (as SetVolume) before the first sample. MM_WOM_DONE
// notices go to `output`. Raises with `label` at once when no server is reachable, and after a
// second when one does not answer. With `keepOnLoss`, a server that goes away while playing
// leaves the blocks it held unanswered (see TWaveOutDevice::Gone).
//
// All streams of the process share one connection to the server, made on first use (and made
// again when the server it went to is gone).
// How often the sound server has told this process that one of its streams ran dry while
// playing, since the process started (for measurements).
uint64_t SoundServerUnderruns();

std::unique_ptr<TWaveOutDevice> OpenPulseDevice(const TWaveFormat& format, TMPThread& output, uint32_t left,
                                                uint32_t right, const std::string& label,
                                                bool keepOnLoss = false);

} // namespace pt4
