#include "mp3plyr/input/replay_stream.h"

#include <algorithm>
#include <cstring>

namespace pt4 {
namespace {

// The recorded bytes not handed out yet. Used by one reading thread at a time, as every stream.
class TReplayBytes {
public:
    explicit TReplayBytes(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    size_t Left() const { return bytes_.size() - at_; }

    // From the recording while it lasts (never mixed with the stream's bytes in one read, so
    // that a read never waits while it has bytes to give), then from `stream`.
    int32_t Read(TMPStream& stream, void* buffer, int32_t count)
    {
        if (Left() == 0)
            return stream.Read(buffer, count);
        const size_t n = std::min(Left(), size_t(std::max(count, 0)));
        std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        if (Left() == 0) {
            bytes_.clear();
            bytes_.shrink_to_fit();
            at_ = 0;
        }
        return int32_t(n);
    }

private:
    std::vector<uint8_t> bytes_;
    size_t at_ = 0;
};

// The recorded bytes, then the rest of a stream of kind Base, which it owns.
template <class Base> class TReplay : public Base {
public:
    TReplay(std::unique_ptr<Base> stream, std::vector<uint8_t> recorded)
        : stream_(std::move(stream)), replay_(std::move(recorded))
    {
    }
    int32_t Read(void* buffer, int32_t count) override { return replay_.Read(*stream_, buffer, count); }
    int64_t Seek(int64_t offset, int origin) override { return stream_->Seek(offset, origin); }
    int64_t Size() override { return 0; }

protected:
    std::unique_ptr<Base> stream_;
    TReplayBytes replay_;
};

class TMPReplayLiveStream final : public TReplay<TMPLiveStream> {
public:
    using TReplay::TReplay;

    bool WaitForData(int32_t bytes, std::chrono::milliseconds timeout) override
    {
        const size_t left = replay_.Left();
        if (size_t(std::max(bytes, 0)) <= left)
            return true;
        return stream_->WaitForData(bytes - int32_t(left), timeout);
    }
    void Interrupt() override { stream_->Interrupt(); }
    std::string StreamTitle() const override { return stream_->StreamTitle(); }
    std::string StationName() const override { return stream_->StationName(); }
    // The recorded bytes are the stream's own first bytes: its offsets hold here as they are.
    uint64_t TitleOffset() const override { return stream_->TitleOffset(); }
    void SetOnTitlesChanged(std::function<void()> handler) override
    {
        stream_->SetOnTitlesChanged(std::move(handler));
    }
    void StartPlaying(int32_t bytesPerSecond) override { stream_->StartPlaying(bytesPerSecond); }
    void SetPaused(bool paused) override { stream_->SetPaused(paused); }
    TStationState State() const override { return stream_->State(); }
    void SetOnStateChanged(std::function<void()> handler) override
    {
        stream_->SetOnStateChanged(std::move(handler));
    }
};

} // namespace

int32_t TMPRecordingStream::Read(void* buffer, int32_t count)
{
    const int32_t n = stream_.Read(buffer, count);
    if (n > 0)
        recorded_.insert(recorded_.end(), static_cast<uint8_t*>(buffer), static_cast<uint8_t*>(buffer) + n);
    return n;
}

std::unique_ptr<TMPStream> MakeReplayStream(std::unique_ptr<TMPStream> stream, std::vector<uint8_t> recorded)
{
    if (auto* live = dynamic_cast<TMPLiveStream*>(stream.get())) {
        stream.release();
        return std::make_unique<TMPReplayLiveStream>(std::unique_ptr<TMPLiveStream>(live),
                                                     std::move(recorded));
    }
    return std::make_unique<TReplay<TMPStream>>(std::move(stream), std::move(recorded));
}

} // namespace pt4
