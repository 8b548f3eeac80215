// Any bytes opened as the player opens a file (tags, first frame, VBR header and the encoder's
// delay and padding), then played frame by frame with and without trimming, with seeks whose
// targets come from the bytes themselves. Every frame's PCM must fit its buffer and trimming
// may only shorten a frame.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/errors.h"
#include "mp3plyr/input/memory_stream.h"
#include "mp3plyr/player/frame_source.h"

namespace {

using namespace pt4;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void Play(std::span<const uint8_t> bytes, bool gapless, bool seekable)
{
    TMPMemoryStream stream(bytes);
    auto decoder = std::make_unique<DecoderState>();
    TOutputOptions options;
    options.Gapless = gapless;
    TMPFrameSource source(*decoder, options);
    try {
        source.Open(&stream, seekable);
    } catch (const EMP3Error&) {
        return;
    }
    Check(source.LengthMs() >= 0);
    std::vector<uint8_t> pcm(TMPFrameSource::kPcmBufferSize);
    // A seek target from the last bytes, so the fuzzer can steer it.
    const int64_t target = bytes.size() >= 2 ? (bytes[bytes.size() - 1] << 8 | bytes[bytes.size() - 2]) : 0;
    for (int step = 0; step < 400; ++step) {
        if (seekable && (step == 20 || step == 60))
            Check(source.SeekToTime(step == 20 ? target : target * 7) >= 0);
        const TFrameOutcome outcome = source.ProduceFrame(pcm.data());
        if (outcome == TFrameOutcome::EndOfData)
            break;
        if (outcome == TFrameOutcome::Frame)
            Check(source.LastFrameBytes() > 0 && source.LastFrameBytes() <= source.FrameBytes() &&
                  source.FrameBytes() <= TMPFrameSource::kPcmBufferSize);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    Play(bytes, true, true);
    Play(bytes, false, true);
    Play(bytes, true, false);
    return 0;
}
