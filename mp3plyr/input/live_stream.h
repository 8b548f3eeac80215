// A stream fed by a source outside the process at its own pace (a radio station): it cannot
// seek, reading may have to wait for data, and it may carry titles that change while it plays.
#pragma once

#include "mp3plyr/errors.h"
#include "mp3plyr/input/stream.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace pt4 {

// An open given up because whoever asked for it no longer wants it; nobody is shown it.
class EStreamCancelled : public EMP3Error {
public:
    EStreamCancelled() : EMP3Error(TErrorKind::Open, "the open was cancelled") {}
};

// What a station being played is doing besides handing out audio: taking it in, waiting for its
// buffer to fill before the sound goes on, or getting the connection back after it was lost
// (Rejoining: after a pause longer than its buffer holds, to play live).
enum class TStationState : uint8_t { Receiving, Buffering, Reconnecting, Rejoining };

class TMPLiveStream : public TMPStream {
public:
    // True once `bytes` can be read without waiting, or the stream has ended or failed (a read
    // then returns at once); false when `timeout` passed first.
    virtual bool WaitForData(int32_t bytes, std::chrono::milliseconds timeout) = 0;
    // Makes every waiting and later read return at once with the end of the stream.
    virtual void Interrupt() = 0;

    // The current title and the station's name, as raw bytes (see DisplayText); empty if none.
    virtual std::string StreamTitle() const = 0;
    virtual std::string StationName() const = 0;
    // Where the current title's audio begins, in the bytes this stream's reads return.
    virtual uint64_t TitleOffset() const = 0;
    // `handler` runs on the stream's own thread each time the title or the name changes.
    virtual void SetOnTitlesChanged(std::function<void()> handler) = 0;

    // What a player needs of a station it plays: a connection that ends or stalls is made again
    // while the buffered audio plays on, and a pause is ridden out in a buffer of at most
    // `pauseBytes`. `bytesPerSecond` is the audio's rate. A stream that cannot reconnect ignores it.
    virtual void StartPlaying(int32_t /*bytesPerSecond*/) {}
    // Paused: the station is still taken in, up to the pause bound; past it reception stops, and
    // the end of the pause joins the station anew (live).
    virtual void SetPaused(bool /*paused*/) {}
    // Receiving, Reconnecting or Rejoining (a stream never buffers by itself: its player decides).
    virtual TStationState State() const { return TStationState::Receiving; }
    // `handler` runs on the stream's own thread each time State changes.
    virtual void SetOnStateChanged(std::function<void()> /*handler*/) {}
};

} // namespace pt4
