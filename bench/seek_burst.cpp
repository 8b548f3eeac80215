// What a seek sounds like: plays the first frames of a file, seeks to a frame with the player's
// own seek and compares the frames that follow with a straight decode from the start.
//
//   seek_burst FILE FRAME [PLAYED]   play PLAYED frames (default 100), seek to FRAME, compare
//
// For each of the four frames after the seek it prints the peak of the straight decode, the
// peak after the seek and the largest difference between the two (16-bit samples).
#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/input/file_stream.h"
#include "mp3plyr/player/frame_source.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Frame = std::vector<int16_t>;

// Decodes from the read point on; `count` < 0 decodes to the end.
std::vector<Frame> DecodeFrames(pt4::TMPFrameSource& source, int count)
{
    std::vector<Frame> frames;
    std::vector<uint8_t> pcm(pt4::TMPFrameSource::kPcmBufferSize);
    while (count < 0 || int(frames.size()) < count) {
        const pt4::TFrameOutcome outcome = source.ProduceFrame(pcm.data());
        if (outcome == pt4::TFrameOutcome::EndOfData)
            break;
        if (outcome != pt4::TFrameOutcome::Frame)
            continue;
        Frame frame(size_t(source.FrameBytes()) / 2);
        std::memcpy(frame.data(), pcm.data(), frame.size() * 2);
        frames.push_back(std::move(frame));
    }
    return frames;
}

int Peak(const Frame& frame)
{
    int peak = 0;
    for (const int16_t v : frame)
        peak = std::max(peak, std::abs(int(v)));
    return peak;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: seek_burst FILE FRAME [PLAYED]\n", stderr);
        return 2;
    }
    const std::string file = argv[1];
    const int target = std::atoi(argv[2]);
    const int played = argc > 3 ? std::atoi(argv[3]) : 100;

    pt4::TMPFileStream straightStream(file);
    auto straightDecoder = std::make_unique<pt4::DecoderState>();
    // Whole frames, the encoder's delay kept, so that frame numbers mean the same in both.
    pt4::TOutputOptions whole;
    whole.Gapless = false;
    pt4::TMPFrameSource straight(*straightDecoder, whole);
    straight.Open(&straightStream, true);
    const std::vector<Frame> reference = DecodeFrames(straight, -1);

    pt4::TMPFileStream seekStream(file);
    auto seekDecoder = std::make_unique<pt4::DecoderState>();
    pt4::TMPFrameSource seeking(*seekDecoder, whole);
    seeking.Open(&seekStream, true);
    DecodeFrames(seeking, played);
    const auto& info = seeking.OutputInfo();
    // The time at which the frame starts, rounded down to the millisecond: the seek lands on it.
    const int64_t ms =
        int64_t(target) * seeking.FrameBytes() * 1000 / (int64_t(info.SampleRate) * info.Channels * 2);
    const int landed = int(seeking.SeekToTime(ms) / seeking.SamplesPerFrame());
    const std::vector<Frame> after = DecodeFrames(seeking, 4);
    std::printf("seek to %lld ms landed on frame %d\n", static_cast<long long>(ms), landed);
    for (size_t i = 0; i < after.size() && landed + i < reference.size(); ++i) {
        const Frame& want = reference[landed + i];
        int difference = 0;
        for (size_t n = 0; n < want.size(); ++n)
            difference = std::max(difference, std::abs(int(want[n]) - int(after[i][n])));
        std::printf("frame %zu: straight peak %d, after seek peak %d, largest difference %d\n", landed + i,
                    Peak(want), Peak(after[i]), difference);
    }
    return 0;
}
