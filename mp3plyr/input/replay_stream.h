// Streams that cannot seek, read twice: a recording stream keeps every byte read through it, and
// a replay stream hands those bytes out again before it goes on with the stream's own. Opening a
// stream can so be tried on one thread and done again on another without waiting for its source.
#pragma once

#include "mp3plyr/input/live_stream.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace pt4 {

// Reads `stream` (not owned) and keeps a copy of what it delivered.
class TMPRecordingStream final : public TMPStream {
public:
    explicit TMPRecordingStream(TMPStream& stream) : stream_(stream) {}

    int32_t Read(void* buffer, int32_t count) override;
    int64_t Seek(int64_t offset, int origin) override { return stream_.Seek(offset, origin); }
    int64_t Size() override { return 0; }

    std::vector<uint8_t> TakeRecording() { return std::move(recorded_); }

private:
    TMPStream& stream_;
    std::vector<uint8_t> recorded_;
};

// `recorded`, then the rest of `stream`, which it owns. A live stream stays live: its waits,
// interruption and titles are those of the stream, its waits counting the recorded bytes.
std::unique_ptr<TMPStream> MakeReplayStream(std::unique_ptr<TMPStream> stream, std::vector<uint8_t> recorded);

} // namespace pt4
