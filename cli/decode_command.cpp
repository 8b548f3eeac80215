// pt4 decode: a file (or standard input, a URL, a playlist) to RIFF WAVE or raw PCM, through the
// very frame loop the player runs.
#include "cli/commands.h"
#include "cli/loudness_options.h"

#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/output/riff_wave_header.h"
#include "mp3plyr/player/frame_source.h"
#include "mp3plyr/synth/output_gain.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pt4::cli {
namespace {

constexpr const char* kUsage =
    "usage: pt4 decode [--8bit] [--mix|--left|--right] [--half|--quarter] [--raw] [--no-gapless]\n"
    "                  [--start SECONDS] [--replaygain off|track|album|auto] [--preamp DB]\n"
    "                  INPUT -o OUTPUT\n";

struct DecodeArgs {
    TOutputOptions options;
    bool raw = false;
    int64_t startMs = -1; // -1: from the first frame, without a seek
    LoudnessOptions loudness;
    std::string input;
    std::string output;
};

// A non-negative number of seconds, to the millisecond.
bool ParseSeconds(const std::string& text, int64_t& ms)
{
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(seconds >= 0) || seconds > 2147483.0)
        return false;
    ms = std::llround(seconds * 1000);
    return true;
}

bool Parse(const std::vector<std::string>& args, DecodeArgs& out)
{
    int channelChoices = 0;
    int rateChoices = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (const OptionTaken taken = TakeLoudnessOption(args, i, out.loudness); taken != OptionTaken::No) {
            if (taken == OptionTaken::Bad)
                return false;
        } else if (arg == "--8bit") {
            out.options.Width = TSampleWidth::Bits8;
        } else if (arg == "--mix" || arg == "--left" || arg == "--right") {
            out.options.Conversion = arg == "--mix"    ? TChannelConversion::Mix
                                     : arg == "--left" ? TChannelConversion::Left
                                                       : TChannelConversion::Right;
            ++channelChoices;
        } else if (arg == "--half" || arg == "--quarter") {
            out.options.Reduction = arg == "--half" ? TRateReduction::Half : TRateReduction::Quarter;
            ++rateChoices;
        } else if (arg == "--raw") {
            out.raw = true;
        } else if (arg == "--no-gapless") {
            out.options.Gapless = false;
        } else if (arg == "--start" && i + 1 < args.size()) {
            if (!ParseSeconds(args[++i], out.startMs))
                return false;
        } else if (arg == "-o" && i + 1 < args.size()) {
            out.output = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') { // "-" alone is standard input
            return false;
        } else if (out.input.empty()) {
            out.input = arg;
        } else {
            return false;
        }
    }
    return channelChoices <= 1 && rateChoices <= 1 && !out.input.empty() && !out.output.empty();
}

// The output file, its WAVE header rewritten with the true sizes when it is closed, so that a
// decode that stops early still leaves a valid file.
class PcmSink {
public:
    PcmSink(const std::string& name, bool raw) : raw_(raw)
    {
        if (name == "-") {
            file_ = stdout;
        } else {
            file_ = std::fopen(name.c_str(), "wb");
            if (!file_)
                throw std::runtime_error("cannot write " + name);
            owned_ = true;
            // Frames are a few kilobytes: gather them into larger writes, as each write is a
            // call into the system that costs about as much as decoding a tenth of a frame.
            buffer_.resize(kWriteBuffer);
            std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
        }
    }
    ~PcmSink() { Finish(); }

    void Start(const TDecoderInfo& info)
    {
        info_ = info;
        if (!raw_)
            WriteHeader(owned_ ? 0 : UINT32_MAX);
    }
    void Write(const uint8_t* bytes, size_t n)
    {
        if (std::fwrite(bytes, 1, n, file_) != n)
            throw std::runtime_error("write failed");
        written_ += n;
    }
    void Finish()
    {
        if (!file_)
            return;
        if (!raw_ && owned_ && info_.Channels > 0 && std::fseek(file_, 0, SEEK_SET) == 0)
            WriteHeader(written_);
        if (owned_)
            std::fclose(file_);
        else
            std::fflush(file_);
        file_ = nullptr;
    }

private:
    void WriteHeader(uint64_t dataBytes)
    {
        const auto header = RiffWaveHeader(uint32_t(info_.SampleRate), uint16_t(info_.Channels),
                                           uint16_t(info_.Bits), dataBytes);
        std::fwrite(header.data(), 1, header.size(), file_);
    }

    static constexpr size_t kWriteBuffer = 1 << 16;
    std::vector<char> buffer_; // the owned file's buffer until it is closed
    std::FILE* file_ = nullptr;
    bool owned_ = false;
    bool raw_;
    TDecoderInfo info_{};
    uint64_t written_ = 0;
};

// One file alone: auto takes its track gain. Before any frame is decoded, a seek's included.
void ApplyLoudness(const DecodeArgs& args, const TMPFrameSource& source, DecoderState& decoder)
{
    const TReplayGainMode mode =
        args.loudness.mode == TReplayGainMode::Auto ? TReplayGainMode::Track : args.loudness.mode;
    SetOutputGain(decoder.Output.Equalizer,
                  ReplayGainScale(source.ReplayGain(), mode, args.loudness.preampDb));
}

} // namespace

int RunDecode(const std::vector<std::string>& args)
{
    DecodeArgs parsed;
    if (!Parse(args, parsed)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        const TOpenedLocation opened = OpenLocation(parsed.input);
        auto decoder = std::make_unique<DecoderState>();
        TMPFrameSource source(*decoder, parsed.options);
        source.Open(opened.stream.get(), opened.seekable);
        ApplyLoudness(parsed, source, *decoder);
        if (parsed.startMs >= 0) {
            if (!source.Seekable())
                throw std::runtime_error("--start needs an input that can seek");
            source.SeekToTime(parsed.startMs); // as the player seeks
        }
        PcmSink sink(parsed.output, parsed.raw);
        sink.Start(source.OutputInfo());
        std::vector<uint8_t> pcm(TMPFrameSource::kPcmBufferSize);
        for (;;) {
            const TFrameOutcome outcome = source.ProduceFrame(pcm.data());
            if (outcome == TFrameOutcome::EndOfData)
                break;
            if (outcome == TFrameOutcome::Frame)
                sink.Write(pcm.data(), size_t(source.LastFrameBytes()));
        }
        sink.Finish();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pt4: %s: %s\n", ShownName(parsed.input).c_str(), ErrorMessage(error).c_str());
        return 1;
    }
    return 0;
}

} // namespace pt4::cli
