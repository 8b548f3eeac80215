// The player's state and its two message targets: the hidden window (owner thread) and the
// decode worker. TMP3Player's operations work on it; nothing outside mp3plyr/ sees it.
//
// Who touches what:
//   settings          the owner thread only, without a lock.
//   playback          one per opened stream (null while closed). `lock` guards everything in
//                     it and the loudness choice; only the owner replaces the pointer (under
//                     `lock`), so the owner may test it without the lock.
//   shown             published under `lock` whenever what is heard changes; getters read it.
//   liveStream        under `liveLock`, which the worker holds while it waits for a station.
//   soundOut, window, thread, frameCounter  have locks of their own.
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

    // Hidden-window messages, on the owner thread.
    void HandleWindowMessage(TMPMessage& message);
    // TM_WAKE on the worker: one frame decoded and offered to the output.
    void DecodeStep();

    // Owner thread.
    // Closes what is open and opens `stream` (see TMP3Player::OpenStream); `name` is the
    // location it came from.
    void OpenPlayback(TMPStream* stream, uint8_t flags, const std::string& name);
    void SetStatus(TMP3PlayerStatus status);
    bool StreamOpen() const { return playback != nullptr; }
    bool StreamSeekable() const { return playback && playback->Seekable(); }
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
    // queued after it (a seek or stop acts on what is heard); false when nothing was queued. A
    // heard file that no longer opens raises; the queued file then stays open, from its start.
    bool ReturnToHeard();
    // A file given to QueueNext is open or about to open while an earlier one is heard.
    bool QueuedAhead() const;
    // The snapshot of what is heard, from the playback; posts a change of status when the
    // owner's view of it changed.
    void Publish();
    // What the open file reports of itself.
    TShownFile Describe() const;

    // Owner thread. A change of the equalizer or of the loudness is to be heard at once: set by
    // the setters, taken by the next MP_EQUALIZER, which then plays again from the position heard
    // (the sound already queued has the old settings in it).
    bool replayChange = false;
    // Owner thread: a setting that shapes the sound changed. Only sound already queued is played
    // again; a change made before play starts is decoded with from the first frame.
    void NoteAudibleChange();
    void ReplayFromHeard();

    // Runs on a worker thread: hands an exception over to the owner thread as a notice; the
    // worker goes on at once.
    void HandOverException(const std::exception_ptr& error, bool& handled);
    // Owner thread: a background open failed; the owner hears it as a change of status, during
    // which LastError holds it.
    void ReportOpenFailure(TMP3PlayError error);
    // The title shown while nothing is open: the name part of FileName.
    std::string ClosedTitle() const;
    void NotifyPosition();

    TMP3Player& owner;
    TPlayerSettings settings;
    // Read by the worker before it asks the owner anything more.
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
    // Set on the stream's thread when its title or name changes; the worker notes the change
    // at the position it has decoded to.
    std::atomic<bool> titlesChanged{false};
    // Bytes a live stream must hold before a decode step: two of the largest frames and a
    // header, so that the step's reads (a change of format is told by two frames) never wait.
    static constexpr int32_t kLiveStepBytes = 2 * 1441 + 4;
    // The output held while a station's buffer fills (at the start of play, and whenever it ran
    // dry): set by the worker under `lock`, read by the owner for StationState.
    std::atomic<bool> liveHolding{false};
    // Bytes the worker waits for before a step: kLiveStepBytes, or a second of audio while held.
    std::atomic<int32_t> liveWant{kLiveStepBytes};
    int32_t liveRefillBytes = kLiveStepBytes; // under `lock`
    // The owner paused play (the worker must not let a held output go on by itself).
    std::atomic<bool> userPaused{false};
    // Worker, `lock` held: whether a decode step may read the station (`ready`: the bytes it
    // waited for are there); holds the output when the station's buffer and the output ran dry
    // and lets it go on once refilled.
    bool StationReady(TPlayback& p, bool ready);
    // Worker, `lock` held: the output is about to run out and the station has not sent enough
    // to keep it going.
    bool RunningDry(TPlayback& p);
    // Worker, `lock` held (let go while it waits): a station whose decoded format changed has
    // what was queued played out and the output opened again at the new format. False when a
    // stop, seek or close came meanwhile.
    bool FollowFormat(std::unique_lock<std::mutex>& held);
    // Owner thread: a station's audio rate known, its reconnection and hold begin.
    void StartStation(TMPLiveStream& live);

    // Set under `lock` by every owner operation that changes what a worker waiting with the lock
    // let go waits for (the answer for the next file, the last blocks to be played): an answer,
    // a stop, a seek, a pause. The worker resets it under `lock` before it waits.
    TMPSimpleEvent ownerActed;
    // The playback id of the worker's last decode step: an error handed over from the worker or
    // the output belongs to that playback.
    std::atomic<uint64_t> stepId{0};
    // Owner thread. The failure the owner may read (TMP3Player::LastError) while the handler of
    // the event that reports it runs; empty at any other time.
    std::optional<TMP3PlayError> lastError;
    // Owner thread. The failure the next OnEndPlay reports, and the playback that end is about
    // (the id it had before the stop): a failure of that playback that comes in before its end
    // is told goes with the end.
    std::optional<TMP3PlayError> endPlayError;
    uint64_t endingId = 0;
    bool endPending = false;
    // Failures handed over and not yet handled as MP_ERROR, by playback id: an end of play told
    // early (with a position notice queued before the failure's own notice) finds its failure
    // here. Under `handedOverLock`; any thread adds, the owner takes.
    std::mutex handedOverLock;
    std::vector<std::pair<uint64_t, std::exception_ptr>> handedOver;

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

    WindowTarget windowTarget_{*this};
    WorkerTarget workerTarget_{*this};
    std::atomic<uint64_t> lastId_{0};
    // The id the open playback had before its last renewal (`lock`).
    uint64_t previousId_ = 0;
    // The open playback's id (0: none), mirrored out of `lock` for the output thread's error
    // hand-over, which must never wait for `lock` (the owner holds it while closing the output).
    std::atomic<uint64_t> currentId_{0};
    // `lock` held by all of these.
    void AdvancePlayed();
    void CompleteChange();
    void NoteTitles(TPlayback& p);
    // Plays out what the output holds, letting the lock go meanwhile so that a pause or a stop is
    // not held up; false when a stop or seek made meanwhile replaced the playback's id.
    bool PlayOutQueued(std::unique_lock<std::mutex>& held);
    bool FinishEndOfData(std::unique_lock<std::mutex>& held);
    bool ContinueWithNext(std::unique_lock<std::mutex>& held);
    bool ChangeToNext(const std::string& name);
    std::string TitleNow(const TPlayback& p) const;
    // Owner thread.
    void DeliverStatus();
    void DeliverEndPlay();

public:
    // Declared last: the worker and the output thread end before the state they use goes.
    TMPMessageWindow window{windowTarget_};
    TSoundOut soundOut;
    TMPThread thread{workerTarget_};
    // Started and cancelled under `lock`; its thread only posts to `window`, so it ends first.
    TFrameCounter frameCounter;
    // Opens a station or a pipe in the background (owner thread); its threads only post to
    // `window`, and end before it goes.
    TLocationOpener opener{[this](uint64_t id) { window.PostPlain(MP_OPENED, uintptr_t(id)); }};
};

} // namespace pt4
