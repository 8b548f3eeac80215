// The wave output: a ring of four half-second PCM blocks played through the desktop's sound
// server, or written to a RIFF WAVE file when a file name is set before Open. Both are devices
// of one interface (wave_out_device.h); the ring does not care which it has.
#pragma once

#include "mp3plyr/runtime/critical_section.h"
#include "mp3plyr/runtime/event.h"
#include "mp3plyr/runtime/messages.h"
#include "mp3plyr/runtime/thread.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pt4 {

class TSoundOut : public TMPMessageTarget {
public:
    using TNotify = std::function<void(TSoundOut& sender)>;

    TSoundOut();
    ~TSoundOut();
    TSoundOut(const TSoundOut&) = delete;
    TSoundOut& operator=(const TSoundOut&) = delete;

    // Format for the next Open; out-of-range values are ignored.
    void SetSampleRate(int32_t rate);
    void SetBitsPerSample(int32_t bits);
    void SetChannels(int32_t channels);
    // Applied at once while open on the sound server. A new output plays at full volume (its
    // samples unchanged) until the owner sets another; the server's own volume is not read.
    void SetVolume(uint32_t volume);
    void SetBalance(int32_t balance);
    // Empty: the sound server. Only while not active.
    void SetWaveFileName(const std::string& fileName);

    void Open();
    void Close();
    bool CanWrite();
    int32_t Write(const uint8_t* data, int32_t count);
    int32_t FreeSpacePercent();
    // A one-shot event set as soon as CanWrite holds (at once if it holds now); nullptr: none.
    void SetNotifyEvent(TMPEvent* event);
    void Flush();
    void WaitForDone();
    // As WaitForDone, but gives up after `timeoutMs`: true when every block has come back.
    bool WaitForDone(int32_t timeoutMs);
    // As WaitForDone, but also returns, with false, as soon as `other` is signalled.
    bool WaitForDoneOr(TMPEvent& other);
    void Pause();
    void Unpause();
    void Reset();
    // Bytes played since the previous call.
    int32_t GetDoneBytes();

    int32_t SampleRate() const;
    int32_t Channels() const;
    int32_t BitsPerSample() const;
    bool Active() const;
    uint32_t Volume() const;
    int32_t Balance() const;
    int32_t BlockSize() const;

    // Minimum ms between two OnNotify calls; -1: never. None come while paused.
    std::atomic<int32_t> NotifyInterval{-1};
    // Called on the output thread. Set and cleared from the owner's thread while sound runs.
    void SetOnNotify(TNotify notify);
    // Exception hand-over from the output thread; set before the first Open.
    TMPExceptionHandler OnException;
    // Set before Open: a sound server that goes away while playing does not end play. This is
    // called once on the output thread with the loss (TErrorKind::Device); the queued sound
    // waits, the server is tried again with growing pauses (not while paused) for at least a
    // minute, and once one answers the sound goes on from where it was last heard. Only when
    // none answers in that time does the loss reach OnException.
    std::function<void(const std::exception_ptr& loss)> OnDeviceLost;

    void Dispatch(TMPMessage& message) override;

private:
    // The output thread's time-out while sound is queued and not paused: the next position
    // notice is due then, unless a block comes back first.
    int32_t NoticeWait() const;

    struct State;
    std::unique_ptr<State> state_;
};

} // namespace pt4
