// The player core's properties: what the owner sets, and what it reads of the stream heard.
#include "mp3plyr/errors.h"
#include "mp3plyr/player/player_core.h"
#include "mp3plyr/synth/cpu_capabilities.h"

namespace pt4 {

void TMP3PlayerCore::Loaded()
{
    settings.loading = false;
    if (settings.equalizerMode == TMP3EqualizerMode::memFreq)
        SetEqualizerRange(60, 16000);
    if (settings.autoOpen && !settings.fileName.empty())
        Open();
}

void TMP3PlayerCore::SetAutoOpen(bool value)
{
    settings.autoOpen = value;
    if (value && !settings.loading)
        Open();
}

void TMP3PlayerCore::SetAutoPlay(bool value)
{
    settings.autoPlay = value;
    if (value && (transport_ == TTransport::Stopped || transport_ == TTransport::Paused))
        Play();
}

void TMP3PlayerCore::SetChangePosStep(int32_t ms)
{
    if (ms < 100)
        return;
    settings.changePosStep = ms;
    soundOut.NotifyInterval = ms;
}

std::string TMP3PlayerCore::FileName() const
{
    return StreamOpen() ? shown.Read().FileName : settings.fileName;
}

void TMP3PlayerCore::SetFileName(const std::string& fileName)
{
    const std::string previous = settings.fileName;
    settings.fileName = fileName;
    if (!settings.autoOpen || settings.loading)
        return;
    try {
        Open();
    } catch (const EMP3Error& error) {
        // A location that could not be opened at all: nothing was opened or closed, and the
        // stream that is open keeps its own name (a closed player keeps the name given).
        if (error.Kind() == TErrorKind::Open && StreamOpen())
            settings.fileName = previous;
        throw;
    }
}

void TMP3PlayerCore::SetUsingCpuCapabilities(TMP3CpuCapabilities value)
{
    SynthesisContext& context = decoder.Output;
    SelectCapabilities(context, value & mccAll);
    settings.usingCpuCapabilities = TMP3CpuCapabilities(context.ActiveCapabilities.load() & mccAll);
}

void TMP3PlayerCore::SetVolBalance(int32_t value)
{
    if (value < -100 || value > 100)
        return;
    settings.volBalance = value;
    soundOut.SetBalance(value);
}

void TMP3PlayerCore::SetVolume(uint32_t value)
{
    if (value > 100)
        return;
    if (value == 0 && settings.loading) {
        // A stored layout's 0 means "as the system has it": the wave output keeps its volume
        // (full, unless set before), and the system's mixer decides.
        settings.volume = soundOut.Volume();
        return;
    }
    settings.volume = value;
    soundOut.SetVolume(value);
}

TStationState TMP3PlayerCore::StationState() const
{
    if (!liveStream || Status() == TMP3PlayerStatus::mpsStopped)
        return TStationState::Receiving;
    const TStationState state = liveStream->State();
    if (state == TStationState::Receiving && liveHolding && !userPaused)
        return TStationState::Buffering;
    return state;
}

std::string TMP3PlayerCore::Title() const
{
    return StreamOpen() ? shown.Read().Title : ClosedTitle();
}

} // namespace pt4
