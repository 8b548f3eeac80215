// The player core's equalizer: bands, loudness, and the gain tables they give the decoder.
#include "mp3plyr/mp3plyr.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/player/player_core.h"
#include "mp3plyr/synth/output_gain.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace pt4 {
namespace {

constexpr int32_t kMaxBands = 32;

float BandGain(int32_t value)
{
    return float(std::pow(10.0, value / 100.0));
}

// Halves to even, as every rounding of the band layout.
int32_t RoundEven(double x)
{
    return int32_t(std::nearbyint(x));
}

// The band whose frequency is nearest to `centre` by ratio; the first one on a tie.
int32_t NearestBand(const std::array<int32_t, 32>& frequencies, int32_t count, int32_t centre)
{
    float best = 2147483648.0f;
    int32_t band = 0;
    for (int32_t b = 0; b < count; ++b) {
        const float f = float(std::max(frequencies[size_t(b)], 1));
        float ratio = f / float(centre);
        if (ratio < 1.0f)
            ratio = 1.0f / ratio;
        if (ratio < best) {
            best = ratio;
            band = b;
        }
    }
    return band;
}

void CheckIndex(int32_t index)
{
    if (index < 0 || index >= kMaxBands)
        throw EListError(index);
}

} // namespace

void TMP3PlayerCore::SetEqualizerEnabled(bool value)
{
    if (value == settings.equalizerEnabled)
        return;
    settings.equalizerEnabled = value;
    NoteAudibleChange();
    window.PostUnique(MP_EQUALIZER);
}

void TMP3PlayerCore::SetEqualizerCount(int32_t count)
{
    count = std::min(count, kMaxBands); // the band arrays hold 32
    if (count <= 0 || count == settings.equalizerCount)
        return;
    settings.equalizerCount = count;
    NoteAudibleChange();
    window.PostUnique(MP_EQUALIZER);
}

void TMP3PlayerCore::SetEqualizerMode(TMP3EqualizerMode mode)
{
    if (mode == settings.equalizerMode)
        return;
    settings.equalizerMode = mode;
    NoteAudibleChange();
    window.PostUnique(MP_EQUALIZER);
}

void TMP3PlayerCore::SetEqualizerValue(int32_t index, int32_t value)
{
    CheckIndex(index);
    if (value < -100 || value > 100)
        return;
    if (settings.equalizerValues[size_t(index)] != value)
        NoteAudibleChange();
    settings.equalizerValues[size_t(index)] = value;
    window.PostUnique(MP_EQUALIZER);
}

int32_t TMP3PlayerCore::GetEqualizerFrequency(int32_t index) const
{
    CheckIndex(index);
    if (settings.equalizerMode == TMP3EqualizerMode::memFreq || shown.Read().OutSampleRate != 0)
        return settings.equalizerFrequencies[size_t(index)];
    return 0;
}

void TMP3PlayerCore::SetEqualizerRange(int32_t low, int32_t high)
{
    if (settings.equalizerMode != TMP3EqualizerMode::memFreq || low < 1 || low > high || high > 24000)
        return;
    const int32_t count = settings.equalizerCount;
    auto& bands = settings.equalizerFrequencies;
    bands[0] = low;
    for (int32_t i = 1; i <= count - 2; ++i) {
        const double previous = bands[size_t(i - 1)];
        bands[size_t(i)] = RoundEven(previous * std::pow(high / previous, 1.0 / (count - i)));
        MP_ASSERT(bands[size_t(i)] >= previous);
    }
    bands[size_t(count - 1)] = high;
    NoteAudibleChange();
    window.PostUnique(MP_EQUALIZER);
}

// A worker that changes file reads the choice, so it changes under the playback's lock, and the
// open file's gain follows at once.
void TMP3PlayerCore::SetLoudness(const TLoudnessChoice& choice)
{
    if (choice.mode == loudness.mode && choice.preampDb == loudness.preampDb &&
        choice.playsAlbum == loudness.playsAlbum)
        return;
    {
        std::lock_guard held(lock);
        loudness = choice;
        ApplyLoudness();
    }
    // Heard at once: what is queued was decoded with the old gain.
    NoteAudibleChange();
    window.PostUnique(MP_EQUALIZER);
}

void TMP3PlayerCore::ApplyLoudness()
{
    TReplayGainMode mode = loudness.mode;
    if (mode == TReplayGainMode::Auto)
        mode = loudness.playsAlbum ? TReplayGainMode::Album : TReplayGainMode::Track;
    const float scale =
        playback ? ReplayGainScale(playback->Source->ReplayGain(), mode, loudness.preampDb) : 1.0f;
    SetOutputGain(decoder.Output.Equalizer, scale);
}

void TMP3PlayerCore::UpdateGainTables()
{
    EqualizerGains& gains = decoder.Output.Equalizer;
    int32_t rate = 0;
    int32_t layer = 0;
    {
        // The file being decoded, which may already be the one after the file heard.
        std::lock_guard held(lock);
        if (!playback)
            return;
        rate = playback->Source->OutputInfo().SampleRate;
        layer = playback->Source->Layer();
    }
    const TPlayerSettings& s = settings;
    const int32_t enabled = s.equalizerEnabled ? 1 : 0;
    if (s.equalizerMode == TMP3EqualizerMode::memSubBand) {
        gains.FrequencyEqualizerOn = 0;
        for (size_t i = 0; i < 32; ++i)
            gains.SubbandEqualizerGains[i] = BandGain(s.equalizerValues[i]);
        gains.SubbandEqualizerOn = enabled;
        if (rate >= 1)
            for (int32_t i = 0; i < 32; ++i)
                settings.equalizerFrequencies[size_t(i)] = RoundEven(rate / 64.0 * (i + 0.5));
        return;
    }
    if (layer != 3) {
        gains.FrequencyEqualizerOn = 0;
        if (s.equalizerEnabled)
            for (int32_t d = 0; d < 32; ++d) {
                const int32_t centre = RoundEven(rate / 64.0 * (d + 0.5));
                const int32_t band = NearestBand(s.equalizerFrequencies, s.equalizerCount, centre);
                gains.SubbandEqualizerGains[size_t(d)] = BandGain(s.equalizerValues[size_t(band)]);
            }
        gains.SubbandEqualizerOn = enabled;
        return;
    }
    gains.SubbandEqualizerOn = 0;
    if (s.equalizerEnabled)
        for (int32_t n = 0; n < 576; ++n) {
            const int32_t centre = RoundEven(rate / 1152.0 * (n + 0.5));
            const int32_t band = NearestBand(s.equalizerFrequencies, s.equalizerCount, centre);
            gains.FrequencyEqualizerGains[size_t(n)] = BandGain(s.equalizerValues[size_t(band)]);
        }
    gains.FrequencyEqualizerOn = enabled;
}

} // namespace pt4
