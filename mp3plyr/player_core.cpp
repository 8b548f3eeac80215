#include "mp3plyr/player_core.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/input/file_stream.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/player_opening.h"
#include "mp3plyr/runtime/exception_display.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

namespace pt4 {

TMP3PlayerCore::TMP3PlayerCore(TMP3Player& player) : owner(player), source(decoder)
{
    soundOut.NotifyInterval = changePosStep;
    soundOut.OnException = [this](const void*, const std::exception_ptr& error, bool& handled) {
        HandOverException(error, handled);
    };
    soundOut.SetOnNotify([this](TSoundOut&) { NotifyPosition(); });
    thread.OnException = [this](const void*, const std::exception_ptr& error, bool& handled) {
        HandOverException(error, handled);
    };
    thread.Resume();
}

TMP3PlayerCore::~TMP3PlayerCore()
{
    window.Destroy();
}

void TMP3PlayerCore::SetStatus(TMP3PlayerStatus newStatus)
{
    const bool endOfPlay =
        StreamOpen() && status != TMP3PlayerStatus::mpsStopped && newStatus == TMP3PlayerStatus::mpsStopped;
    status = newStatus;
    window.PostUnique(MP_STATUS);
    if (endOfPlay)
        window.PostUnique(MP_END_PLAY);
}

void TMP3PlayerCore::ResetCounters()
{
    pcmPending = 0;
    source.ForgetPendingFrame();
    playedBytes = 0;
    writtenBytes = 0;
    positionMs = 0;
    nextState = TNextState::None;
    nextFileName.clear();
    if (!heard.empty()) {
        // What was queued of the previous files is gone: the new file is the one heard now.
        heard.clear();
        window.PostUnique(MP_STATUS);
    }
}

void TMP3PlayerCore::UpdatePosition()
{
    std::lock_guard held(lock);
    CountPlayed();
}

void TMP3PlayerCore::CountPlayed()
{
    if (!soundOut.Active())
        return;
    try {
        AdvancePlayed();
    } catch (const EMP3Error&) {
        // A lost sound server: the position stays where it was. The worker's next write reports
        // the loss once and ends play; a position query per timer tick must not repeat it.
        return;
    }
}

void TMP3PlayerCore::AdvancePlayed()
{
    playedBytes += soundOut.GetDoneBytes();
    while (!heard.empty() && playedBytes >= heard.front().EndBytes)
        CompleteChange();
    const int64_t bitsPerSecond =
        int64_t(soundOut.SampleRate()) * soundOut.Channels() * soundOut.BitsPerSample();
    // A station played for 50 days holds at the largest position rather than wrap.
    if (bitsPerSecond > 0)
        positionMs = uint32_t(std::min<int64_t>(playedBytes * 1000 * 8 / bitsPerSecond, UINT32_MAX));
}

// The first sample of the next file is being heard: from here on the player shows it.
void TMP3PlayerCore::CompleteChange()
{
    const int64_t end = heard.front().EndBytes;
    heard.pop_front();
    playedBytes = std::max<int64_t>(playedBytes - end, 0);
    writtenBytes = std::max<int64_t>(writtenBytes - end, 0);
    for (THeardFile& later : heard)
        later.EndBytes -= end;
    window.PostUnique(MP_STATUS);
}

bool TMP3PlayerCore::ReturnToHeard()
{
    if (heard.empty())
        return false;
    const std::string name = heard.front().FileName;
    TOpenedLocation opened = OpenLocation(name);
    if (!opened.seekable)
        return false; // only seekable files are ever followed by another
    try {
        source.Open(opened.stream.get(), true);
    } catch (...) {
        // Changed on disk since it was heard: the open file stays, from its start.
        source.Open(inputStream, true);
        throw;
    }
    ownedStream = std::move(opened.stream);
    inputStream = ownedStream.get();
    streamFlags = kStreamSeekable | kStreamOwned;
    fileName = name;
    // The owner has been told nothing of the files dropped here: no change of status.
    heard.clear();
    pcmPending = 0;
    nextState = TNextState::None;
    nextFileName.clear();
    ApplyLoudness();
    StartFrameCount();
    window.PostUnique(MP_EQUALIZER);
    return true;
}

bool TMP3PlayerCore::QueuedAhead() const
{
    return !heard.empty() || (nextState == TNextState::Answered && !nextFileName.empty());
}

void TMP3PlayerCore::NotifyPosition()
{
    window.PostPlain(MP_POSITION);
}

// Runs on a worker thread: the exception is shown on the owner thread while the worker waits.
// The wait gives up when the owner itself is waiting for this worker (stop, destruction), so the
// two never wait for each other.
void TMP3PlayerCore::HandOverException(const std::exception_ptr& error, bool& handled)
{
    // Playback ends with this error: the worker must not run into the same failure again and
    // queue a second report while the first is on screen. A playback that the owner has started
    // since (after a stop) keeps its worker awake.
    const uint64_t generation = stepGeneration.load();
    if (generation == playGeneration.load())
        thread.WakeEvent.ResetEvent();
    auto shown = std::make_shared<TMPSimpleEvent>();
    TMPMessage message;
    message.Msg = MP_ERROR;
    message.WParam = uintptr_t(generation);
    message.Event = shown;
    message.Error = error;
    window.PostPlain(std::move(message));
    TMPThread::WaitForHandOver(*shown);
    handled = true;
}

void TMP3PlayerCore::HandleWindowMessage(TMPMessage& message)
{
    switch (message.Msg) {
    case MP_POSITION:
        window.PurgeMessages(MP_POSITION);
        UpdatePosition(); // notices a change of file that has become audible
        // Status and end-of-play notices already queued come first: when the owner reads the
        // position it has been told the status that goes with it (a stop's rewound position
        // follows the stop's own notices).
        if (window.PurgeMessages(MP_STATUS) > 0)
            DeliverStatus();
        if (window.PurgeMessages(MP_END_PLAY) > 0)
            DeliverEndPlay();
        if (owner.OnChangePosition && !destroying)
            owner.OnChangePosition(owner);
        break;
    case MP_ERROR:
        if (errorShownFor != message.WParam)
            ShowException(message.Error);
        errorShownFor = message.WParam;
        if (message.Event)
            message.Event->SetEvent();
        // An error of a playback that was stopped or moved before the notice arrived must not
        // stop the playback that followed.
        if (message.WParam != uintptr_t(playGeneration.load()))
            break;
        endPlayReason = TMP3EndPlayReason::mepError;
        owner.Stop();
        break;
    case MP_END_OF_STREAM:
        // A notice from a playback that was stopped or moved before it was delivered would
        // stop the playback that followed.
        if (message.WParam != uintptr_t(playGeneration.load()))
            break;
        endPlayReason = TMP3EndPlayReason::mepEndOfStream;
        {
            // Everything decoded has been played out: the open file is the one heard last.
            std::lock_guard held(lock);
            while (!heard.empty())
                CompleteChange();
        }
        if (StreamSeekable())
            owner.Stop();
        else
            owner.Close();
        break;
    case MP_STATUS:
        window.PurgeMessages(MP_STATUS);
        DeliverStatus();
        break;
    case MP_END_PLAY:
        window.PurgeMessages(MP_END_PLAY);
        DeliverEndPlay();
        break;
    case MP_NEED_NEXT: {
        // A change of file heard meanwhile reaches the owner first, so that it answers for the
        // file it knows as the current one.
        UpdatePosition();
        if (window.PurgeMessages(MP_STATUS) > 0)
            DeliverStatus();
        // The worker waits for the answer with the lock let go; the owner's handler runs
        // without it.
        uint64_t question = 0;
        const auto asked = [&] {
            std::lock_guard held(lock);
            question = nextQuestion;
            return nextState == TNextState::Asked && message.WParam == uintptr_t(playGeneration);
        };
        if (asked() && !destroying && owner.OnNeedNext)
            owner.OnNeedNext(owner);
        std::lock_guard held(lock);
        if (nextState == TNextState::Asked && message.WParam == uintptr_t(playGeneration) &&
            nextQuestion == question)
            nextState = TNextState::Answered; // no file named: play ends as usual
        ownerActed.SetEvent();
        break;
    }
    case MP_FRAME_COUNT:
        // A corrected length is news like a new file's: the owner reads it on a change of status.
        if (AdoptFrameCount())
            DeliverStatus();
        break;
    case MP_OPENED: FinishOpening(*this, message.WParam); break;
    case MP_EQUALIZER:
        window.PurgeMessages(MP_EQUALIZER);
        if (StreamOpen())
            UpdateGainTables();
        break;
    default: break;
    }
}

void TMP3PlayerCore::ReleaseLiveStream()
{
    TMPLiveStream* stream = liveStream;
    if (!stream)
        return;
    stream->SetOnTitlesChanged(nullptr);
    stream->Interrupt();
    std::lock_guard gate(liveLock);
    liveStream = nullptr;
}

void TMP3PlayerCore::StartFrameCount()
{
    frameCounter.Cancel();
    frameCount = 0;
    const auto* file = dynamic_cast<const TMPFileStream*>(inputStream);
    if (!file || !source.LengthEstimated())
        return;
    frameCount = frameCounter.Start(file->FileName(), source.IndexStart(),
                                    [this] { window.PostPlain(MP_FRAME_COUNT); });
}

bool TMP3PlayerCore::AdoptFrameCount()
{
    std::optional<TFrameCounter::TResult> result = frameCounter.Take();
    if (!result)
        return false;
    std::lock_guard held(lock);
    if (result->Count != frameCount || !StreamOpen())
        return false;
    const int32_t estimate = source.LengthMs();
    source.AdoptFrameIndex(std::move(result->Offsets));
    return source.LengthMs() != estimate;
}

void TMP3PlayerCore::DeliverStatus()
{
    if (owner.OnChangeStatus && !destroying)
        owner.OnChangeStatus(owner);
}

void TMP3PlayerCore::DeliverEndPlay()
{
    if (owner.OnEndPlay)
        owner.OnEndPlay(owner, endPlayReason);
    endPlayReason = TMP3EndPlayReason::mepStopped;
}

void TMP3PlayerCore::DecodeStep()
{
    {
        // Enough bytes for a frame are buffered before the step starts, so that the step's reads
        // never wait for the server while holding `lock`; until then the step is retried.
        std::lock_guard gate(liveLock);
        if (liveStream && !liveStream->WaitForData(kLiveStepBytes, std::chrono::milliseconds(100)))
            return;
    }
    std::unique_lock held(lock);
    stepGeneration = playGeneration.load();
    if (thread.WakeEvent.WaitFor(0) == kWaitTimeout)
        return; // an owner operation idled the worker meanwhile
    if (pcmPending == 0) {
        switch (source.ProduceFrame(pcmBuffer.data())) {
        case TFrameOutcome::EndOfData:
            if (ContinueWithNext(held))
                return;
            if (FinishEndOfData(held))
                window.PostPlain(MP_END_OF_STREAM, uintptr_t(playGeneration.load()));
            return;
        case TFrameOutcome::Skipped: return;
        case TFrameOutcome::Frame: pcmPending = source.LastFrameBytes(); break;
        }
    }
    if (soundOut.CanWrite()) {
        const int32_t taken = soundOut.Write(pcmBuffer.data(), pcmPending);
        pcmPending -= taken;
        writtenBytes += taken;
        std::memmove(pcmBuffer.data(), pcmBuffer.data() + taken, size_t(pcmPending));
        if (soundOut.FreeSpacePercent() <= 25)
            std::this_thread::yield();
    } else {
        thread.WakeEvent.ResetEvent();
        soundOut.SetNotifyEvent(&thread.WakeEvent);
        // A live stream buffers ahead on its own; a read-ahead here would wait for the server.
        if (!live)
            source.ReadAhead();
    }
}

// Asks the owner for the file to follow and, when it names one of the same output format, goes
// on with it in the same sound stream. True when decoding goes on (with the next file, or after
// a stop or seek made meanwhile); false when play is to end as usual. The lock is let go while
// the owner answers.
bool TMP3PlayerCore::ContinueWithNext(std::unique_lock<TMPCriticalSection>& held)
{
    using namespace std::chrono_literals;
    if (!StreamSeekable() || destroying)
        return false;
    const uint64_t generation = playGeneration;
    const auto interrupted = [&] {
        return playGeneration != generation || thread.WakeEvent.WaitFor(0) == kWaitTimeout;
    };
    if (nextState == TNextState::None) {
        nextState = TNextState::Asked;
        ++nextQuestion;
        nextFileName.clear();
        window.PostPlain(MP_NEED_NEXT, uintptr_t(generation));
    }
    // An owner that does not answer within a second (a modal dialog, say) gets the usual end.
    const auto deadline = std::chrono::steady_clock::now() + 1s;
    while (nextState == TNextState::Asked) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        ownerActed.ResetEvent();
        held.unlock();
        ownerActed.WaitFor(int32_t(left.count()));
        held.lock();
        if (interrupted())
            return true;
    }
    nextState = TNextState::Answered;
    const std::string name = std::move(nextFileName);
    nextFileName.clear();
    return !name.empty() && ChangeToNext(name);
}

// Opens `name` in place of the exhausted file. A file that does not open, or plays in another
// output format, is left to the owner's usual handling after this one has ended.
bool TMP3PlayerCore::ChangeToNext(const std::string& name)
{
    std::unique_ptr<TMPStream> stream;
    try {
        // Measured first with a decoder of its own, so that a file that fails leaves the open
        // one as it is.
        TMPFileStream probeStream(name);
        auto probeDecoder = std::make_unique<DecoderState>();
        TMPFrameSource probe(*probeDecoder);
        probe.Open(&probeStream, true);
        const TDecoderInfo& next = probe.OutputInfo();
        const TDecoderInfo& now = source.OutputInfo();
        if (next.SampleRate != now.SampleRate || next.Channels != now.Channels || next.Bits != now.Bits)
            return false;
        stream = std::make_unique<TMPFileStream>(name);
    } catch (const std::exception&) {
        return false;
    }
    THeardFile previous{fileName, TitleNow(), source.Info().GetArtist(), uint32_t(source.LengthMs()),
                        writtenBytes};
    try {
        source.Open(stream.get(), true);
    } catch (const std::exception&) {
        return false; // unreachable in practice: the probe opened the same bytes
    }
    heard.push_back(std::move(previous));
    ownedStream = std::move(stream);
    inputStream = ownedStream.get();
    streamFlags = kStreamSeekable | kStreamOwned;
    fileName = name;
    pcmPending = 0;
    nextState = TNextState::None;
    ApplyLoudness();
    StartFrameCount();
    window.PostUnique(MP_EQUALIZER);
    return true;
}

std::string TMP3PlayerCore::TitleNow() const
{
    std::string title = StreamOpen() ? source.Info().GetTitle() : std::string();
    if (title.empty() && !fileName.empty())
        title = std::filesystem::path(fileName).filename().string();
    return title;
}

// Plays out what is queued and idles the worker. The lock is let go while it waits, so that
// pause, resume, stop and seek are not held up by the last two seconds of sound (a paused output
// would otherwise never finish while the owner waits for the lock to resume it). False when a
// stop or seek made meanwhile means the end of data no longer holds.
bool TMP3PlayerCore::FinishEndOfData(std::unique_lock<TMPCriticalSection>& held)
{
    const uint64_t generation = playGeneration;
    soundOut.SetNotifyEvent(nullptr);
    soundOut.Flush();
    while (!soundOut.WaitForDone(0)) {
        ownerActed.ResetEvent();
        held.unlock();
        soundOut.WaitForDoneOr(ownerActed);
        held.lock();
        if (playGeneration != generation || thread.WakeEvent.WaitFor(0) == kWaitTimeout)
            return false;
    }
    thread.WakeEvent.ResetEvent();
    return true;
}

} // namespace pt4
