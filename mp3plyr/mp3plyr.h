// The player component: plays one MPEG audio stream at a time on a worker thread of its own and
// reports status, position and the end of play to its owner. Every event runs on the thread that
// created the player, while that thread drains the player's message window.
#pragma once

#include "mp3plyr/errors.h"
#include "mp3plyr/input/live_stream.h"
#include "mp3plyr/input/replay_gain.h"
#include "mp3plyr/input/stream.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pt4 {

enum class TMP3PlayerStatus : uint8_t { mpsStopped = 0, mpsPlaying = 1, mpsPaused = 2 };
enum class TMP3EndPlayReason : uint8_t { mepEndOfStream = 0, mepStopped = 1, mepError = 2 };
enum class TMP3EqualizerMode : uint8_t { memSubBand = 0, memFreq = 1 };

// A set of processor extensions, bit n = member n.
using TMP3CpuCapabilities = uint8_t;
inline constexpr TMP3CpuCapabilities mccMMX = 1 << 0;
inline constexpr TMP3CpuCapabilities mcc3DNow = 1 << 1;
inline constexpr TMP3CpuCapabilities mccKNI = 1 << 2;
inline constexpr TMP3CpuCapabilities mccE3DNow = 1 << 3;
inline constexpr TMP3CpuCapabilities mccAll = 15;

// What the player can do now.
using TMP3PlayerCapabilities = uint8_t;
inline constexpr TMP3PlayerCapabilities mpcOpen = 1 << 0;
inline constexpr TMP3PlayerCapabilities mpcClose = 1 << 1;
inline constexpr TMP3PlayerCapabilities mpcPlay = 1 << 2;
inline constexpr TMP3PlayerCapabilities mpcStop = 1 << 3;
inline constexpr TMP3PlayerCapabilities mpcPause = 1 << 4;
inline constexpr TMP3PlayerCapabilities mpcResume = 1 << 5;
inline constexpr TMP3PlayerCapabilities mpcSeek = 1 << 6;
inline constexpr TMP3PlayerCapabilities mpcIdle = 1 << 7;

// OpenStream flags.
inline constexpr uint8_t kStreamSeekable = 1 << 0;
inline constexpr uint8_t kStreamOwned = 1 << 1;

class TMPMessageWindow;
class TMP3PlayerCore;

class TMP3Player {
public:
    using TNotifyEvent = std::function<void(TMP3Player& sender)>;
    using TMP3EndPlayEvent = std::function<void(TMP3Player& sender, TMP3EndPlayReason reason)>;

    TMP3Player();
    ~TMP3Player();
    TMP3Player(const TMP3Player&) = delete;
    TMP3Player& operator=(const TMP3Player&) = delete;

    // The owner's event loop delivers the player's messages, on the thread that created it:
    // call MessageWindow().DispatchMessages() whenever its notifier fires (a GUI) or after
    // WaitForMessage (a terminal tool).
    TMPMessageWindow& MessageWindow();

    // Owner layout loading: between BeginLoading and Loaded the setters act as while a stored
    // layout is read (no auto-open, Volume 0 keeps the wave output's volume).
    void BeginLoading();
    void Loaded();

    // Published properties.
    bool AutoOpen() const;
    void SetAutoOpen(bool value);
    bool AutoPlay() const;
    void SetAutoPlay(bool value);
    int32_t ChangePosStep() const;
    void SetChangePosStep(int32_t ms);
    bool EqualizerEnabled() const;
    void SetEqualizerEnabled(bool value);
    int32_t EqualizerCount() const;
    void SetEqualizerCount(int32_t count);
    TMP3EqualizerMode EqualizerMode() const;
    void SetEqualizerMode(TMP3EqualizerMode mode);
    std::string FileName() const;
    void SetFileName(const std::string& fileName);
    TMP3CpuCapabilities UsingCpuCapabilities() const;
    void SetUsingCpuCapabilities(TMP3CpuCapabilities value);
    int32_t VolBalance() const;
    void SetVolBalance(int32_t value);
    // 0 ... 100, the gain of the player's own stream (100: samples unchanged, the default); the
    // system mixer's volume applies on top, as for any program.
    uint32_t Volume() const;
    void SetVolume(uint32_t value);

    // Loudness normalisation by the gains the file carries (off by default: the sound is then
    // untouched), with a pre-amplification in dB (-20 ... 20, others ignored) for files with and
    // without gains. Auto takes the album gain while PlaysAlbum, the track gain otherwise.
    TReplayGainMode ReplayGainMode() const;
    void SetReplayGainMode(TReplayGainMode mode);
    double ReplayGainPreamp() const;
    void SetReplayGainPreamp(double db);
    // The files play as an album, in order (set by whoever runs the list).
    bool PlaysAlbum() const;
    void SetPlaysAlbum(bool value);

    // Events, raised on the owner thread only. The player shows nothing itself: a failure is
    // told by the event it ends in, and LastError holds it while that event's handler runs. A
    // failure while playing ends play with mepError (the error of a playback stopped before it
    // came in goes with that stop's mepStopped); a location opened in the background that fails
    // is told by OnChangeStatus, the player closed and FileName empty.
    TNotifyEvent OnChangeStatus;
    TNotifyEvent OnChangePosition;
    TMP3EndPlayEvent OnEndPlay;
    // The failure the running handler is told of (see above); empty otherwise.
    std::optional<TMP3PlayError> LastError() const;
    // Raised a few seconds before the open file's data is exhausted (at once for a shorter
    // file). The handler may call QueueNext with the file to follow: it is opened in the
    // background meanwhile and plays on without a gap, into the same sound stream, and FileName,
    // Title, Artist, Length and Position change (with an OnChangeStatus) when its first sample
    // is heard. Without an answer, or when the file does not open or plays in another format,
    // play ends as usual.
    TNotifyEvent OnNeedNext;
    void QueueNext(const std::string& fileName);
    // A queued file is decoded (or about to be) while an earlier one is still heard. Seek and
    // Stop act on the file heard and drop the queued ones; OnNeedNext then asks again.
    bool QueuedAhead() const;
    // Drops the queued files (a change of the choice of what follows): the file heard plays on
    // from where it is heard, and OnNeedNext asks again.
    void DropQueued();

    // Operations (owner thread).
    // FileName may also be "-" (standard input), an http:// or https:// URL, or an .m3u or .pls
    // playlist whose first entry is played. Such streams cannot seek, and their length is 0.
    // They open in the background (see Connecting): Open closes what is open and returns at
    // once; the stream opens when its first frames have arrived (and plays if AutoPlay, or if
    // Play was called meanwhile), or its failure is told (see LastError). Stop, Close and
    // the next Open end the attempt within moments, and it then leaves the player closed with an
    // empty FileName. Each of these steps is announced by OnChangeStatus; OnEndPlay is not
    // raised, as nothing played.
    void Open();
    // Flags: kStreamSeekable, kStreamOwned (the player then deletes the stream on close).
    void OpenStream(TMPStream* stream, uint8_t flags);
    void Close();
    void Play();
    void Pause();
    void Resume();
    void Stop();
    void Seek(int32_t ms);

    TMP3PlayerCapabilities Capabilities() const;
    // A location is being opened in the background: FileName names it, nothing is open, and
    // the status is stopped.
    bool Connecting() const;
    // What a station being played is doing: Buffering while the sound waits for its buffer to
    // fill, Reconnecting (or Rejoining, after a pause longer than its buffer) while the
    // connection is made again. Receiving otherwise, and for anything but a station. A change
    // is announced by OnChangeStatus.
    TStationState StationState() const;
    TMP3PlayerStatus Status() const;
    uint32_t Position();
    uint32_t Length() const;
    // Raw tag bytes (decode with DisplayText), or the file name without its directory (also
    // while nothing is open and FileName names a file). For an
    // internet radio stream: its current title and the station's name, announced by
    // OnChangeStatus whenever they change.
    std::string Title() const;
    std::string Artist() const;

    void SetEqualizerValue(int32_t index, int32_t value);
    int32_t GetEqualizerFrequency(int32_t index) const;
    void SetEqualizerRange(int32_t low, int32_t high);

    // What the open stream is: 0 when closed.
    int32_t BitRate() const;       // first frame's bit rate; 0 with a VBR header
    int32_t OutSampleRate() const; // of the decoded PCM
    int32_t OutChannels() const;
    int32_t OutBits() const;
    int32_t Layer() const;   // 1, 2 or 3
    int32_t Version() const; // 1 MPEG-1, 2 MPEG-2, 3 MPEG-2.5
    // "xing", "vbri" or empty.
    std::string VbrHeaderName() const;

    // The wave output plays into this RIFF WAVE file instead of the sound server when set
    // (empty: the sound server). Takes effect at the next Play.
    void SetWaveFileName(const std::string& fileName);

private:
    std::unique_ptr<TMP3PlayerCore> core_;
};

} // namespace pt4
