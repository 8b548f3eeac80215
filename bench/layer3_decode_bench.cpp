// Decodes MPEG audio files through the decoder's entries, frame by frame along the headers, and
// reports the processor time per frame and how many times faster than real time that is.
// Usage: layer3_decode_bench [FILE [REPEATS]]; without a file it runs the fixtures of
// bench/fixtures (made by bench/make_fixtures.sh).
#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/decoder/frame_header.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

// Decodes `path` `repeats` times; prints the time per frame and the speed against real time.
int Run(const char* path, int repeats)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }

    auto state = std::make_unique<pt4::DecoderState>();
    std::vector<uint8_t> pcm(8192);
    long frames = 0;
    uint32_t checksum = 0;
    pt4::TDecoderInfo info;
    const std::clock_t start = std::clock();
    for (int r = 0; r < repeats; ++r) {
        size_t position = 0;
        bool initialised = false;
        while (position + 8 <= bytes.size()) {
            pt4::TMPFrameHeader header;
            const int32_t length = pt4::ParseFrameHeader(bytes.data() + position, 0, header);
            if (length < 1) {
                ++position; // resynchronise
                continue;
            }
            const int32_t padded = pt4::PaddedFrameLength(header, length);
            if (position + static_cast<size_t>(padded) > bytes.size())
                break;
            if (!initialised) {
                if (pt4::DecoderInit(*state, header, length) != 1)
                    return 1;
                pt4::GetDecoderInfo(*state, info);
                initialised = true;
            }
            const pt4::TDecodeResult result = pt4::DecodeFrame(*state, bytes.data() + position, pcm.data());
            checksum += pcm[static_cast<size_t>(frames % 1000)];
            position += static_cast<size_t>(result.InBytes > 0 ? result.InBytes : padded);
            ++frames;
        }
    }
    const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    const double audio =
        info.SampleRate > 0 ? double(frames) * (info.OutValues / info.Channels) / info.SampleRate : 0.0;
    std::printf("%-24s %ld frames in %.3f s: %.2f us per frame, %.0f x real time (checksum %u)\n",
                std::strrchr(path, '/') ? std::strrchr(path, '/') + 1 : path, frames, seconds,
                frames ? seconds * 1e6 / double(frames) : 0.0, seconds > 0 ? audio / seconds : 0.0, checksum);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        return Run(argv[1], argc > 2 ? std::atoi(argv[2]) : 5);
    int status = 0;
    for (const char* name : {"joint_128k_44k.mp3", "joint_320k_44k.mp3", "mpeg2_64k_22k.mp3"})
        status |= Run((std::string(PT4_SOURCE_DIR) + "/bench/fixtures/" + name).c_str(), 20);
    return status;
}
