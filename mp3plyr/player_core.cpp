#include "mp3plyr/player_core.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/output/exception_display.h"

#include <cstring>
#include <mutex>
#include <thread>

namespace pt4 {

TMP3PlayerCore::TMP3PlayerCore(TMP3Player& player) : owner(player), decoder(SharedDecoder()), source(decoder)
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

TMP3PlayerCore::~TMP3PlayerCore() { window.Destroy(); }

void TMP3PlayerCore::SetStatus(TMP3PlayerStatus newStatus)
{
    const bool endOfPlay = StreamOpen() && status != TMP3PlayerStatus::mpsStopped &&
                           newStatus == TMP3PlayerStatus::mpsStopped;
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
    positionMs = 0;
}

void TMP3PlayerCore::UpdatePosition()
{
    std::lock_guard held(lock);
    if (!soundOut.Active())
        return;
    try {
        playedBytes += soundOut.GetDoneBytes();
    } catch (const EMP3Error&) {
        // A lost sound server: the position stays where it was. The worker's next write reports
        // the loss once and ends play; a position query per timer tick must not repeat it.
        return;
    }
    const int64_t bitsPerSecond =
        int64_t(soundOut.SampleRate()) * soundOut.Channels() * soundOut.BitsPerSample();
    if (bitsPerSecond > 0)
        positionMs = uint32_t(playedBytes * 1000 * 8 / bitsPerSecond);
}

void TMP3PlayerCore::NotifyPosition() { window.PostPlain(MP_POSITION); }

// Runs on a worker thread: the exception is shown on the owner thread while the worker waits.
// The wait gives up when the owner itself is waiting for this worker (stop, destruction), so the
// two never wait for each other.
void TMP3PlayerCore::HandOverException(const std::exception_ptr& error, bool& handled)
{
    // Playback ends with this error: the worker must not run into the same failure again and
    // queue a second report while the first is on screen.
    thread.WakeEvent.ResetEvent();
    auto shown = std::make_shared<TMPSimpleEvent>();
    TMPMessage message;
    message.Msg = MP_ERROR;
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
        if (owner.OnChangePosition && !destroying)
            owner.OnChangePosition(owner);
        break;
    case MP_ERROR:
        ShowException(message.Error);
        if (message.Event)
            message.Event->SetEvent();
        endPlayReason = TMP3EndPlayReason::mepError;
        owner.Stop();
        break;
    case MP_END_OF_STREAM:
        // A notice from a playback that was stopped or moved before it was delivered would
        // stop the playback that followed.
        if (message.WParam != uintptr_t(playGeneration))
            break;
        endPlayReason = TMP3EndPlayReason::mepEndOfStream;
        if (StreamSeekable())
            owner.Stop();
        else
            owner.Close();
        break;
    case MP_STATUS:
        window.PurgeMessages(MP_STATUS);
        if (owner.OnChangeStatus && !destroying)
            owner.OnChangeStatus(owner);
        break;
    case MP_END_PLAY:
        window.PurgeMessages(MP_END_PLAY);
        if (owner.OnEndPlay)
            owner.OnEndPlay(owner, endPlayReason);
        endPlayReason = TMP3EndPlayReason::mepStopped;
        break;
    case MP_EQUALIZER:
        window.PurgeMessages(MP_EQUALIZER);
        if (StreamOpen())
            UpdateGainTables();
        break;
    default:
        break;
    }
}

void TMP3PlayerCore::DecodeStep()
{
    std::unique_lock held(lock);
    if (thread.WakeEvent.WaitFor(0) == kWaitTimeout)
        return; // an owner operation idled the worker meanwhile
    if (pcmPending == 0) {
        switch (source.ProduceFrame(pcmBuffer.data())) {
        case TFrameOutcome::EndOfData:
            if (FinishEndOfData(held))
                window.PostPlain(MP_END_OF_STREAM, uintptr_t(playGeneration));
            return;
        case TFrameOutcome::Skipped:
            return;
        case TFrameOutcome::Frame:
            pcmPending = source.LastFrameBytes();
            break;
        }
    }
    if (soundOut.CanWrite()) {
        const int32_t taken = soundOut.Write(pcmBuffer.data(), pcmPending);
        pcmPending -= taken;
        std::memmove(pcmBuffer.data(), pcmBuffer.data() + taken, size_t(pcmPending));
        if (soundOut.FreeSpacePercent() <= 25)
            std::this_thread::yield();
    } else {
        thread.WakeEvent.ResetEvent();
        soundOut.SetNotifyEvent(&thread.WakeEvent);
        source.ReadAhead();
    }
}

// Plays out what is queued and idles the worker. The lock is let go between short waits, so
// that pause, resume, stop and seek are not held up by the last two seconds of sound (a paused
// output would otherwise never finish while the owner waits for the lock to resume it). False
// when a stop or seek made meanwhile means the end of data no longer holds.
bool TMP3PlayerCore::FinishEndOfData(std::unique_lock<TMPCriticalSection>& held)
{
    const uint64_t generation = playGeneration;
    soundOut.SetNotifyEvent(nullptr);
    soundOut.Flush();
    while (!soundOut.WaitForDone(100)) {
        held.unlock();
        std::this_thread::yield();
        held.lock();
        if (playGeneration != generation || thread.WakeEvent.WaitFor(0) == kWaitTimeout)
            return false;
    }
    thread.WakeEvent.ResetEvent();
    return true;
}

} // namespace pt4
