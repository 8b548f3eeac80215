// TMP3Player: properties, states, events and the transport operations.
#include "mp3plyr/mp3plyr.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/player/player_core.h"
#include "mp3plyr/player/player_opening.h"
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
    core_->settings.loading = true;
}

void TMP3Player::Loaded()
{
    core_->settings.loading = false;
    if (core_->settings.equalizerMode == TMP3EqualizerMode::memFreq)
        SetEqualizerRange(60, 16000);
    if (core_->settings.autoOpen && !core_->settings.fileName.empty())
        Open();
}

bool TMP3Player::AutoOpen() const
{
    return core_->settings.autoOpen;
}

void TMP3Player::SetAutoOpen(bool value)
{
    core_->settings.autoOpen = value;
    if (value && !core_->settings.loading)
        Open();
}

bool TMP3Player::AutoPlay() const
{
    return core_->settings.autoPlay;
}

void TMP3Player::SetAutoPlay(bool value)
{
    core_->settings.autoPlay = value;
    if (value && core_->StreamOpen() &&
        (core_->settings.status == TMP3PlayerStatus::mpsStopped ||
         core_->settings.status == TMP3PlayerStatus::mpsPaused))
        Play();
}

int32_t TMP3Player::ChangePosStep() const
{
    return core_->settings.changePosStep;
}

void TMP3Player::SetChangePosStep(int32_t ms)
{
    if (ms < 100)
        return;
    core_->settings.changePosStep = ms;
    core_->soundOut.NotifyInterval = ms;
}

std::string TMP3Player::FileName() const
{
    return core_->StreamOpen() ? core_->shown.Read().FileName : core_->settings.fileName;
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
    if (!c.playback || c.playback->NextState != TPlayback::TNextState::Asked)
        return;
    c.playback->NextFileName = fileName;
    c.playback->NextState = TPlayback::TNextState::Answered;
    c.ownerActed.SetEvent();
}

void TMP3Player::SetFileName(const std::string& fileName)
{
    const std::string previous = core_->settings.fileName;
    core_->settings.fileName = fileName;
    if (!core_->settings.autoOpen || core_->settings.loading)
        return;
    try {
        Open();
    } catch (const EMP3Error& error) {
        // A location that could not be opened at all: nothing was opened or closed, and the
        // stream that is open keeps its own name (a closed player keeps the name given).
        if (error.Kind() == TErrorKind::Open && core_->StreamOpen())
            core_->settings.fileName = previous;
        throw;
    }
}

TMP3CpuCapabilities TMP3Player::UsingCpuCapabilities() const
{
    return core_->settings.usingCpuCapabilities;
}

void TMP3Player::SetUsingCpuCapabilities(TMP3CpuCapabilities value)
{
    SynthesisContext& context = core_->decoder.Output;
    SelectCapabilities(context, value & mccAll);
    core_->settings.usingCpuCapabilities = TMP3CpuCapabilities(context.ActiveCapabilities.load() & mccAll);
}

int32_t TMP3Player::VolBalance() const
{
    return core_->settings.volBalance;
}

void TMP3Player::SetVolBalance(int32_t value)
{
    if (value < -100 || value > 100)
        return;
    core_->settings.volBalance = value;
    core_->soundOut.SetBalance(value);
}

uint32_t TMP3Player::Volume() const
{
    return core_->settings.volume;
}

void TMP3Player::SetVolume(uint32_t value)
{
    if (value > 100)
        return;
    if (value == 0 && core_->settings.loading) {
        // A stored layout's 0 means "as the system has it": the wave output keeps its volume
        // (full, unless set before), and the system's mixer decides.
        core_->settings.volume = core_->soundOut.Volume();
        return;
    }
    core_->settings.volume = value;
    core_->soundOut.SetVolume(value);
}

void TMP3Player::SetWaveFileName(const std::string& fileName)
{
    core_->settings.waveFileName = fileName;
}

TMP3PlayerCapabilities TMP3Player::Capabilities() const
{
    const TMP3PlayerCore& c = *core_;
    const bool open = c.StreamOpen();
    const bool playing = c.settings.status == TMP3PlayerStatus::mpsPlaying;
    const bool paused = c.settings.status == TMP3PlayerStatus::mpsPaused;
    const bool stopped = c.settings.status == TMP3PlayerStatus::mpsStopped;
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

TStationState TMP3Player::StationState() const
{
    const TMP3PlayerCore& c = *core_;
    if (!c.liveStream || c.settings.status == TMP3PlayerStatus::mpsStopped)
        return TStationState::Receiving;
    const TStationState state = c.liveStream->State();
    if (state == TStationState::Receiving && c.liveHolding && !c.userPaused)
        return TStationState::Buffering;
    return state;
}

TMP3PlayerStatus TMP3Player::Status() const
{
    return core_->settings.status;
}

void TMP3Player::Open()
{
    if (core_->settings.fileName.empty()) {
        Close();
        return;
    }
    const std::string name = core_->settings.fileName;
    if (TLocationOpener::OpensInBackground(name)) {
        // A server or a writer may keep it waiting: it opens on a thread of its own.
        Close();
        core_->settings.fileName = name;
        StartOpening(*core_);
        return;
    }
    TOpenedLocation opened = OpenLocation(name);
    core_->OpenPlayback(opened.stream.release(),
                        uint8_t((opened.seekable ? kStreamSeekable : 0) | kStreamOwned), name);
    core_->settings.fileName = name;
}

void TMP3Player::Close()
{
    TMP3PlayerCore& c = *core_;
    CancelOpening(c);
    if (!c.StreamOpen())
        return;
    if (c.settings.status != TMP3PlayerStatus::mpsStopped)
        Stop();
    c.ReleaseLiveStream();
    std::unique_ptr<TPlayback> gone;
    {
        std::lock_guard held(c.lock);
        c.frameCounter.Cancel();
        gone = c.TakePlayback();
    }
    gone.reset(); // outside the lock: a station's stream may take a moment to let go
    c.settings.fileName.clear();
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
    c.userPaused = false;
    try {
        {
            std::lock_guard held(c.lock);
            c.soundOut.SetOnNotify([&c](TSoundOut&) { c.NotifyPosition(); });
            c.soundOut.SetWaveFileName(c.settings.waveFileName);
            c.playback->PlayingToFile = !c.settings.waveFileName.empty();
            c.soundOut.Open();
        }
        c.thread.WakeEvent.SetEvent();
    } catch (...) {
        Stop();
        throw;
    }
    c.SetStatus(TMP3PlayerStatus::mpsPlaying);
    c.settings.endPlayReason = TMP3EndPlayReason::mepStopped;
    c.window.PostUnique(MP_POSITION);
}

void TMP3Player::Pause()
{
    TMP3PlayerCore& c = *core_;
    if (!(Capabilities() & mpcPause))
        return;
    std::lock_guard held(c.lock);
    c.soundOut.Pause();
    c.userPaused = true;
    if (c.liveStream)
        c.liveStream->SetPaused(true); // taken in meanwhile, so that Resume goes on from here
    if (c.playback->PlayingToFile) {
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
    c.userPaused = false;
    if (c.liveStream)
        c.liveStream->SetPaused(false);
    if (!c.liveHolding) // a station still filling its buffer goes on once it has
        c.soundOut.Unpause();
    c.thread.WakeEvent.SetEvent();
    c.SetStatus(TMP3PlayerStatus::mpsPlaying);
}

void TMP3Player::Stop()
{
    TMP3PlayerCore& c = *core_;
    if (CancelOpening(c) || !c.StreamOpen() || c.settings.status == TMP3PlayerStatus::mpsStopped)
        return;
    std::exception_ptr closeError; // a WAVE file that could not be finished: reported once stopped
    {
        std::lock_guard held(c.lock);
        c.CountPlayed(); // a change of file heard by now counts before the stop
        c.Renew();
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
        c.playback->Source.Rewind();
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
    std::lock_guard held(core_->lock);
    core_->CountPlayed();
    return core_->playback ? core_->playback->PositionMs : 0;
}

// What is heard, as last published: the previous file for as long as its end is what is heard.
uint32_t TMP3Player::Length() const
{
    return core_->shown.Read().LengthMs;
}
std::string TMP3Player::Title() const
{
    return core_->StreamOpen() ? core_->shown.Read().Title : core_->ClosedTitle();
}
std::optional<TMP3PlayError> TMP3Player::LastError() const
{
    return core_->lastError;
}
std::string TMP3Player::Artist() const
{
    return core_->shown.Read().Artist;
}
int32_t TMP3Player::BitRate() const
{
    return core_->shown.Read().BitRate;
}
int32_t TMP3Player::OutSampleRate() const
{
    return core_->shown.Read().OutSampleRate;
}
int32_t TMP3Player::OutChannels() const
{
    return core_->shown.Read().OutChannels;
}
int32_t TMP3Player::OutBits() const
{
    return core_->shown.Read().OutBits;
}
int32_t TMP3Player::Layer() const
{
    return core_->shown.Read().Layer;
}
int32_t TMP3Player::Version() const
{
    return core_->shown.Read().Version;
}
std::string TMP3Player::VbrHeaderName() const
{
    return core_->shown.Read().VbrHeaderName;
}

} // namespace pt4
