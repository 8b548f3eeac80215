// Player measurements that tests must not time: seeking into a long file, first by walking the
// frames and then from the seek table, and the time from Play until the sound server plays.
//
//   player_bench seek LONG.mp3 MINUTE      seek to MINUTE:00 twice, prints both times
//   player_bench start FILE                Play until the server's clock moves (needs a server)
#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/input/file_stream.h"
#include "mp3plyr/mp3plyr.h"
#include "mp3plyr/output/sound_out.h"
#include "mp3plyr/player/frame_source.h"
#include "mp3plyr/runtime/message_window.h"

#include <vector>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

int Seek(const std::string& file, int minute)
{
    pt4::TMPFileStream stream(file);
    auto decoder = std::make_unique<pt4::DecoderState>();
    pt4::TMPFrameSource source(*decoder);
    source.Open(&stream, true);
    const auto& info = source.OutputInfo();
    const int64_t bytes = int64_t(minute) * 60 * info.SampleRate * info.Channels * 2;
    const int64_t frame = (bytes + source.FrameBytes() - 1) / source.FrameBytes();
    for (const char* how : {"walking the frames", "from the seek table"}) {
        const auto start = Clock::now();
        const int32_t landed = source.SeekToFrame(frame);
        std::printf("seek to %d:00 %s: %.2f ms (frame %d)\n", minute, how, Milliseconds(Clock::now() - start),
                    landed);
    }
    return 0;
}

// The first half of Play's work as the worker does it: open the server stream, decode frames and
// hand them over until the first block has gone to the server.
void FirstBlock(const std::string& file)
{
    pt4::TMPFileStream stream(file);
    auto decoder = std::make_unique<pt4::DecoderState>();
    pt4::TMPFrameSource source(*decoder);
    source.Open(&stream, true);
    pt4::TSoundOut out;
    out.SetSampleRate(source.OutputInfo().SampleRate);
    out.SetChannels(source.OutputInfo().Channels);
    out.SetBitsPerSample(source.OutputInfo().Bits);
    std::vector<uint8_t> pcm(pt4::TMPFrameSource::kPcmBufferSize);
    const auto start = Clock::now();
    out.Open();
    while (out.FreeSpacePercent() > 75 && source.ProduceFrame(pcm.data()) != pt4::TFrameOutcome::EndOfData)
        out.Write(pcm.data(), source.LastFrameBytes());
    std::printf("server stream opened and the first block handed to it: %.1f ms\n",
                Milliseconds(Clock::now() - start));
    out.Reset();
    out.Close();
}

int Start(const std::string& file)
{
    FirstBlock(file);
    pt4::TMP3Player player;
    player.SetAutoPlay(false);
    player.SetFileName(file);
    const auto start = Clock::now();
    player.Play();
    while (player.Position() == 0) {
        if (Clock::now() - start > std::chrono::seconds(10)) {
            std::puts("no sound within 10 s");
            return 1;
        }
        player.MessageWindow().DispatchMessages();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::printf("Play to the first sound played by the server: %.1f ms\n",
                Milliseconds(Clock::now() - start));
    player.Stop();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "seek" && argc == 4)
        return Seek(argv[2], std::atoi(argv[3]));
    if (mode == "start" && argc == 3)
        return Start(argv[2]);
    std::fputs("usage: player_bench seek LONG.mp3 MINUTE | player_bench start FILE\n", stderr);
    return 2;
}
