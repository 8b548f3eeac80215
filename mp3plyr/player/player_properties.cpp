// The player core's properties: what the owner sets, and what it reads of the stream heard.
#include "mp3plyr/errors.h"
#include "mp3plyr/player/player_core.h"
#include "mp3plyr/synth/cpu_capabilities.h"

namespace pt4 {

void TMP3PlayerCore::Loaded()
{
    settings_.loading = false;
    if (settings_.equalizerMode == TMP3EqualizerMode::memFreq)
        SetEqualizerRange(60, 16000);
    if (settings_.autoOpen && !settings_.fileName.empty())
        Open();
}

void TMP3PlayerCore::SetAutoOpen(bool value)
{
    settings_.autoOpen = value;
    if (value && !settings_.loading)
        Open();
}

void TMP3PlayerCore::SetAutoPlay(bool value)
{
    settings_.autoPlay = value;
    if (value && (transport_ == TTransport::Stopped || transport_ == TTransport::Paused))
        Play();
}

void TMP3PlayerCore::SetChangePosStep(int32_t ms)
{
    if (ms < 100)
        return;
    settings_.changePosStep = ms;
    soundOut_.NotifyInterval = ms;
}

std::string TMP3PlayerCore::FileName() const
{
    return StreamOpen() ? shown_.Read().FileName : settings_.fileName;
}

void TMP3PlayerCore::SetFileName(const std::string& fileName)
{
    const std::string previous = settings_.fileName;
    settings_.fileName = fileName;
    if (!settings_.autoOpen || settings_.loading)
        return;
    try {
        Open();
    } catch (const EMP3Error& error) {
        // A location that could not be opened at all: nothing was opened or closed, and the
        // stream that is open keeps its own name (a closed player keeps the name given).
        if (error.Kind() == TErrorKind::Open && StreamOpen())
            settings_.fileName = previous;
        throw;
    }
}

void TMP3PlayerCore::SetUsingCpuCapabilities(TMP3CpuCapabilities value)
{
    SynthesisContext& context = decoder_.Output;
    SelectCapabilities(context, value & mccAll);
    settings_.usingCpuCapabilities = TMP3CpuCapabilities(context.ActiveCapabilities.load() & mccAll);
}

void TMP3PlayerCore::SetVolBalance(int32_t value)
{
    if (value < -100 || value > 100)
        return;
    settings_.volBalance = value;
    soundOut_.SetBalance(value);
}

void TMP3PlayerCore::SetVolume(uint32_t value)
{
    if (value > 100)
        return;
    if (value == 0 && settings_.loading) {
        // A stored layout's 0 means "as the system has it": the wave output keeps its volume
        // (full, unless set before), and the system's mixer decides.
        settings_.volume = soundOut_.Volume();
        return;
    }
    settings_.volume = value;
    soundOut_.SetVolume(value);
}

TStationState TMP3PlayerCore::StationState() const
{
    if (!liveStream_ || Status() == TMP3PlayerStatus::mpsStopped)
        return TStationState::Receiving;
    const TStationState state = liveStream_->State();
    if (state == TStationState::Receiving && liveHolding_ && !userPaused_)
        return TStationState::Buffering;
    return state;
}

std::string TMP3PlayerCore::Title() const
{
    return StreamOpen() ? shown_.Read().Title : ClosedTitle();
}

} // namespace pt4
