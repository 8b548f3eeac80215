// Loudness normalisation values a file carries (track and album gain and peak) and the output
// scale they give for a chosen mode.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pt4 {

class TMP3Info;

// Auto: album gain while the files of an album play in order, track gain otherwise.
enum class TReplayGainMode : uint8_t { Off = 0, Track = 1, Album = 2, Auto = 3 };

// "off", "track", "album", "auto"; nullopt for any other text.
std::optional<TReplayGainMode> ParseReplayGainMode(std::string_view text);
std::string_view ReplayGainModeName(TReplayGainMode mode);

enum class TReplayGainSource : uint8_t { None, Id3v2, Ape, EncoderHeader };

// "id3v2", "ape", "lame" or "" for none.
std::string_view ReplayGainSourceName(TReplayGainSource source);

struct TReplayGain {
    std::optional<double> TrackGainDb;
    std::optional<double> TrackPeak; // linear, 1.0 = full scale
    std::optional<double> AlbumGainDb;
    std::optional<double> AlbumPeak;
    TReplayGainSource Source = TReplayGainSource::None;

    bool HasGain() const { return TrackGainDb || AlbumGainDb; }
};

// From the ID3v2 user texts ("TXXX=REPLAYGAIN_TRACK_GAIN: -6.00 dB", any letter case) and
// volume adjustment frames ("RVA2=track: -6.00 dB, peak 0.8"), else from the APE items of the
// same names; Source says which tag gave them.
TReplayGain ReplayGainFromTags(const TMP3Info& info);

// The encoder's extension of a Xing/Info header from its version string on (at least 19 bytes
// to see anything): peak, then the track ("radio") and album ("audiophile") gain fields.
TReplayGain ReplayGainFromEncoderHeader(std::span<const uint8_t> extension);

// Tags first, then the encoder header: the first that holds a gain is taken whole.
TReplayGain CombineReplayGain(const TReplayGain& tags, const TReplayGain& encoderHeader);

// The linear factor for the output: gain of the mode's kind (the other kind when the file
// lacks it) plus the pre-amplification, held so that peak × factor ≤ 1 when the peak is known.
// Off, or Auto (resolve it first), gives exactly 1; a file without gains gets the
// pre-amplification alone.
float ReplayGainScale(const TReplayGain& gain, TReplayGainMode mode, double preampDb);

// RVA2 frame data as its line's text: "identification: +1.50 dB" with ", peak 0.800000" when the
// master channel carries a peak; other channels are left out.
std::string VolumeAdjustmentText(std::span<const uint8_t> data);

} // namespace pt4
