// TMP3Player: properties, states, events and the transport operations.
#include "mp3plyr/mp3plyr.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/player_core.h"
#include "mp3plyr/player_opening.h"
#include "mp3plyr/synth/cpu_capabilities.h"

#include <filesystem>
#include <mutex>

namespace pt4 {

TMP3Player::TMP3Player() : core_(std::make_unique<TMP3PlayerCore>(*this)) {}

TMP3Player::~TMP3Player()
{
    core_->destroying = true;
    // A WAVE file that cannot be finished has nobody left to tell.
    try {
        Stop();
    } catch (...) {
    }
    try {
        Close();
    } catch (...) {
    }
}

TMPMessageWindow& TMP3Player::MessageWindow()
{
    return core_->window;
}

void TMP3Player::BeginLoading()
{
    core_->loading = true;
}

void TMP3Player::Loaded()
{
    core_->loading = false;
    if (core_->equalizerMode == TMP3EqualizerMode::memFreq)
        SetEqualizerRange(60, 16000);
    if (core_->autoOpen && !core_->fileName.empty())
        Open();
}

bool TMP3Player::AutoOpen() const
{
    return core_->autoOpen;
}

void TMP3Player::SetAutoOpen(bool value)
{
    core_->autoOpen = value;
    if (value && !core_->loading)
        Open();
}

bool TMP3Player::AutoPlay() const
{
    return core_->autoPlay;
}

void TMP3Player::SetAutoPlay(bool value)
{
    core_->autoPlay = value;
    if (value && core_->StreamOpen() &&
        (core_->status == TMP3PlayerStatus::mpsStopped || core_->status == TMP3PlayerStatus::mpsPaused))
        Play();
}

int32_t TMP3Player::ChangePosStep() const
{
    return core_->changePosStep;
}

void TMP3Player::SetChangePosStep(int32_t ms)
{
    if (ms < 100)
        return;
    core_->changePosStep = ms;
    core_->soundOut.NotifyInterval = ms;
}

std::string TMP3Player::FileName() const
{
    std::lock_guard held(core_->lock);
    return core_->heard.empty() ? core_->fileName : core_->heard.front().FileName;
}

bool TMP3Player::QueuedAhead() const
{
    std::lock_guard held(core_->lock);
    return core_->QueuedAhead();
}

void TMP3Player::QueueNext(const std::string& fileName)
{
    TMP3PlayerCore& c = *core_;
    std::lock_guard held(c.lock);
    if (c.nextState != TMP3PlayerCore::TNextState::Asked)
        return;
    c.nextFileName = fileName;
    c.nextState = TMP3PlayerCore::TNextState::Answered;
    c.ownerActed.SetEvent();
}

void TMP3Player::SetFileName(const std::string& fileName)
{
    const std::string previous = core_->fileName;
    core_->fileName = fileName;
    if (!core_->autoOpen || core_->loading)
        return;
    try {
        Open();
    } catch (const EMP3Error& error) {
        // A location that could not be opened at all: nothing was opened or closed, and the
        // stream that is open keeps its own name.
        if (error.Kind() != TErrorKind::Open)
            throw;
        core_->fileName = previous;
        throw;
    }
}

TMP3CpuCapabilities TMP3Player::UsingCpuCapabilities() const
{
    return core_->usingCpuCapabilities;
}

void TMP3Player::SetUsingCpuCapabilities(TMP3CpuCapabilities value)
{
    SynthesisContext& context = core_->decoder.Output;
    SelectCapabilities(context, value & mccAll);
    core_->usingCpuCapabilities = TMP3CpuCapabilities(context.ActiveCapabilities.load() & mccAll);
}

int32_t TMP3Player::VolBalance() const
{
    return core_->volBalance;
}

void TMP3Player::SetVolBalance(int32_t value)
{
    if (value < -100 || value > 100)
        return;
    core_->volBalance = value;
    core_->soundOut.SetBalance(value);
}

uint32_t TMP3Player::Volume() const
{
    return core_->volume;
}

void TMP3Player::SetVolume(uint32_t value)
{
    if (value > 100)
        return;
    if (value == 0 && core_->loading) {
        // A stored layout's 0 means "as the system has it": the wave output keeps its volume
        // (full, unless set before), and the system's mixer decides.
        core_->volume = core_->soundOut.Volume();
        return;
    }
    core_->volume = value;
    core_->soundOut.SetVolume(value);
}

void TMP3Player::SetWaveFileName(const std::string& fileName)
{
    core_->waveFileName = fileName;
}

TMP3PlayerCapabilities TMP3Player::Capabilities() const
{
    const TMP3PlayerCore& c = *core_;
    const bool open = c.StreamOpen();
    const bool playing = c.status == TMP3PlayerStatus::mpsPlaying;
    const bool paused = c.status == TMP3PlayerStatus::mpsPaused;
    const bool stopped = c.status == TMP3PlayerStatus::mpsStopped;
    TMP3PlayerCapabilities caps = mpcOpen;
    if (open)
        caps |= mpcClose;
    if (open && stopped)
        caps |= mpcPlay | mpcIdle;
    if (playing || paused)
        caps |= mpcStop;
    if (playing)
        caps |= mpcPause;
    if (paused)
        caps |= mpcResume;
    if (c.StreamSeekable() && (playing || paused))
        caps |= mpcSeek;
    return caps;
}

bool TMP3Player::Connecting() const
{
    return core_->opener.Busy();
}

TMP3PlayerStatus TMP3Player::Status() const
{
    return core_->status;
}

void TMP3Player::Open()
{
    if (core_->fileName.empty()) {
        Close();
        return;
    }
    const std::string name = core_->fileName;
    if (TLocationOpener::OpensInBackground(name)) {
        // A server or a writer may keep it waiting: it opens on a thread of its own.
        Close();
        core_->fileName = name;
        StartOpening(*core_);
        return;
    }
    TOpenedLocation opened = OpenLocation(name);
    OpenStream(opened.stream.release(), uint8_t((opened.seekable ? kStreamSeekable : 0) | kStreamOwned));
    core_->fileName = name;
}

void TMP3Player::Close()
{
    TMP3PlayerCore& c = *core_;
    CancelOpening(c);
    if (!c.StreamOpen())
        return;
    if (c.status != TMP3PlayerStatus::mpsStopped)
        Stop();
    c.ReleaseLiveStream();
    {
        std::lock_guard held(c.lock);
        c.frameCounter.Cancel();
        c.frameCount = 0;
    }
    c.source.Close();
    c.pcmBuffer.clear();
    c.pcmBuffer.shrink_to_fit();
    c.fileName.clear();
    c.ownedStream.reset();
    c.inputStream = nullptr;
    c.streamFlags = 0;
    c.live = false;
    c.playedBytes = 0;
    c.positionMs = 0;
    c.SetStatus(TMP3PlayerStatus::mpsStopped);
}

void TMP3Player::Play()
{
    TMP3PlayerCore& c = *core_;
    if (c.opener.Busy()) {
        c.opener.PlayWhenOpened();
        return;
    }
    if (!(Capabilities() & mpcPlay))
        return;
    try {
        {
            std::lock_guard held(c.lock);
            c.soundOut.SetOnNotify([&c](TSoundOut&) { c.NotifyPosition(); });
            c.soundOut.SetWaveFileName(c.waveFileName);
            c.playingToFile = !c.waveFileName.empty();
            c.soundOut.Open();
        }
        c.thread.WakeEvent.SetEvent();
    } catch (...) {
        Stop();
        throw;
    }
    c.SetStatus(TMP3PlayerStatus::mpsPlaying);
    c.endPlayReason = TMP3EndPlayReason::mepStopped;
    c.window.PostUnique(MP_POSITION);
}

void TMP3Player::Pause()
{
    TMP3PlayerCore& c = *core_;
    if (!(Capabilities() & mpcPause))
        return;
    std::lock_guard held(c.lock);
    c.soundOut.Pause();
    if (c.playingToFile) {
        // A file cannot pause: the worker idles instead until Resume wakes it.
        c.soundOut.SetNotifyEvent(nullptr);
        c.thread.WakeEvent.ResetEvent();
        c.ownerActed.SetEvent();
    }
    c.SetStatus(TMP3PlayerStatus::mpsPaused);
}

void TMP3Player::Resume()
{
    TMP3PlayerCore& c = *core_;
    if (!(Capabilities() & mpcResume))
        return;
    std::lock_guard held(c.lock);
    c.soundOut.Unpause();
    c.thread.WakeEvent.SetEvent();
    c.SetStatus(TMP3PlayerStatus::mpsPlaying);
}

void TMP3Player::Stop()
{
    TMP3PlayerCore& c = *core_;
    if (CancelOpening(c) || !c.StreamOpen() || c.status == TMP3PlayerStatus::mpsStopped)
        return;
    std::exception_ptr closeError; // a WAVE file that could not be finished: reported once stopped
    {
        std::lock_guard held(c.lock);
        c.CountPlayed(); // a change of file heard by now counts before the stop
        ++c.playGeneration;
        c.ownerActed.SetEvent();
        c.soundOut.SetOnNotify(nullptr);
        c.soundOut.Reset();
        try {
            c.soundOut.Close();
        } catch (...) {
            closeError = std::current_exception();
        }
        c.thread.WakeEvent.ResetEvent();
        try {
            c.ReturnToHeard(); // the file rewound is the one heard, not the next one queued
        } catch (const std::exception&) {
            // The heard file is gone from disk: the open file is rewound instead.
        }
        c.source.Rewind();
        c.ResetCounters();
    }
    c.SetStatus(TMP3PlayerStatus::mpsStopped);
    c.window.PostUnique(MP_POSITION);
    if (!c.StreamSeekable())
        Close();
    if (closeError)
        std::rethrow_exception(closeError);
}

uint32_t TMP3Player::Position()
{
    core_->UpdatePosition();
    return core_->positionMs;
}

// The worker replaces the open file at a change of file: these read under the lock, and report
// the previous file for as long as its end is what is heard.
uint32_t TMP3Player::Length() const
{
    std::lock_guard held(core_->lock);
    if (!core_->heard.empty())
        return core_->heard.front().LengthMs;
    // A stream that cannot seek has no total time, even once its end has been read.
    return core_->StreamOpen() && core_->StreamSeekable() ? uint32_t(core_->source.LengthMs()) : 0;
}

std::string TMP3Player::Title() const
{
    std::lock_guard held(core_->lock);
    if (!core_->heard.empty())
        return core_->heard.front().Title;
    std::string title;
    if (core_->liveStream)
        title = core_->liveStream->StreamTitle();
    return title.empty() ? core_->TitleNow() : title;
}

std::string TMP3Player::Artist() const
{
    std::lock_guard held(core_->lock);
    if (!core_->heard.empty())
        return core_->heard.front().Artist;
    if (core_->liveStream) {
        std::string station = core_->liveStream->StationName();
        if (!station.empty())
            return station;
    }
    return core_->StreamOpen() ? core_->source.Info().GetArtist() : std::string();
}

int32_t TMP3Player::BitRate() const
{
    return core_->source.BitRate();
}
int32_t TMP3Player::OutSampleRate() const
{
    return core_->source.OutputInfo().SampleRate;
}
int32_t TMP3Player::OutChannels() const
{
    return core_->source.OutputInfo().Channels;
}
int32_t TMP3Player::OutBits() const
{
    return core_->source.OutputInfo().Bits;
}
int32_t TMP3Player::Layer() const
{
    return core_->source.Layer();
}
int32_t TMP3Player::Version() const
{
    return core_->source.Version();
}

std::string TMP3Player::VbrHeaderName() const
{
    switch (core_->source.VbrHeader()) {
    case TVbrHeaderKind::Xing: return "xing";
    case TVbrHeaderKind::Vbri: return "vbri";
    case TVbrHeaderKind::None: break;
    }
    return {};
}

} // namespace pt4
