// The player core's transport: opening and closing a stream, play, pause, resume, stop and seek,
// and the file to follow, each a transition of the one transport state.
#include "mp3plyr/errors.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/player/player_core.h"

#include <mutex>

namespace pt4 {

TMP3PlayerStatus TMP3PlayerCore::Status() const
{
    switch (transport_) {
    case TTransport::Playing: return TMP3PlayerStatus::mpsPlaying;
    case TTransport::Paused: return TMP3PlayerStatus::mpsPaused;
    default: return TMP3PlayerStatus::mpsStopped;
    }
}

TMP3PlayerCapabilities TMP3PlayerCore::Capabilities() const
{
    const TMP3PlayerCapabilities seek = StreamSeekable() ? mpcSeek : 0;
    switch (transport_) {
    case TTransport::Closed:
    case TTransport::Connecting: return mpcOpen;
    case TTransport::Stopped: return mpcOpen | mpcClose | mpcPlay | mpcIdle;
    case TTransport::Playing: return mpcOpen | mpcClose | mpcStop | mpcPause | seek;
    case TTransport::Paused: return mpcOpen | mpcClose | mpcStop | mpcResume | seek;
    }
    return mpcOpen;
}

void TMP3PlayerCore::Open()
{
    if (settings.fileName.empty()) {
        Close();
        return;
    }
    const std::string name = settings.fileName;
    if (TLocationOpener::OpensInBackground(name)) {
        // A server or a writer may keep it waiting: it opens on a thread of its own.
        CancelOpening();
        CloseStream();
        StartOpening();
        return;
    }
    TOpenedLocation opened = OpenLocation(name);
    OpenPlayback(opened.stream.release(), uint8_t((opened.seekable ? kStreamSeekable : 0) | kStreamOwned),
                 name);
}

void TMP3PlayerCore::OpenPlayback(TMPStream* stream, uint8_t flags, const std::string& name)
{
    std::unique_ptr<TMPStream> owned((flags & kStreamOwned) ? stream : nullptr);
    if (CancelOpening() || StreamOpen())
        settings.fileName.clear();
    CloseStream();
    if (stream) {
        // Measured before the worker can see it: with nothing open the worker idles.
        auto opened = std::make_unique<TPlayback>(decoder, NewId(), (flags & kStreamSeekable) != 0);
        opened->FileName = name;
        opened->Stream = stream;
        opened->OwnedStream = std::move(owned);
        opened->Live = dynamic_cast<TMPLiveStream*>(stream);
        try {
            opened->Source->Open(stream, opened->Seekable());
        } catch (...) {
            // Nothing is open now, and nothing is named: the failed name is not kept.
            settings.fileName.clear();
            Enter(TTransport::Closed);
            throw;
        }
        settings.fileName = name;
        TMPLiveStream* live = opened->Live;
        {
            std::lock_guard held(lock);
            playback = std::move(opened);
            Renew();
            const TDecoderInfo& info = playback->Source->OutputInfo();
            soundOut.SetSampleRate(info.SampleRate);
            soundOut.SetBitsPerSample(info.Bits);
            soundOut.SetChannels(info.Channels);
            ApplyLoudness();
            StartFrameCount();
            if (live) {
                // The station's first title came with its answer, before anyone listened.
                titlesChanged = true;
                NoteTitles(*playback);
            }
            Publish();
        }
        if (live) {
            {
                std::lock_guard gate(liveLock);
                liveStream = live;
            }
            // A new title is noted by the worker where it has decoded to, and announced as a
            // change of status once it is heard, as a new file would be.
            live->SetOnTitlesChanged([this] { titlesChanged = true; });
            StartStation(*live);
        }
        window.PostUnique(MP_EQUALIZER);
        Enter(TTransport::Stopped);
    }
    if (settings.autoPlay)
        Play();
}

void TMP3PlayerCore::Close()
{
    const bool named = CancelOpening() || StreamOpen();
    CloseStream();
    if (named)
        settings.fileName.clear();
}

void TMP3PlayerCore::CloseStream()
{
    if (!StreamOpen())
        return;
    if (transport_ != TTransport::Stopped)
        Stop();
    ReleaseLiveStream();
    std::unique_ptr<TPlayback> gone;
    {
        std::lock_guard held(lock);
        frameCounter.Cancel();
        ForgetNext();
        gone = TakePlayback();
    }
    gone.reset(); // outside the lock: a station's stream may take a moment to let go
    Enter(TTransport::Closed);
}

void TMP3PlayerCore::Play()
{
    if (transport_ == TTransport::Connecting) {
        opener.PlayWhenOpened();
        return;
    }
    if (transport_ != TTransport::Stopped)
        return;
    userPaused = false;
    try {
        {
            std::lock_guard held(lock);
            soundOut.SetOnNotify([this](TSoundOut&) { NotifyPosition(); });
            soundOut.SetWaveFileName(settings.waveFileName);
            playback->PlayingToFile = !settings.waveFileName.empty();
            soundOut.Open();
        }
        Wake();
    } catch (...) {
        Stop();
        throw;
    }
    Enter(TTransport::Playing);
    settings.endPlayReason = TMP3EndPlayReason::mepStopped;
    window.PostUnique(MP_POSITION);
}

void TMP3PlayerCore::Pause()
{
    if (transport_ != TTransport::Playing)
        return;
    std::lock_guard held(lock);
    soundOut.Pause();
    userPaused = true;
    if (liveStream)
        liveStream->SetPaused(true); // taken in meanwhile, so that Resume goes on from here
    if (playback->PlayingToFile) {
        // A file cannot pause: the worker idles instead until Resume wakes it.
        soundOut.SetNotifyEvent(nullptr);
        Idle();
        ownerActed.SetEvent();
    }
    Enter(TTransport::Paused);
}

void TMP3PlayerCore::Resume()
{
    if (transport_ != TTransport::Paused)
        return;
    std::lock_guard held(lock);
    userPaused = false;
    if (liveStream)
        liveStream->SetPaused(false);
    if (!liveHolding) // a station still filling its buffer goes on once it has
        soundOut.Unpause();
    Wake();
    Enter(TTransport::Playing);
}

void TMP3PlayerCore::Stop()
{
    if (CancelOpening()) {
        settings.fileName.clear();
        return;
    }
    if (transport_ != TTransport::Playing && transport_ != TTransport::Paused)
        return;
    std::exception_ptr closeError; // a WAVE file that could not be finished: reported once stopped
    {
        std::lock_guard held(lock);
        CountPlayed(); // a change of file heard by now counts before the stop
        Renew();
        ownerActed.SetEvent();
        soundOut.SetOnNotify(nullptr);
        soundOut.Reset();
        try {
            soundOut.Close();
        } catch (...) {
            closeError = std::current_exception();
        }
        Idle();
        try {
            ReturnToHeard(); // the file rewound is the one heard, not the next one queued
        } catch (const std::exception&) {
            // The heard file is gone from disk: the open file is rewound instead.
        }
        playback->Source->Rewind();
        ResetCounters();
    }
    Enter(TTransport::Stopped);
    window.PostUnique(MP_POSITION);
    if (!StreamSeekable())
        Close();
    if (closeError)
        std::rethrow_exception(closeError);
}

void TMP3PlayerCore::Seek(int32_t ms)
{
    MP_ASSERT(StreamSeekable());
    if (ms < 0 || !(Capabilities() & mpcSeek))
        return;
    {
        std::lock_guard held(lock);
        CountPlayed(); // a change of file heard by now counts before the seek
        try {
            ReturnToHeard(); // the seek is in the file heard; what was decoded of the next goes
        } catch (const std::exception&) {
            // The heard file is gone from disk: the seek is in the open file instead.
        }
        Renew();
        ownerActed.SetEvent();
        soundOut.SetOnNotify(nullptr);
        const bool wasPaused = transport_ == TTransport::Paused;
        soundOut.Reset();
        soundOut.WaitForDone();
        soundOut.GetDoneBytes(); // what the old position played counts no more
        ResetCounters();

        TPlayback& p = *playback;
        const TDecoderInfo& info = p.Source->OutputInfo();
        const int64_t landed = p.Source->SeekToTime(ms);
        p.PlayedBytes = landed * (int64_t(info.Channels) * info.Bits / 8);
        p.WrittenBytes = p.PlayedBytes;

        if (wasPaused) {
            Idle();
            soundOut.Pause();
        } else {
            // The worker may have idled at the end of the data; its end notice no longer holds
            // (it belongs to the playback before the seek), so decoding must go on from here.
            Wake();
        }
        soundOut.SetOnNotify([this](TSoundOut&) { NotifyPosition(); });
    }
    window.PostUnique(MP_POSITION);
}

uint32_t TMP3PlayerCore::Position()
{
    std::lock_guard held(lock);
    CountPlayed();
    return playback ? playback->PositionMs : 0;
}

void TMP3PlayerCore::QueueNext(const std::string& fileName)
{
    std::lock_guard held(lock);
    if (!playback || playback->Next != TPlayback::TNext::Asked)
        return;
    TPlayback& p = *playback;
    p.NextFileName = fileName;
    if (fileName.empty() || TLocationOpener::OpensInBackground(fileName)) {
        // Only a local file follows without a gap; anything else is opened as usual once the
        // file before has ended.
        p.Next = TPlayback::TNext::Declined;
    } else {
        p.Next = TPlayback::TNext::Preparing;
        p.NextAttempt = opener.StartNext(fileName);
    }
    ownerActed.SetEvent();
}

void TMP3PlayerCore::FinishNext(TOpenResult result, uint64_t id)
{
    std::lock_guard held(lock);
    if (!playback || playback->Next != TPlayback::TNext::Preparing || playback->NextAttempt != id)
        return; // dropped meanwhile
    TPlayback& p = *playback;
    // A file that does not open, or plays in another output format, is left to the owner's usual
    // handling once this one has ended.
    p.Next = TPlayback::TNext::Declined;
    if (!result.Error && result.Probed.Source) {
        const TDecoderInfo& next = result.Probed.Source->OutputInfo();
        const TDecoderInfo& now = p.Source->OutputInfo();
        if (next.SampleRate == now.SampleRate && next.Channels == now.Channels && next.Bits == now.Bits) {
            p.NextDecoder = std::move(result.Probed.Decoder);
            p.NextSource = std::move(result.Probed.Source);
            p.NextStream = std::move(result.Stream);
            p.Next = TPlayback::TNext::Ready;
        }
    }
    ownerActed.SetEvent();
}

bool TMP3PlayerCore::QueuedAhead()
{
    std::lock_guard held(lock);
    return playback && (!playback->Heard.empty() || playback->NextNamed());
}

void TMP3PlayerCore::DropQueued()
{
    bool decoded = false;
    {
        std::lock_guard held(lock);
        if (!playback)
            return;
        CountPlayed();
        decoded = !playback->Heard.empty();
        if (!decoded) {
            // Nothing of it is decoded yet: the file heard plays on untouched.
            ForgetNext();
            ownerActed.SetEvent();
        }
    }
    // What was decoded of it goes: play goes on in the file heard, from where it is heard.
    if (decoded && (Capabilities() & mpcSeek))
        Seek(int32_t(Position()));
}

} // namespace pt4
