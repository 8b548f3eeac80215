// Layer I/II decoding speed: whole frames through the decoder's entries (bitstream, synthesis
// and PCM), and the bitstream part alone with the output routine replaced by one that does
// nothing. Prints processor time per frame and the multiple of real time.
// Usage: layer12_decode_bench [FILE...] (default: the 192 kbit/s Layer II and 384 kbit/s Layer I
// fixtures)
#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/decoder/frame_header.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

double CpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + 1e-9 * double(now.tv_nsec);
}

void DiscardSlots(pt4::SynthesisContext&, const float*, uint8_t*, int) {}

uint32_t checksum = 0;

struct Stream {
    std::vector<uint8_t> Bytes; // frames back to back
    std::vector<size_t> Offsets;
    pt4::TMPFrameHeader First;
    int32_t FirstLength = 0;
};

bool Load(const std::string& path, Stream& stream)
{
    std::ifstream in(path, std::ios::binary);
    stream.Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    for (size_t position = 0; position + 4 <= stream.Bytes.size();) {
        pt4::TMPFrameHeader header;
        const int32_t length = pt4::ParseFrameHeader(stream.Bytes.data() + position, 0, header);
        const int32_t padded = pt4::PaddedFrameLength(header, length);
        if (length < 1 || position + size_t(padded) > stream.Bytes.size())
            break;
        if (stream.Offsets.empty()) {
            stream.First = header;
            stream.FirstLength = length;
        }
        stream.Offsets.push_back(position);
        position += size_t(padded);
    }
    return !stream.Offsets.empty();
}

// Seconds of processor time per frame, decoding the stream repeatedly for about half a second.
double TimePerFrame(const Stream& stream, bool bitstreamOnly)
{
    auto state = std::make_unique<pt4::DecoderState>();
    if (pt4::DecoderInit(*state, stream.First, stream.FirstLength) != 1)
        return 0;
    if (bitstreamOnly)
        state->Layer12Output = DiscardSlots;
    std::vector<uint8_t> pcm(8192);
    long frames = 0;
    const double start = CpuSeconds();
    double elapsed = 0;
    while (elapsed < 0.5) {
        for (size_t offset : stream.Offsets) {
            checksum += uint32_t(pt4::DecodeFrame(*state, stream.Bytes.data() + offset, pcm.data()).InBytes);
            checksum += pcm[size_t(frames) % 1024];
            ++frames;
        }
        elapsed = CpuSeconds() - start;
    }
    return elapsed / double(frames);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i)
        paths.emplace_back(argv[i]);
    if (paths.empty()) {
        // The fixtures beside this source file's folder (CMake compiles it by its full path).
        std::string fixtures = __FILE__;
        fixtures = fixtures.substr(0, fixtures.rfind('/') + 1) + "../tests/fixtures/layer12/";
        paths = {fixtures + "l2_44k_stereo_192.mp2", fixtures + "l1_32k_dual_384.mp1",
                 fixtures + "l1_44k_stereo_448.mp1"};
    }
    for (const std::string& path : paths) {
        Stream stream;
        if (!Load(path, stream)) {
            std::fprintf(stderr, "%s: no frames\n", path.c_str());
            return 1;
        }
        auto state = std::make_unique<pt4::DecoderState>();
        pt4::DecoderInit(*state, stream.First, stream.FirstLength);
        const double frameSeconds =
            double(state->Info.OutValues / state->Info.Channels) / double(state->Info.SampleRate);
        const double whole = TimePerFrame(stream, false);
        const double bitstream = TimePerFrame(stream, true);
        std::printf(
            "%s\n  whole frame   %7.2f us  (%6.0f x real time)\n  bitstream     %7.2f us  (%4.1f %%)\n",
            path.c_str(), whole * 1e6, frameSeconds / whole, bitstream * 1e6, 100 * bitstream / whole);
    }
    std::printf("(checksum %u)\n", checksum);
    return 0;
}
