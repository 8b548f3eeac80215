// Decodes an MPEG audio file through the decoder's entries, frame by frame along the headers,
// and reports the processor time per frame. Usage: layer3_decode_bench FILE [REPEATS]
#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/decoder/frame_header.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [REPEATS]\n", argv[0]);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    bytes.resize(bytes.size() + 4, 0); // read slack behind the last frame
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;

    auto state = std::make_unique<pt4::DecoderState>();
    std::vector<uint8_t> pcm(8192);
    long frames = 0;
    uint32_t checksum = 0;
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
            if (position + static_cast<size_t>(padded) + 4 > bytes.size())
                break;
            if (!initialised) {
                if (pt4::DecoderInit(*state, header, length, 0, 0, 0, 24000) != 1)
                    return 1;
                initialised = true;
            }
            const pt4::TDecodeResult result = pt4::DecodeFrame(*state, bytes.data() + position, pcm.data());
            checksum += pcm[static_cast<size_t>(frames % 1000)];
            position += static_cast<size_t>(result.InBytes > 0 ? result.InBytes : padded);
            ++frames;
        }
    }
    const double seconds = double(std::clock() - start) / CLOCKS_PER_SEC;
    std::printf("%ld frames in %.3f s: %.2f us per frame (checksum %u)\n", frames, seconds,
                frames ? seconds * 1e6 / double(frames) : 0.0, checksum);
    return 0;
}
