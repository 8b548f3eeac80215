#include "mp3plyr/input/replay_gain.h"

#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/tag_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace pt4 {
namespace {

// Gains outside this range are damaged values, not loudness corrections.
constexpr double kMaxGainDb = 51.0;

bool SameLetters(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return (x >= 'a' && x <= 'z' ? x - 32 : x) == (y >= 'a' && y <= 'z' ? y - 32 : y);
           });
}

bool ContainsLetters(std::string_view text, std::string_view word)
{
    for (size_t at = 0; at + word.size() <= text.size(); ++at)
        if (SameLetters(text.substr(at, word.size()), word))
            return true;
    return false;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\0'))
        text.remove_suffix(1);
    return text;
}

// "-6.00 dB", "+1.5 dB", "0.988" (the unit is optional), independent of the C locale.
std::optional<double> Number(std::string_view text, bool decibels)
{
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || !std::isfinite(value))
        return std::nullopt;
    const std::string_view unit = Trimmed(text.substr(size_t(end - text.data())));
    if (!unit.empty() && !(decibels && SameLetters(unit, "dB")))
        return std::nullopt;
    if (decibels)
        return std::clamp(value, -kMaxGainDb, kMaxGainDb);
    if (value <= 0)
        return std::nullopt; // a peak of 0 means "not measured"
    return value;
}

// Takes one "name value" pair into `gain` when the name is one of the four.
void TakeItem(std::string_view name, std::string_view value, TReplayGain& gain)
{
    name = Trimmed(name);
    if (SameLetters(name, "REPLAYGAIN_TRACK_GAIN") && !gain.TrackGainDb)
        gain.TrackGainDb = Number(value, true);
    else if (SameLetters(name, "REPLAYGAIN_TRACK_PEAK") && !gain.TrackPeak)
        gain.TrackPeak = Number(value, false);
    else if (SameLetters(name, "REPLAYGAIN_ALBUM_GAIN") && !gain.AlbumGainDb)
        gain.AlbumGainDb = Number(value, true);
    else if (SameLetters(name, "REPLAYGAIN_ALBUM_PEAK") && !gain.AlbumPeak)
        gain.AlbumPeak = Number(value, false);
}

// "identification: +1.50 dB, peak 0.800000" as VolumeAdjustmentText writes it.
void TakeVolumeAdjustment(std::string_view text, TReplayGain& gain)
{
    const size_t colon = text.rfind(": ");
    if (colon == std::string_view::npos)
        return;
    const bool album = ContainsLetters(text.substr(0, colon), "album");
    std::string_view rest = text.substr(colon + 2);
    std::optional<double> peak;
    if (const size_t comma = rest.find(", peak "); comma != std::string_view::npos) {
        peak = Number(rest.substr(comma + 7), false);
        rest = rest.substr(0, comma);
    }
    const std::optional<double> db = Number(rest, true);
    if (!db)
        return;
    std::optional<double>& gainField = album ? gain.AlbumGainDb : gain.TrackGainDb;
    std::optional<double>& peakField = album ? gain.AlbumPeak : gain.TrackPeak;
    if (!gainField) {
        gainField = db;
        peakField = peak;
    }
}

// A 16-bit gain field: 3 bits name (1 track, 2 album), 3 bits originator, sign, 9 bits of
// tenths of a dB.
void TakeEncoderGainField(uint16_t field, TReplayGain& gain)
{
    const int name = field >> 13;
    const double db = (field & 0x1FF) / 10.0 * ((field & 0x200) ? -1 : 1);
    if (name == 1 && !gain.TrackGainDb)
        gain.TrackGainDb = std::clamp(db, -kMaxGainDb, kMaxGainDb);
    else if (name == 2 && !gain.AlbumGainDb)
        gain.AlbumGainDb = std::clamp(db, -kMaxGainDb, kMaxGainDb);
}

// Decimal text with a point whatever the C locale.
std::string Fixed(double value, int decimals)
{
    std::array<char, 64> text{};
    const auto end =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, decimals).ptr;
    return std::string(text.data(), end);
}

} // namespace

std::optional<TReplayGainMode> ParseReplayGainMode(std::string_view text)
{
    for (const TReplayGainMode mode :
         {TReplayGainMode::Off, TReplayGainMode::Track, TReplayGainMode::Album, TReplayGainMode::Auto})
        if (SameLetters(text, ReplayGainModeName(mode)))
            return mode;
    return std::nullopt;
}

std::string_view ReplayGainModeName(TReplayGainMode mode)
{
    switch (mode) {
    case TReplayGainMode::Off: return "off";
    case TReplayGainMode::Track: return "track";
    case TReplayGainMode::Album: return "album";
    case TReplayGainMode::Auto: return "auto";
    }
    return "off";
}

std::string_view ReplayGainSourceName(TReplayGainSource source)
{
    switch (source) {
    case TReplayGainSource::Id3v2: return "id3v2";
    case TReplayGainSource::Ape: return "ape";
    case TReplayGainSource::EncoderHeader: return "lame";
    case TReplayGainSource::None: break;
    }
    return "";
}

TReplayGain ReplayGainFromTags(const TMP3Info& info)
{
    TReplayGain id3;
    for (const std::string& line : info.Id3v2Frames()) {
        const std::string_view frame(line);
        const size_t equals = frame.find('=');
        const std::string_view id = frame.substr(0, equals);
        const std::string_view content = frame.substr(equals + 1);
        if (id == "TXXX" || id == "TXX") {
            const size_t colon = content.find(": ");
            if (colon != std::string_view::npos)
                TakeItem(content.substr(0, colon), content.substr(colon + 2), id3);
        } else if (id == "RVA2") {
            TakeVolumeAdjustment(content, id3);
        }
    }
    if (id3.HasGain()) {
        id3.Source = TReplayGainSource::Id3v2;
        return id3;
    }
    TReplayGain ape;
    for (const std::string& line : info.ApeItems()) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            TakeItem(std::string_view(line).substr(0, equals), std::string_view(line).substr(equals + 1),
                     ape);
    }
    if (ape.HasGain())
        ape.Source = TReplayGainSource::Ape;
    return ape.HasGain() ? ape : TReplayGain{};
}

TReplayGain ReplayGainFromEncoderHeader(std::span<const uint8_t> extension)
{
    TReplayGain gain;
    if (extension.size() < 19)
        return gain;
    TakeEncoderGainField(uint16_t(extension[15] << 8 | extension[16]), gain);
    TakeEncoderGainField(uint16_t(extension[17] << 8 | extension[18]), gain);
    if (!gain.HasGain())
        return {};
    // The peak is a fixed-point number with 23 fraction bits; 0 when it was not measured.
    const uint32_t peak = BigEndian32(extension.data() + 11);
    if (peak > 0) {
        const double linear = std::ldexp(double(peak), -23);
        (gain.TrackGainDb ? gain.TrackPeak : gain.AlbumPeak) = linear;
    }
    gain.Source = TReplayGainSource::EncoderHeader;
    return gain;
}

TReplayGain CombineReplayGain(const TReplayGain& tags, const TReplayGain& encoderHeader)
{
    return tags.HasGain() ? tags : encoderHeader;
}

float ReplayGainScale(const TReplayGain& gain, TReplayGainMode mode, double preampDb)
{
    if (mode != TReplayGainMode::Track && mode != TReplayGainMode::Album)
        return 1.0f;
    const bool album = mode == TReplayGainMode::Album;
    const std::optional<double>& first = album ? gain.AlbumGainDb : gain.TrackGainDb;
    const std::optional<double>& second = album ? gain.TrackGainDb : gain.AlbumGainDb;
    const std::optional<double>& firstPeak = album ? gain.AlbumPeak : gain.TrackPeak;
    const std::optional<double>& secondPeak = album ? gain.TrackPeak : gain.AlbumPeak;
    const double db = first.value_or(second.value_or(0.0)) + preampDb;
    const std::optional<double> peak = first ? firstPeak.has_value() ? firstPeak : secondPeak
                                       : secondPeak.has_value() ? secondPeak
                                                                : firstPeak;
    double scale = std::pow(10.0, db / 20.0);
    if (peak && *peak > 0 && scale * *peak > 1.0)
        scale = 1.0 / *peak;
    return float(scale);
}

std::string VolumeAdjustmentText(std::span<const uint8_t> data)
{
    const auto nul = std::find(data.begin(), data.end(), uint8_t{0});
    std::string text(data.begin(), nul);
    size_t at = size_t(nul - data.begin()) + 1;
    // Channels: type, 16-bit adjustment in 1/512 dB, bits of peak, the peak's bytes.
    while (at + 4 <= data.size()) {
        const uint8_t type = data[at];
        const double db = int16_t(uint16_t(data[at + 1] << 8 | data[at + 2])) / 512.0;
        const int bits = data[at + 3];
        const size_t peakBytes = size_t(bits + 7) / 8;
        at += 4;
        if (peakBytes > data.size() - at)
            break;
        if (type == 1) { // the master volume
            text += ": " + std::string(db >= 0 ? "+" : "") + Fixed(db, 2) + " dB";
            double peak = 0;
            for (size_t i = 0; i < peakBytes; ++i)
                peak = peak * 256 + data[at + i];
            if (bits > 0 && peak > 0)
                text += ", peak " + Fixed(std::ldexp(peak, 1 - bits), 6);
            return text;
        }
        at += peakBytes;
    }
    return text + ": " + std::to_string(data.size()) + " bytes";
}

} // namespace pt4
