// The player's state and its two message targets: the hidden window (owner thread) and the
// decode worker. TMP3Player forwards every property and operation here; nothing outside the
// player's folder sees this class, and its data is its own.
//
// The transport is one state (TTransport): Closed, Connecting (a location opening in the
// background), Stopped, Playing, Paused. Play, Pause, Resume, Stop, Seek, Open and Close are its
// transitions; Status, Capabilities and the end of play are read off it. Beside it, while a file
// plays, the file to follow has a state of its own (TPlayback::TNext): asked of the owner a few
// seconds before the data ends, then opened and probed on the opening thread, then handed to the
// worker ready to decode; Stop, Seek, Close and DropQueued drop it.
//
// Who touches what (the keeper of each field shared between threads):
//   settings, transport_, lastError, endPlayError, endingId, endPending, replayChange
//                    the owner thread only, without a lock.
//   playback         one per opened stream (null while closed). `lock` guards everything in it
//                    (the file to follow included), loudness, liveRefillBytes and previousId_;
//                    only the owner replaces the pointer (under `lock`), so the owner may test
//                    it without the lock.
//   shown            published under `lock` whenever what is heard changes; getters read it
//                    under its own mutex.
//   liveStream       under `liveLock`, which the worker holds while it waits for a station.
//   titlesChanged    set by the station's thread, taken by the worker (atomic).
//   liveHolding, liveWant, userPaused
//                    written under `lock` (atomic, so the owner and the worker read them
//                    without it).
//   stepId           written by the worker, read by the hand-over of a failure (atomic).
//   currentId_       written under `lock` (Renew, TakePlayback), read by any thread (atomic).
//   thread.WakeEvent set and reset only through Wake, Idle and IdleIfCurrent, under `wakeLock_`
//                    (the owner, the worker and the hand-over of a failure), and set by the
//                    sound output's notice when a block frees up. The hand-over tests the
//                    playback id and resets in one step under `wakeLock_`, and the owner renews
//                    the id before it wakes the worker, so a failure of an old playback never
//                    idles the worker of the one that follows it.
//   ownerActed       set under `lock` by every owner operation a waiting worker must notice;
//                    reset by the worker under `lock` before it waits.
//   handedOver       under `handedOverLock`: any thread adds, the owner takes.
//   destroying       set by the owner as the player goes, read by the worker (atomic).
//   soundOut, window, frameCounter, opener  have locks of their own.
#pragma once

#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/errors.h"
#include "mp3plyr/input/live_stream.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/output/sound_out.h"
#include "mp3plyr/player/frame_counter.h"
#include "mp3plyr/player/location_opener.h"
#include "mp3plyr/player/playback.h"
#include "mp3plyr/player/player_settings.h"
#include "mp3plyr/player/player_shown.h"
#include "mp3plyr/runtime/event.h"
#include "mp3plyr/runtime/message_window.h"
#include "mp3plyr/runtime/thread.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pt4 {

class TMP3PlayerCore {
public:
    explicit TMP3PlayerCore(TMP3Player& owner);
    ~TMP3PlayerCore();

    enum class TTransport : uint8_t { Closed, Connecting, Stopped, Playing, Paused };

    // Owner thread: the operations and properties of TMP3Player (see mp3plyr.h).
    TMPMessageWindow& MessageWindow() { return window; }
    void Destroying() { destroying = true; }
    void BeginLoading() { settings.loading = true; }
    void Loaded();
    const TPlayerSettings& Settings() const { return settings; }
    void SetAutoOpen(bool value);
    void SetAutoPlay(bool value);
    void SetChangePosStep(int32_t ms);
    void SetFileName(const std::string& fileName);
    std::string FileName() const;
    void SetUsingCpuCapabilities(TMP3CpuCapabilities value);
    void SetVolBalance(int32_t value);
    void SetVolume(uint32_t value);
    void SetWaveFileName(const std::string& fileName) { settings.waveFileName = fileName; }
    // Equalizer and loudness (player_equalizer.cpp).
    void SetEqualizerEnabled(bool value);
    void SetEqualizerCount(int32_t count);
    void SetEqualizerMode(TMP3EqualizerMode mode);
    void SetEqualizerValue(int32_t index, int32_t value);
    int32_t GetEqualizerFrequency(int32_t index) const;
    void SetEqualizerRange(int32_t low, int32_t high);
    const TLoudnessChoice& Loudness() const { return loudness; }
    void SetLoudness(const TLoudnessChoice& choice);

    // The transport.
    void Open();
    // Closes what is open and opens `stream` (see TMP3Player::OpenStream); `name` is the
    // location it came from, and becomes FileName.
    void OpenPlayback(TMPStream* stream, uint8_t flags, const std::string& name);
    void Close();
    void Play();
    void Pause();
    void Resume();
    void Stop();
    void Seek(int32_t ms);
    TMP3PlayerStatus Status() const;
    TMP3PlayerCapabilities Capabilities() const;
    bool Connecting() const { return transport_ == TTransport::Connecting; }
    TStationState StationState() const;
    uint32_t Position();
    TShownFile Shown() const { return shown.Read(); }
    std::string Title() const;
    std::optional<TMP3PlayError> LastError() const { return lastError; }

    // The file to follow (see TMP3Player::OnNeedNext): starts opening it on the opening thread,
    // when the worker asked for one.
    void QueueNext(const std::string& fileName);
    // A file to follow is asked for, being opened, ready, or already decoded while an earlier
    // one is heard.
    bool QueuedAhead();
    // Forgets the file to follow: what was decoded of it goes (play goes on in the file heard,
    // from where it is heard), an opening of it is cancelled, and the worker asks again.
    void DropQueued();

private:
    class WindowTarget : public TMPMessageTarget {
    public:
        explicit WindowTarget(TMP3PlayerCore& core) : core_(core) {}
        void Dispatch(TMPMessage& message) override { core_.HandleWindowMessage(message); }

    private:
        TMP3PlayerCore& core_;
    };
    class WorkerTarget : public TMPMessageTarget {
    public:
        explicit WorkerTarget(TMP3PlayerCore& core) : core_(core) {}
        void Dispatch(TMPMessage& message) override
        {
            if (message.Msg == TM_WAKE)
                core_.DecodeStep();
        }

    private:
        TMP3PlayerCore& core_;
    };

    // Hidden-window messages, on the owner thread.
    void HandleWindowMessage(TMPMessage& message);
    // TM_WAKE on the worker: one frame decoded and offered to the output.
    void DecodeStep();

    // Owner thread.
    // The one change of transport state: posts the change of status, and the end of play when
    // a playback that played or paused stops.
    void Enter(TTransport next);
    bool StreamOpen() const { return playback != nullptr; }
    bool StreamSeekable() const { return playback && playback->Seekable(); }
    // Stops and releases what is open; FileName stays as it is.
    void CloseStream();
    void UpdatePosition();
    void UpdateGainTables();
    // Takes a finished count as the open stream's index and length; true when the length changed.
    bool AdoptFrameCount();
    // Makes a live stream's waiting reads give up, detaches its title notices and forgets it;
    // the stream itself goes with its playback afterwards.
    void ReleaseLiveStream();
    // A fresh id for a new playback or a stop or seek in one.
    uint64_t NewId() { return ++lastId_; }
    // Whether a notice carrying `id` is about the data being played now.
    bool Current(uintptr_t id) const { return currentId_.load() == id; }
    // Starts opening settings.fileName in the background (player_opening.cpp): Connecting.
    void StartOpening();
    // Ends the attempt under way, if any (the player is Closed then, FileName as it was); the
    // change is announced as a change of status. False when there was no attempt.
    bool CancelOpening();
    // MP_OPENED: attempt `id` has its result, either a location opened in the background or a
    // file to follow.
    void FinishOpening(uint64_t id);
    void FinishNext(TOpenResult result, uint64_t id);
    // The owner's side of a failure: the owner hears it as a change of status, during which
    // LastError holds it.
    void ReportOpenFailure(TMP3PlayError error);
    // The title shown while nothing is open: the name part of FileName.
    std::string ClosedTitle() const;
    void DeliverStatus();
    void DeliverEndPlay();

    // The worker's wake event, changed only here (see the table above).
    void Wake();
    void Idle();
    void IdleIfCurrent(uint64_t id);

    // `lock` held.
    // Gives the playback a new id (at open, stop and seek): what was posted or waited for
    // under the old one no longer counts.
    void Renew();
    // The playback, and the getters' snapshot, go (Close).
    std::unique_ptr<TPlayback> TakePlayback();
    void ResetCounters();
    // The loudness gain of the open stream for the chosen mode, into the decoder: at once (an
    // atomic value the decoder reads per frame), so a file's first frames play at its own level.
    void ApplyLoudness();
    // Counts the frames of a local file whose length is only estimated.
    void StartFrameCount();
    // Counts what the output played, when it is open; a lost sound server leaves the count as
    // it was. Changes of file and station titles that have become audible take effect.
    void CountPlayed();
    // Makes the file being heard the open one again, dropping what was decoded of the files
    // queued after it and the file to follow (a seek or stop acts on what is heard); false when
    // nothing was decoded of a later file. A heard file that no longer opens raises; the queued
    // file then stays open, from its start.
    bool ReturnToHeard();
    // Forgets the file to follow (asked, being opened or ready); the worker asks again.
    void ForgetNext();
    // The snapshot of what is heard, from the playback; posts a change of status when the
    // owner's view of it changed.
    void Publish();
    // What the open file reports of itself.
    TShownFile Describe() const;
    void AdvancePlayed();
    void CompleteChange();
    void NoteTitles(TPlayback& p);

    // Worker, `lock` held.
    // Asks the owner for the file to follow once the data left is short.
    void AskNextSoon(TPlayback& p);
    // Plays out what the output holds, letting the lock go meanwhile so that a pause or a stop is
    // not held up; false when a stop or seek made meanwhile replaced the playback's id.
    bool PlayOutQueued(std::unique_lock<std::mutex>& held);
    bool FinishEndOfData(std::unique_lock<std::mutex>& held);
    bool ContinueWithNext(std::unique_lock<std::mutex>& held);
    void TakeNext(TPlayback& p);
    std::string TitleNow(const TPlayback& p) const;
    // Whether a decode step may read the station (`ready`: the bytes it waited for are there);
    // holds the output when the station's buffer and the output ran dry and lets it go on once
    // refilled.
    bool StationReady(TPlayback& p, bool ready);
    // The output is about to run out and the station has not sent enough to keep it going.
    bool RunningDry(TPlayback& p);
    // A station whose decoded format changed has what was queued played out and the output
    // opened again at the new format (the lock let go while it waits). False when a stop, seek
    // or close came meanwhile.
    bool FollowFormat(std::unique_lock<std::mutex>& held);
    // Owner thread: a station's audio rate known, its reconnection and hold begin.
    void StartStation(TMPLiveStream& live);

    // Owner thread. A change of the equalizer or of the loudness is to be heard at once: noted by
    // the setters while sound with the old settings is queued, and taken by the next
    // MP_EQUALIZER, which then plays again from the position heard.
    bool replayChange = false;
    void NoteAudibleChange();
    void ReplayFromHeard();

    // Any thread: hands an exception over to the owner thread as a notice; the worker goes on
    // at once.
    void HandOverException(const std::exception_ptr& error, bool& handled);
    void NotifyPosition();

    TMP3Player& owner;
    TPlayerSettings settings;
    TTransport transport_ = TTransport::Closed;
    std::atomic<bool> destroying{false};

    // This player's own decoder: players in one process never share decoding buffers.
    std::unique_ptr<DecoderState> decoderState = std::make_unique<DecoderState>();
    DecoderState& decoder = *decoderState;

    std::mutex lock;
    std::unique_ptr<TPlayback> playback; // decodes into `decoder`, so declared after it
    TLoudnessChoice loudness;
    TPlayerShown shown;

    TMPLiveStream* liveStream = nullptr;
    std::mutex liveLock;
    std::atomic<bool> titlesChanged{false};
    // Bytes a live stream must hold before a decode step: two of the largest frames and a
    // header, so that the step's reads (a change of format is told by two frames) never wait.
    static constexpr int32_t kLiveStepBytes = 2 * 1441 + 4;
    // The output held while a station's buffer fills (at the start of play, and whenever it ran
    // dry).
    std::atomic<bool> liveHolding{false};
    // Bytes the worker waits for before a step: kLiveStepBytes, or a second of audio while held.
    std::atomic<int32_t> liveWant{kLiveStepBytes};
    int32_t liveRefillBytes = kLiveStepBytes; // under `lock`
    // The owner paused play (the worker must not let a held output go on by itself).
    std::atomic<bool> userPaused{false};

    TMPSimpleEvent ownerActed;
    std::mutex wakeLock_;
    // The playback id of the worker's last decode step: an error handed over from the worker or
    // the output belongs to that playback.
    std::atomic<uint64_t> stepId{0};
    // The failure the owner may read (LastError) while the handler of the event that reports it
    // runs; empty at any other time.
    std::optional<TMP3PlayError> lastError;
    // The failure the next OnEndPlay reports, and the playback that end is about (the id it had
    // before the stop): a failure of that playback that comes in before its end is told goes
    // with the end.
    std::optional<TMP3PlayError> endPlayError;
    uint64_t endingId = 0;
    bool endPending = false;
    // Failures handed over and not yet handled as MP_ERROR, by playback id: an end of play told
    // early (with a position notice queued before the failure's own notice) finds its failure
    // here.
    std::mutex handedOverLock;
    std::vector<std::pair<uint64_t, std::exception_ptr>> handedOver;

    WindowTarget windowTarget_{*this};
    WorkerTarget workerTarget_{*this};
    std::atomic<uint64_t> lastId_{0};
    // The id the open playback had before its last renewal (`lock`).
    uint64_t previousId_ = 0;
    // The open playback's id (0: none), mirrored out of `lock` for the output thread's error
    // hand-over, which must never wait for `lock` (the owner holds it while closing the output).
    std::atomic<uint64_t> currentId_{0};

    // Declared last: the worker and the output thread end before the state they use goes.
    TMPMessageWindow window{windowTarget_};
    TSoundOut soundOut;
    TMPThread thread{workerTarget_};
    // Started and cancelled under `lock`; its thread only posts to `window`, so it ends first.
    TFrameCounter frameCounter;
    // Opens a station, a pipe or the file to follow in the background; its threads only post to
    // `window`, and end before it goes.
    TLocationOpener opener{[this](uint64_t id) { window.PostPlain(MP_OPENED, uintptr_t(id)); }};
};

} // namespace pt4
