// The player's state and its two message targets: the hidden window (owner thread) and the
// decode worker. TMP3Player's operations work on it; nothing outside mp3plyr/ sees it.
#pragma once

#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/frame_counter.h"
#include "mp3plyr/frame_source.h"
#include "mp3plyr/input/live_stream.h"
#include "mp3plyr/location_opener.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/output/sound_out.h"
#include "mp3plyr/runtime/critical_section.h"
#include "mp3plyr/runtime/message_window.h"
#include "mp3plyr/runtime/thread.h"

#include <array>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
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

    void SetStatus(TMP3PlayerStatus status);
    void ResetCounters();
    void UpdatePosition();
    void UpdateGainTables();
    // The loudness gain of the open stream for the mode, into the decoder: at once (an atomic
    // value the decoder reads per frame), so a file's first frames play at its own loudness.
    void ApplyLoudness();
    // Counts the frames of a local file whose length is only estimated (the lock is held).
    void StartFrameCount();
    // Takes a finished count as the open stream's index and length (owner thread); true when
    // the length changed.
    bool AdoptFrameCount();
    void NotifyPosition();
    void HandOverException(const std::exception_ptr& error, bool& handled);
    // Counts what the output played; the lock is held.
    void AdvancePlayed();
    // As AdvancePlayed, when the output is open; a lost sound server leaves the count as it was.
    void CountPlayed();
    bool StreamOpen() const { return inputStream != nullptr; }
    bool StreamSeekable() const { return (streamFlags & kStreamSeekable) != 0; }
    // Makes a live stream's waiting reads give up, detaches its title notices and forgets it;
    // the stream itself is freed by the caller afterwards.
    void ReleaseLiveStream();

    TMP3Player& owner;

    // Published properties.
    bool autoOpen = true;
    bool autoPlay = true;
    int32_t changePosStep = 400;
    std::string fileName;
    int32_t volBalance = 0;
    uint32_t volume = 100;
    TMP3CpuCapabilities usingCpuCapabilities = mccAll;
    bool equalizerEnabled = false;
    int32_t equalizerCount = 6;
    TMP3EqualizerMode equalizerMode = TMP3EqualizerMode::memSubBand;
    std::array<int32_t, 32> equalizerValues{};
    std::array<int32_t, 32> equalizerFrequencies{};
    // Loudness normalisation: written on the owner thread under `lock`; ApplyLoudness carries
    // it to the decoder.
    TReplayGainMode replayGainMode = TReplayGainMode::Off;
    double replayGainPreampDb = 0.0;
    bool playsAlbum = false;
    std::string waveFileName;

    // Component state.
    bool loading = false;
    bool destroying = false;
    TMP3PlayerStatus status = TMP3PlayerStatus::mpsStopped;
    TMP3EndPlayReason endPlayReason = TMP3EndPlayReason::mepEndOfStream;
    // The playback whose failure was last shown: its workers may each run into the same failure
    // (a lost server), and it is shown once.
    std::optional<uintptr_t> errorShownFor;

    // The open stream.
    TMPStream* inputStream = nullptr;
    std::unique_ptr<TMPStream> ownedStream;
    // The open stream when it is fed from outside at its own pace. The worker waits for its
    // data without holding `lock`, under `liveLock`, so that a slow server never holds up an
    // owner operation.
    TMPLiveStream* liveStream = nullptr;
    std::mutex liveLock;
    // Whether the open stream is live; read by the worker under `lock`.
    bool live = false;
    // Bytes a live stream must hold before a decode step: the largest frame and the next header,
    // with room to spare.
    static constexpr int32_t kLiveStepBytes = 2048;
    uint8_t streamFlags = 0;
    std::vector<uint8_t> pcmBuffer;
    int32_t pcmPending = 0;
    int64_t playedBytes = 0;
    uint32_t positionMs = 0;
    // Bytes handed to the output, on the same scale as playedBytes.
    int64_t writtenBytes = 0;

    // The next file, asked of the owner when the data runs out (see TMP3Player::OnNeedNext).
    enum class TNextState { None, Asked, Answered };
    TNextState nextState = TNextState::None;
    std::string nextFileName;
    // Counts the worker's questions, so that the owner's "no answer" goes to the question it
    // was asked and not to the next one, asked meanwhile by a worker that went on at once.
    uint64_t nextQuestion = 0;
    // Files whose end still plays after a change of file, oldest first: what is heard, and
    // where (in writtenBytes) the file after each starts. Short files can queue more than one.
    struct THeardFile {
        std::string FileName, Title, Artist;
        uint32_t LengthMs = 0;
        int64_t EndBytes = 0;
    };
    std::deque<THeardFile> heard;
    void CompleteChange();
    // Makes the file being heard the open one again, dropping what was decoded of the files
    // queued after it (a seek or stop acts on what is heard); false when nothing was queued.
    // The lock is held. A heard file that no longer opens raises; the queued file then stays
    // open, from its start.
    bool ReturnToHeard();
    // A file given to QueueNext is open or about to open while an earlier one is heard.
    bool QueuedAhead() const;
    std::string TitleNow() const;
    // Bumped by every stop and seek, so a decode step that let go of the lock while it waited
    // for the last blocks knows that its end of data is no longer current.
    std::atomic<uint64_t> playGeneration{0};
    // The generation of the last decode step: an error handed over from the worker or the
    // output belongs to that playback.
    std::atomic<uint64_t> stepGeneration{0};
    // Set under `lock` by every owner operation that changes what a worker waiting with the lock
    // let go waits for (the answer for the next file, the last blocks to be played): an answer,
    // a stop, a seek, a pause. The worker resets it under `lock` before it waits.
    TMPSimpleEvent ownerActed;
    // The output of the current play goes into a WAVE file.
    bool playingToFile = false;

    // This player's own decoder: players in one process never share decoding buffers.
    std::unique_ptr<DecoderState> decoderState = std::make_unique<DecoderState>();
    DecoderState& decoder = *decoderState;
    TMPFrameSource source;
    mutable TMPCriticalSection lock;

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
    bool FinishEndOfData(std::unique_lock<TMPCriticalSection>& held);
    bool ContinueWithNext(std::unique_lock<TMPCriticalSection>& held);
    bool ChangeToNext(const std::string& name);
    void DeliverStatus();
    void DeliverEndPlay();

public:
    // Declared last: the worker and the output thread end before the state they use goes.
    TMPMessageWindow window{windowTarget_};
    TSoundOut soundOut;
    TMPThread thread{workerTarget_};
    // Started and cancelled under `lock`; its thread only posts to `window`, so it ends first.
    TFrameCounter frameCounter;
    uint64_t frameCount = 0; // the count that belongs to the open stream; under `lock`
    // Opens a station or a pipe in the background (owner thread); its threads only post to
    // `window`, and end before it goes.
    TLocationOpener opener{[this](uint64_t id) { window.PostPlain(MP_OPENED, uintptr_t(id)); }};
};

} // namespace pt4
