#include "player_fixtures.h"

#include "mp3plyr/decoder/frame_header.h"
#include "mp3plyr/input/memory_stream.h"
#include "mp3plyr/player/frame_source.h"
#include "mp3plyr/runtime/message_window.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace pt4::testing {

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string DemoClipPath()
{
    return std::string(PT4_SOURCE_DIR) + "/demo/demo.mp3";
}

std::string TempPath(const std::string& name)
{
    static const std::filesystem::path folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("pt4-player-test-" + std::to_string(getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return (folder / name).string();
}

std::vector<std::vector<uint8_t>> SplitFrames(const std::vector<uint8_t>& audio)
{
    std::vector<std::vector<uint8_t>> frames;
    size_t at = 0;
    while (at + 4 <= audio.size()) {
        TMPFrameHeader header;
        const int32_t length = ParseFrameHeader(audio.data() + at, 0, header);
        if (length < 1)
            break;
        const size_t padded = size_t(PaddedFrameLength(header, length));
        if (at + padded > audio.size())
            break;
        frames.emplace_back(audio.begin() + long(at), audio.begin() + long(at + padded));
        at += padded;
    }
    return frames;
}

std::vector<std::vector<uint8_t>> DemoFrames()
{
    const auto file = ReadFileBytes(DemoClipPath());
    // Past the ID3v2 tag: 10 bytes of header and a syncsafe size.
    const size_t tagSize =
        10 + (size_t(file[6]) << 21 | size_t(file[7]) << 14 | size_t(file[8]) << 7 | file[9]);
    auto frames = SplitFrames(std::vector<uint8_t>(file.begin() + long(tagSize), file.end()));
    if (!frames.empty())
        frames.erase(frames.begin());
    return frames;
}

std::vector<uint8_t> Join(const std::vector<std::vector<uint8_t>>& frames)
{
    std::vector<uint8_t> out;
    for (const auto& frame : frames)
        out.insert(out.end(), frame.begin(), frame.end());
    return out;
}

std::vector<uint8_t> DecodeAll(const std::vector<uint8_t>& bytes, bool gapless)
{
    auto decoder = std::make_unique<DecoderState>();
    TMPMemoryStream stream{std::span<const uint8_t>(bytes)};
    TOutputOptions options;
    options.Gapless = gapless;
    TMPFrameSource source(*decoder, options);
    source.Open(&stream, true);
    std::vector<uint8_t> pcm;
    std::vector<uint8_t> frame(TMPFrameSource::kPcmBufferSize);
    for (;;) {
        const TFrameOutcome outcome = source.ProduceFrame(frame.data());
        if (outcome == TFrameOutcome::EndOfData)
            break;
        if (outcome == TFrameOutcome::Frame)
            pcm.insert(pcm.end(), frame.begin(), frame.begin() + source.LastFrameBytes());
    }
    return pcm;
}

std::vector<int16_t> AsSamples(const std::vector<uint8_t>& bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = int16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return samples;
}

std::vector<uint8_t> WavePcm(const std::vector<uint8_t>& wave)
{
    if (wave.size() < 44)
        return {};
    return std::vector<uint8_t>(wave.begin() + 44, wave.end());
}

bool DrainUntil(TMP3Player& player, const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        if (player.MessageWindow().WaitForMessage(10))
            player.MessageWindow().DispatchMessages();
    }
    return true;
}

void DrainFor(TMP3Player& player, std::chrono::milliseconds quiet)
{
    const auto deadline = std::chrono::steady_clock::now() + quiet;
    do {
        // Handlers may post again (an end of stream stops, which reports): deliver until empty.
        while (player.MessageWindow().QueuedMessages() > 0)
            player.MessageWindow().DispatchMessages();
    } while (std::chrono::steady_clock::now() < deadline && player.MessageWindow().WaitForMessage(5));
}

} // namespace pt4::testing
