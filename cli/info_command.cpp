// pt4 info: containers, tags, audio bounds and the first frame of each file.
#include "cli/commands.h"

#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/decoder/frame_header.h"
#include "mp3plyr/errors.h"
#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/file_info.h"
#include "mp3plyr/input/file_stream.h"
#include "mp3plyr/input/icy_metadata.h"
#include "mp3plyr/input/live_stream.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/input/mp3_info.h"
#include "mp3plyr/input/playlist_file.h"
#include "mp3plyr/input/stream_reader.h"
#include "mp3plyr/player/frame_source.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pt4::cli {
namespace {

using nlohmann::json;

struct FirstFrame {
    int64_t offset = 0;
    TMPFrameHeader header;
    int32_t bitRate = 0;
    int32_t length = 0; // with padding
};

const char* FoundName(TMP3InfoItem item)
{
    switch (item) {
    case TMP3InfoItem::Id3v1: return "id3v1";
    case TMP3InfoItem::Id3v2: return "id3v2";
    case TMP3InfoItem::RiffData: return "riff";
    case TMP3InfoItem::MacBinary: return "macbinary";
    case TMP3InfoItem::Lyrics3: return "lyrics3";
    case TMP3InfoItem::Ape: return "ape";
    }
    return "?";
}

const char* ModeName(int32_t mode)
{
    static const char* const names[] = {"stereo", "joint stereo", "dual channel", "mono"};
    return names[mode & 3];
}

json Version(const TMPFrameHeader& header)
{
    switch (VersionOf(header)) {
    case TMpegVersion::Mpeg1: return 1;
    case TMpegVersion::Mpeg2: return 2;
    case TMpegVersion::Mpeg25: break;
    }
    return 2.5;
}

const char* VersionName(const TMPFrameHeader& header)
{
    switch (VersionOf(header)) {
    case TMpegVersion::Mpeg1: return "MPEG-1";
    case TMpegVersion::Mpeg2: return "MPEG-2";
    case TMpegVersion::Mpeg25: break;
    }
    return "MPEG-2.5";
}

std::string ClockText(int32_t ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
    return text;
}

// Looks for the first frame the way the player does when it opens the file.
std::optional<FirstFrame> FindFirst(TMPStreamReader& reader, const TMP3Info& info)
{
    if (!reader.Seekable())
        return std::nullopt;
    reader.Seek(info.DataStart(), kSeekFromBeginning);
    TFirstFrame found;
    if (!LocateFirstFrame(reader, info.DataLength(), found) || found.Header.LayerBits == 0)
        return std::nullopt;
    FirstFrame frame;
    frame.header = found.Header;
    frame.bitRate = found.BitRate;
    frame.offset = info.DataStart() + found.Skipped;
    frame.length = PaddedFrameLength(found.Header, found.Length);
    return frame;
}

std::string TitleForDisplay(const TMP3Info& info, const std::string& fileName)
{
    const std::string title = info.GetTitle();
    if (!title.empty())
        return DisplayText(title);
    return std::filesystem::path(fileName).filename().string();
}

json DisplayLines(const std::vector<std::string>& lines)
{
    json out = json::array();
    for (const auto& line : lines)
        out.push_back(DisplayText(line));
    return out;
}

// A "name=value" line split at its first '=', the value decoded for display.
std::pair<std::string, std::string> SplitLine(const std::string& line)
{
    const size_t equals = line.find('=');
    if (equals == std::string::npos)
        return {line, {}};
    return {line.substr(0, equals), DisplayText(line.substr(equals + 1))};
}

json Id3v2Json(const TMP3Info& info)
{
    if (info.Id3v2Version() == 0)
        return nullptr;
    json frames = json::array();
    for (const auto& line : info.Id3v2Frames()) {
        const auto [id, text] = SplitLine(line);
        // An identifier is raw bytes too: JSON takes only valid UTF-8.
        frames.push_back({{"id", DisplayText(id)}, {"text", text}});
    }
    return {{"version", "2." + std::to_string(info.Id3v2Version())}, {"frames", frames}};
}

json Id3v1Json(const TMP3Info& info)
{
    if (info.Id3v1Fields().empty())
        return nullptr;
    json tag = json::object();
    for (const auto& line : info.Id3v1Fields()) {
        auto [name, text] = SplitLine(line);
        for (char& c : name)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (name == "track")
            tag[name] = std::stoi(text);
        else
            tag[name] = text;
    }
    return tag;
}

// What the player makes of the file when it opens it.
struct PlayerView {
    int32_t lengthMs = 0;
    int32_t bitRate = 0;
    TVbrHeaderKind vbrHeader = TVbrHeaderKind::None;
    TDecoderInfo output;
    TGaplessInfo gapless;
    TReplayGain replayGain;
};

std::optional<PlayerView> OpenLikeThePlayer(const std::string& fileName)
{
    TMPFileStream stream(fileName);
    auto decoder = std::make_unique<DecoderState>();
    TMPFrameSource source(*decoder);
    try {
        source.Open(&stream, true);
    } catch (const EMP3Error&) {
        return std::nullopt;
    }
    // The player corrects such a length once it has counted the frames; this tells it at once.
    if (source.LengthEstimated())
        source.CountFrames();
    return PlayerView{source.LengthMs(),   source.BitRate(), source.VbrHeader(),
                      source.OutputInfo(), source.Gapless(), source.ReplayGain()};
}

struct Report {
    std::string file;
    json found = json::array();
    int64_t dataStart = 0;
    std::optional<int64_t> dataLength;
    std::string title;
    std::string artist;
    json tags;
    std::optional<FirstFrame> first;
    std::optional<PlayerView> player;
};

// What a file and a stream both report from their tags.
Report TagReport(const TMP3Info& info, const std::string& location)
{
    Report report;
    report.file = ShownLocation(location);
    for (TMP3InfoItem item : kAllInfoItems)
        if (info.Found().Contains(item))
            report.found.push_back(FoundName(item));
    report.dataStart = info.DataStart();
    report.title = TitleForDisplay(info, location);
    report.artist = DisplayText(info.GetArtist());
    return report;
}

// A stream that cannot seek is read once, from the front, as the player reads it: its leading
// tags, its first frame, and for a radio station the name and title it sends.
Report ExamineStream(const std::string& location, TOpenedLocation opened)
{
    auto decoder = std::make_unique<DecoderState>();
    TMPFrameSource source(*decoder);
    source.Open(opened.stream.get(), false);
    const TMP3Info& info = source.Info();

    Report report = TagReport(info, location);
    if (const auto* live = dynamic_cast<const TMPLiveStream*>(opened.stream.get())) {
        if (!live->StreamTitle().empty())
            report.title = DisplayText(live->StreamTitle());
        if (!live->StationName().empty())
            report.artist = DisplayText(live->StationName());
    }
    // Only the leading tags can be read from a stream.
    report.tags = {{"id3v2", Id3v2Json(info)},
                   {"ape", json::array()},
                   {"id3v1", nullptr},
                   {"riff_info", DisplayLines(info.RiffInfoFields())},
                   {"lyrics3", json::array()}};
    FirstFrame first;
    first.offset = source.FirstFrameOffset();
    first.header = source.StreamHeader();
    first.bitRate = source.BitRate();
    first.length = source.FirstFrameLength();
    report.first = first;
    report.player = PlayerView{source.LengthMs(),   source.BitRate(), source.VbrHeader(),
                               source.OutputInfo(), source.Gapless(), source.ReplayGain()};
    return report;
}

Report Examine(const std::string& fileName)
{
    if (fileName == "-" || IsUrl(fileName) || HasPlaylistExtension(fileName)) {
        TOpenedLocation opened = OpenLocation(fileName);
        if (!opened.seekable)
            return ExamineStream(fileName, std::move(opened));
        if (opened.name != fileName)
            return Examine(opened.name); // a playlist's entry
    }
    TFileInfo file(fileName);
    const TMP3Info& info = file.Info;

    Report report = TagReport(info, fileName);
    if (info.DataLength() != TMP3Info::kUnknownLength)
        report.dataLength = info.DataLength();
    report.tags = {{"id3v2", Id3v2Json(info)},
                   {"ape", DisplayLines(info.ApeItems())},
                   {"id3v1", Id3v1Json(info)},
                   {"riff_info", DisplayLines(info.RiffInfoFields())},
                   {"lyrics3", DisplayLines(info.LyricsFields())}};
    report.first = FindFirst(file.Reader, info);
    report.player = OpenLikeThePlayer(fileName);
    return report;
}

json ReplayGainJson(const TReplayGain& gain)
{
    const auto value = [](const std::optional<double>& v) { return v ? json(*v) : json(nullptr); };
    return {{"track_gain_db", value(gain.TrackGainDb)},
            {"track_peak", value(gain.TrackPeak)},
            {"album_gain_db", value(gain.AlbumGainDb)},
            {"album_peak", value(gain.AlbumPeak)},
            {"source", gain.HasGain() ? json(ReplayGainSourceName(gain.Source)) : json(nullptr)}};
}

std::string ReplayGainText(const TReplayGain& gain)
{
    if (!gain.HasGain())
        return "none";
    std::string text;
    const auto add = [&](const char* kind, const std::optional<double>& db,
                         const std::optional<double>& peak) {
        if (!db)
            return;
        char part[96];
        std::snprintf(part, sizeof part, "%s%s %+.2f dB", text.empty() ? "" : ", ", kind, *db);
        text += part;
        if (peak) {
            std::snprintf(part, sizeof part, " (peak %.6f)", *peak);
            text += part;
        }
    };
    add("track", gain.TrackGainDb, gain.TrackPeak);
    add("album", gain.AlbumGainDb, gain.AlbumPeak);
    return text + ", from " + std::string(ReplayGainSourceName(gain.Source));
}

json ToJson(const Report& report)
{
    json out = {{"file", report.file},
                {"found", report.found},
                {"data_start", report.dataStart},
                {"data_length", report.dataLength ? json(*report.dataLength) : json(nullptr)},
                {"title", report.title},
                {"artist", report.artist},
                {"tags", report.tags},
                {"first_frame", nullptr},
                {"length_ms", nullptr},
                {"bitrate", nullptr},
                {"vbr_header", nullptr},
                {"output", nullptr}};
    if (report.first) {
        const FirstFrame& f = *report.first;
        out["first_frame"] = {
            {"offset", f.offset},   {"version", Version(f.header)},        {"layer", LayerNumber(f.header)},
            {"bitrate", f.bitRate}, {"sample_rate", SampleRate(f.header)}, {"mode", ModeName(f.header.Mode)},
            {"length", f.length}};
    }
    if (report.player) {
        const PlayerView& p = *report.player;
        out["length_ms"] = p.lengthMs;
        out["bitrate"] = p.bitRate;
        if (p.vbrHeader != TVbrHeaderKind::None)
            out["vbr_header"] = p.vbrHeader == TVbrHeaderKind::Xing ? "xing" : "vbri";
        if (p.gapless.Present)
            out["gapless"] = {{"encoder_delay", p.gapless.EncoderDelay},
                              {"encoder_padding", p.gapless.EncoderPadding}};
        out["output"] = {
            {"sample_rate", p.output.SampleRate}, {"channels", p.output.Channels}, {"bits", p.output.Bits}};
        out["replaygain"] = ReplayGainJson(p.replayGain);
    }
    return out;
}

// Tag and station text reaches the terminal through VisibleText: its control characters are
// shown, never obeyed.
void PrintText(const Report& report)
{
    std::printf("%s\n", VisibleText(report.file).c_str());
    std::string found;
    for (const auto& item : report.found)
        found += (found.empty() ? "" : ", ") + item.get<std::string>();
    std::printf("  found:        %s\n", found.empty() ? "(nothing)" : found.c_str());
    std::printf("  data start:   %lld\n", static_cast<long long>(report.dataStart));
    if (report.dataLength)
        std::printf("  data length:  %lld\n", static_cast<long long>(*report.dataLength));
    else
        std::printf("  data length:  unknown\n");
    std::printf("  title:        %s\n", VisibleText(report.title).c_str());
    std::printf("  artist:       %s\n", VisibleText(report.artist).c_str());
    const json& tags = report.tags;
    if (!tags["id3v2"].is_null()) {
        const std::string label = "id3v" + tags["id3v2"]["version"].get<std::string>() + ":";
        for (const auto& frame : tags["id3v2"]["frames"])
            std::printf("  %-13s %s: %s\n", label.c_str(),
                        VisibleText(frame["id"].get<std::string>()).c_str(),
                        VisibleText(frame["text"].get<std::string>()).c_str());
    }
    if (!tags["id3v1"].is_null())
        for (const auto& [name, value] : tags["id3v1"].items())
            std::printf("  %-13s %s: %s\n", "id3v1:", name.c_str(),
                        value.is_string() ? VisibleText(value.get<std::string>()).c_str()
                                          : value.dump().c_str());
    for (const char* list : {"ape", "riff_info", "lyrics3"})
        for (const auto& line : tags[list])
            std::printf("  %-13s %s\n", (std::string(list) + ":").c_str(),
                        VisibleText(line.get<std::string>()).c_str());
    if (report.first) {
        const FirstFrame& f = *report.first;
        std::printf("  first frame:  offset %lld, %s Layer %s, %d bit/s, %d Hz, %s, %d bytes\n",
                    static_cast<long long>(f.offset), VersionName(f.header),
                    LayerNumber(f.header) == 1   ? "I"
                    : LayerNumber(f.header) == 2 ? "II"
                                                 : "III",
                    f.bitRate, SampleRate(f.header), ModeName(f.header.Mode), f.length);
    } else {
        std::printf("  first frame:  none found\n");
    }
    if (report.player) {
        const PlayerView& p = *report.player;
        const char* vbr = p.vbrHeader == TVbrHeaderKind::Xing   ? "Xing"
                          : p.vbrHeader == TVbrHeaderKind::Vbri ? "VBRI"
                                                                : "none";
        std::printf("  player:       %s long, %d bit/s, VBR header %s, output %d Hz %d ch %d bit\n",
                    ClockText(p.lengthMs).c_str(), p.bitRate, vbr, p.output.SampleRate, p.output.Channels,
                    p.output.Bits);
        if (p.gapless.Present)
            std::printf("  gapless:      encoder delay %d, padding %d samples (left out in play)\n",
                        p.gapless.EncoderDelay, p.gapless.EncoderPadding);
        std::printf("  replaygain:   %s\n", ReplayGainText(p.replayGain).c_str());
    } else {
        std::printf("  player:       %s\n", kUnknownFormat);
    }
}

// A playlist is reported as the entries it would play, in order.
void PrintPlaylist(const std::string& list, const std::vector<TPlaylistEntry>& entries, bool asJson)
{
    if (asJson) {
        json out = {{"file", ShownLocation(list)}, {"playlist", json::array()}};
        for (const TPlaylistEntry& entry : entries)
            out["playlist"].push_back(
                {{"location", ShownLocation(entry.location)}, {"title", DisplayText(entry.title)}});
        std::printf("%s\n", JsonLine(out).c_str());
        return;
    }
    std::printf("%s\n  playlist:     %zu entries\n", ShownName(list).c_str(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        std::printf("  %5zu. %s\n", i + 1, ShownName(entries[i].location).c_str());
        if (!entries[i].title.empty())
            std::printf("         title: %s\n", VisibleText(DisplayText(entries[i].title)).c_str());
    }
}

} // namespace

int RunInfo(const std::vector<std::string>& args)
{
    bool asJson = false;
    std::vector<std::string> files;
    for (const auto& arg : args) {
        if (arg == "--json")
            asJson = true;
        else
            files.push_back(arg);
    }
    if (files.empty()) {
        std::fputs("usage: pt4 info [--json] FILE...\n", stderr);
        return 2;
    }
    int status = 0;
    for (const auto& file : files) {
        try {
            if (HasPlaylistExtension(file)) {
                PrintPlaylist(file, ReadPlaylist(file), asJson);
                std::fflush(stdout);
                continue;
            }
            const Report report = Examine(file);
            if (asJson)
                std::printf("%s\n", JsonLine(ToJson(report)).c_str());
            else
                PrintText(report);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "pt4: %s: %s\n", ShownName(file).c_str(), ErrorMessage(error).c_str());
            status = 1;
        }
        std::fflush(stdout);
    }
    return status;
}

} // namespace pt4::cli
