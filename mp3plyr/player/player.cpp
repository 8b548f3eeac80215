// TMP3Player: the component's face. Every property and operation is forwarded to the core,
// which holds the state (player_core.h).
#include "mp3plyr/mp3plyr.h"

#include "mp3plyr/player/player_core.h"

namespace pt4 {

TMP3Player::TMP3Player() : core_(std::make_unique<TMP3PlayerCore>(*this)) {}

TMP3Player::~TMP3Player()
{
    core_->Destroying();
    // A WAVE file that cannot be finished has nobody left to tell.
    try {
        core_->Stop();
    } catch (...) {
    }
    try {
        core_->Close();
    } catch (...) {
    }
}

TMPMessageWindow& TMP3Player::MessageWindow()
{
    return core_->MessageWindow();
}

void TMP3Player::BeginLoading()
{
    core_->BeginLoading();
}
void TMP3Player::Loaded()
{
    core_->Loaded();
}
bool TMP3Player::AutoOpen() const
{
    return core_->Settings().autoOpen;
}
void TMP3Player::SetAutoOpen(bool value)
{
    core_->SetAutoOpen(value);
}
bool TMP3Player::AutoPlay() const
{
    return core_->Settings().autoPlay;
}
void TMP3Player::SetAutoPlay(bool value)
{
    core_->SetAutoPlay(value);
}
int32_t TMP3Player::ChangePosStep() const
{
    return core_->Settings().changePosStep;
}
void TMP3Player::SetChangePosStep(int32_t ms)
{
    core_->SetChangePosStep(ms);
}
std::string TMP3Player::FileName() const
{
    return core_->FileName();
}
void TMP3Player::SetFileName(const std::string& fileName)
{
    core_->SetFileName(fileName);
}
TMP3CpuCapabilities TMP3Player::UsingCpuCapabilities() const
{
    return core_->Settings().usingCpuCapabilities;
}
void TMP3Player::SetUsingCpuCapabilities(TMP3CpuCapabilities value)
{
    core_->SetUsingCpuCapabilities(value);
}
int32_t TMP3Player::VolBalance() const
{
    return core_->Settings().volBalance;
}
void TMP3Player::SetVolBalance(int32_t value)
{
    core_->SetVolBalance(value);
}
uint32_t TMP3Player::Volume() const
{
    return core_->Settings().volume;
}
void TMP3Player::SetVolume(uint32_t value)
{
    core_->SetVolume(value);
}
void TMP3Player::SetWaveFileName(const std::string& fileName)
{
    core_->SetWaveFileName(fileName);
}

bool TMP3Player::QueuedAhead() const
{
    return core_->QueuedAhead();
}
void TMP3Player::QueueNext(const std::string& fileName)
{
    core_->QueueNext(fileName);
}
void TMP3Player::DropQueued()
{
    core_->DropQueued();
}

void TMP3Player::Open()
{
    core_->Open();
}
void TMP3Player::OpenStream(TMPStream* stream, uint8_t flags)
{
    core_->OpenPlayback(stream, flags, {});
}
void TMP3Player::Close()
{
    core_->Close();
}
void TMP3Player::Play()
{
    core_->Play();
}
void TMP3Player::Pause()
{
    core_->Pause();
}
void TMP3Player::Resume()
{
    core_->Resume();
}
void TMP3Player::Stop()
{
    core_->Stop();
}
void TMP3Player::Seek(int32_t ms)
{
    core_->Seek(ms);
}
TMP3PlayerCapabilities TMP3Player::Capabilities() const
{
    return core_->Capabilities();
}
bool TMP3Player::Connecting() const
{
    return core_->Connecting();
}
TStationState TMP3Player::StationState() const
{
    return core_->StationState();
}
TMP3PlayerStatus TMP3Player::Status() const
{
    return core_->Status();
}
uint32_t TMP3Player::Position()
{
    return core_->Position();
}
std::optional<TMP3PlayError> TMP3Player::LastError() const
{
    return core_->LastError();
}

// What is heard, as last published: the previous file for as long as its end is what is heard.
uint32_t TMP3Player::Length() const
{
    return core_->Shown().LengthMs;
}
std::string TMP3Player::Title() const
{
    return core_->Title();
}
std::string TMP3Player::Artist() const
{
    return core_->Shown().Artist;
}
int32_t TMP3Player::BitRate() const
{
    return core_->Shown().BitRate;
}
int32_t TMP3Player::OutSampleRate() const
{
    return core_->Shown().OutSampleRate;
}
int32_t TMP3Player::OutChannels() const
{
    return core_->Shown().OutChannels;
}
int32_t TMP3Player::OutBits() const
{
    return core_->Shown().OutBits;
}
int32_t TMP3Player::Layer() const
{
    return core_->Shown().Layer;
}
int32_t TMP3Player::Version() const
{
    return core_->Shown().Version;
}
std::string TMP3Player::VbrHeaderName() const
{
    return core_->Shown().VbrHeaderName;
}

bool TMP3Player::EqualizerEnabled() const
{
    return core_->Settings().equalizerEnabled;
}
void TMP3Player::SetEqualizerEnabled(bool value)
{
    core_->SetEqualizerEnabled(value);
}
int32_t TMP3Player::EqualizerCount() const
{
    return core_->Settings().equalizerCount;
}
void TMP3Player::SetEqualizerCount(int32_t count)
{
    core_->SetEqualizerCount(count);
}
TMP3EqualizerMode TMP3Player::EqualizerMode() const
{
    return core_->Settings().equalizerMode;
}
void TMP3Player::SetEqualizerMode(TMP3EqualizerMode mode)
{
    core_->SetEqualizerMode(mode);
}
void TMP3Player::SetEqualizerValue(int32_t index, int32_t value)
{
    core_->SetEqualizerValue(index, value);
}
int32_t TMP3Player::GetEqualizerFrequency(int32_t index) const
{
    return core_->GetEqualizerFrequency(index);
}
void TMP3Player::SetEqualizerRange(int32_t low, int32_t high)
{
    core_->SetEqualizerRange(low, high);
}

TReplayGainMode TMP3Player::ReplayGainMode() const
{
    return core_->Loudness().mode;
}
void TMP3Player::SetReplayGainMode(TReplayGainMode mode)
{
    TLoudnessChoice choice = core_->Loudness();
    choice.mode = mode;
    core_->SetLoudness(choice);
}
double TMP3Player::ReplayGainPreamp() const
{
    return core_->Loudness().preampDb;
}
void TMP3Player::SetReplayGainPreamp(double db)
{
    constexpr double kMaxPreampDb = 20.0;
    if (db < -kMaxPreampDb || db > kMaxPreampDb)
        return;
    TLoudnessChoice choice = core_->Loudness();
    choice.preampDb = db;
    core_->SetLoudness(choice);
}
bool TMP3Player::PlaysAlbum() const
{
    return core_->Loudness().playsAlbum;
}
void TMP3Player::SetPlaysAlbum(bool value)
{
    TLoudnessChoice choice = core_->Loudness();
    choice.playsAlbum = value;
    core_->SetLoudness(choice);
}

} // namespace pt4
