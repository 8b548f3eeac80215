// Message numbers and the message record passed between the player's threads and windows.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>

namespace pt4 {

class TMPEvent;

inline constexpr uint32_t WM_USER = 0x400;

// Worker thread messages.
inline constexpr uint32_t TM_WRITEBLOCK = WM_USER + 20;   // wave output, file mode: LParam = block index
inline constexpr uint32_t TM_DEVICEFAILED = WM_USER + 21; // wave output: the device failed while playing
inline constexpr uint32_t TM_QUIT = WM_USER + 30;
inline constexpr uint32_t TM_WAKE = WM_USER + 31;
inline constexpr uint32_t TM_SYNC = WM_USER + 32;
inline constexpr uint32_t TM_TIMEOUT = WM_USER + 33;

// Completion notice of the sound device, delivered to the wave output's thread.
inline constexpr uint32_t MM_WOM_DONE = 0x3BD;

// The player component's window messages.
inline constexpr uint32_t MP_POSITION = WM_USER + 10;
inline constexpr uint32_t MP_ERROR = WM_USER + 11;         // WParam: the playback id
inline constexpr uint32_t MP_END_OF_STREAM = WM_USER + 12; // WParam: the playback id
inline constexpr uint32_t MP_STATUS = WM_USER + 14;
inline constexpr uint32_t MP_END_PLAY = WM_USER + 15;
inline constexpr uint32_t MP_EQUALIZER = WM_USER + 16;
inline constexpr uint32_t MP_NEED_NEXT = WM_USER + 17; // WParam: the playback id
// The open file's frames are counted (a corrected length).
inline constexpr uint32_t MP_FRAME_COUNT = WM_USER + 18;
// A location opened in the background has its result. WParam: the attempt's id.
inline constexpr uint32_t MP_OPENED = WM_USER + 19;
// The sound server went away while playing; play waits for it. Error: the loss.
inline constexpr uint32_t MP_DEVICE_LOST = WM_USER + 23;

// One queued message. Pointers travel in typed fields rather than in WParam/LParam so that a
// receiver never has to guess what an integer points at.
struct TMPMessage {
    uint32_t Msg = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    std::shared_ptr<TMPEvent> Event; // TM_SYNC: the event to set; MP_ERROR: the hand-over event
    std::exception_ptr Error;        // MP_ERROR: the exception handed over from a worker
};

// Receives the messages of a worker thread or a message window; unknown numbers are ignored.
class TMPMessageTarget {
public:
    virtual void Dispatch(TMPMessage& message) = 0;

protected:
    ~TMPMessageTarget() = default;
};

} // namespace pt4
