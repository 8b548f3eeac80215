#include "mp3plyr/output/pulse_device.h"

#include "mp3plyr/output/messages.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <mutex>

namespace pt4 {

namespace {

constexpr const char* kProgramName = "Plumtone4";
// A server that has not answered within this time counts as unreachable.
constexpr pa_usec_t kReplyTimeout = 3 * PA_USEC_PER_SEC;
// Sound the server keeps ahead of the speakers: a pause or a volume change is heard within it.
// Blocks written beyond it wait in the server's queue.
constexpr pa_usec_t kServerLatency = 200 * PA_USEC_PER_MSEC;
// While blocks are queued the server is asked for its timing at least this often.
constexpr pa_usec_t kFreshTiming = 200 * PA_USEC_PER_MSEC;
// More than a resampler keeps back from a stream that has run dry.
constexpr pa_usec_t kResamplerResidue = 30 * PA_USEC_PER_MSEC;
// The shortest wait between two looks at the server's timing.
constexpr pa_usec_t kCheckMargin = 5 * PA_USEC_PER_MSEC;

class TLoopLock {
public:
    explicit TLoopLock(pa_threaded_mainloop* loop) : loop_(loop) { pa_threaded_mainloop_lock(loop_); }
    ~TLoopLock() { pa_threaded_mainloop_unlock(loop_); }
    TLoopLock(const TLoopLock&) = delete;
    TLoopLock& operator=(const TLoopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

void SignalLoop(void* loop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
}

void OnContextState(pa_context*, void* loop)
{
    SignalLoop(loop);
}

void OnOperationState(pa_operation*, void* loop)
{
    SignalLoop(loop);
}

void OnStreamSuccess(pa_stream*, int success, void* result)
{
    *static_cast<int*>(result) = success;
}

void OnContextSuccess(pa_context*, int success, void* result)
{
    *static_cast<int*>(result) = success;
}

struct TDeadline {
    pa_threaded_mainloop* loop;
    bool passed = false;
};

void OnDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* deadline)
{
    auto* d = static_cast<TDeadline*>(deadline);
    d->passed = true;
    SignalLoop(d->loop);
}

// A threaded main loop with a context connected to the server. Its callbacks run on the loop's
// thread; every other use holds the loop's lock.
class TPulseConnection {
public:
    explicit TPulseConnection(const std::string& label)
    {
        try {
            Connect(label);
        } catch (...) {
            Release();
            throw;
        }
    }
    ~TPulseConnection() { Release(); }
    TPulseConnection(const TPulseConnection&) = delete;
    TPulseConnection& operator=(const TPulseConnection&) = delete;

    pa_threaded_mainloop* Loop() const { return loop_; }
    pa_context* Context() const { return context_; }

    // Loop locked. Waits until `done` holds: 0, or the server's error code when the connection
    // fails first or the time runs out.
    template <class Done> int WaitUntil(Done done, pa_usec_t timeout = kReplyTimeout)
    {
        TDeadline deadline{loop_};
        pa_time_event* timer =
            pa_context_rttime_new(context_, pa_rtclock_now() + timeout, OnDeadline, &deadline);
        int error = 0;
        while (!done()) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
                error = LastError();
                break;
            }
            if (deadline.passed) {
                error = PA_ERR_TIMEOUT;
                break;
            }
            pa_threaded_mainloop_wait(loop_);
        }
        if (timer != nullptr)
            pa_threaded_mainloop_get_api(loop_)->time_free(timer);
        return error;
    }

    // Loop locked. Waits for an operation to finish and lets it go: 0 or the error code. `success`
    // is the flag the operation's callback fills in, if it has one.
    int Complete(pa_operation* operation, const int* success = nullptr)
    {
        if (operation == nullptr)
            return LastError();
        pa_operation_set_state_callback(operation, OnOperationState, loop_);
        int error = WaitUntil([&] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        if (error != 0)
            pa_operation_cancel(operation);
        else if (pa_operation_get_state(operation) != PA_OPERATION_DONE ||
                 (success != nullptr && *success == 0))
            error = LastError();
        pa_operation_unref(operation);
        return error;
    }

    int LastError() const { return context_ != nullptr ? pa_context_errno(context_) : 0; }

    // The wave output's error with the server's text for `error` (default: the last one).
    [[noreturn]] void Raise(const std::string& label, int error = -1) const
    {
        if (error < 0)
            error = LastError();
        RaiseWaveOutError(error > 0 ? pa_strerror(error) : nullptr, label);
    }

private:
    void Connect(const std::string& label)
    {
        loop_ = pa_threaded_mainloop_new();
        if (loop_ == nullptr)
            RaiseWaveOutError(nullptr, label);
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_APPLICATION_NAME, kProgramName);
        context_ =
            pa_context_new_with_proplist(pa_threaded_mainloop_get_api(loop_), kProgramName, properties);
        pa_proplist_free(properties);
        if (context_ == nullptr)
            RaiseWaveOutError(nullptr, label);
        pa_context_set_state_callback(context_, OnContextState, loop_);
        if (pa_threaded_mainloop_start(loop_) < 0)
            RaiseWaveOutError(nullptr, label);

        TLoopLock lock(loop_);
        // Never start a server of our own: no server means no sound, reported at once.
        if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            Raise(label);
        const int error = WaitUntil([&] { return pa_context_get_state(context_) == PA_CONTEXT_READY; });
        if (error != 0)
            Raise(label, error);
    }

    void Release()
    {
        if (loop_ != nullptr)
            pa_threaded_mainloop_stop(loop_);
        if (context_ != nullptr) {
            pa_context_set_state_callback(context_, nullptr, nullptr);
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        if (loop_ != nullptr) {
            pa_threaded_mainloop_free(loop_);
            loop_ = nullptr;
        }
    }

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

// Positions are byte offsets in the stream as the server counts them. A block is handed back
// once the server's clock says it has been played to its last byte: a timer goes off when the
// next block is due, asks the server for fresh timing and checks.
class TPulseDevice final : public TWaveOutDevice {
public:
    TPulseDevice(const TWaveFormat& format, TMPThread& output, uint32_t left, uint32_t right,
                 const std::string& label)
        : output_(output), connection_(label)
    {
        spec_.format = format.BitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
        spec_.rate = uint32_t(format.SampleRate);
        spec_.channels = uint8_t(format.Channels);
        try {
            Connect(left, right, label);
        } catch (...) {
            ReleaseStream();
            throw;
        }
    }

    ~TPulseDevice() override { ReleaseStream(); }

    void WriteBlock(uint32_t, std::span<const uint8_t> block) override
    {
        static const std::string label = "TSoundOut.WaveWrite";
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        CheckRunning(label);
        if (!block.empty()) {
            if (pa_stream_write(stream_, block.data(), block.size(), nullptr, 0, PA_SEEK_RELATIVE) < 0)
                connection_.Raise(label);
            // Starts playback also when less than the server's start threshold is queued (the last
            // block of a short piece); otherwise the stream would wait for more forever.
            if (pa_operation* trigger = pa_stream_trigger(stream_, nullptr, nullptr))
                pa_operation_unref(trigger);
        }
        writeOffset_ += block.size();
        blockEnds_.push_back(writeOffset_);
        ScheduleCheck();
    }

    void Pause() override
    {
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        Cork(true, "TSoundOut.Pause");
        CancelCheck();
    }

    void Unpause() override
    {
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        Cork(false, "TSoundOut.Unpause");
        ScheduleCheck();
    }

    void Reset() override
    {
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        uint64_t restart = writeOffset_;
        if (!lost_) {
            // The results are not examined: the blocks come back in any case. Corking first
            // takes back what the sink has already mixed ahead, which a flush alone leaves playing.
            int done = 0;
            if (!corked_)
                connection_.Complete(pa_stream_cork(stream_, 1, OnStreamSuccess, &done), &done);
            connection_.Complete(pa_stream_flush(stream_, OnStreamSuccess, &done), &done);
            if (!corked_)
                connection_.Complete(pa_stream_cork(stream_, 0, OnStreamSuccess, &done), &done);
            int updated = 0;
            pa_operation* update = pa_stream_update_timing_info(stream_, OnStreamSuccess, &updated);
            if (connection_.Complete(update, &updated) == 0) {
                // The flush moved the server's write position back to where it stopped reading;
                // the next block starts there.
                const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
                if (timing != nullptr && !timing->write_index_corrupt)
                    restart = uint64_t(std::max<int64_t>(timing->write_index, 0));
            }
        }
        CancelCheck();
        ReturnAllBlocks();
        writeOffset_ = restart;
        resetOffset_ = restart;
        played_ = restart;
    }

    uint32_t PlayedBytes() override
    {
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        CheckRunning("TSoundOut.GetDoneBytes");
        return uint32_t(PlayedPosition() - resetOffset_);
    }

    void SetVolume(uint32_t left, uint32_t right) override
    {
        static const std::string label = "TSoundOut.SetVolumeToWaveDevice";
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        CheckRunning(label);
        const pa_cvolume gains = Gains(left, right);
        int done = 0;
        const int error = connection_.Complete(
            pa_context_set_sink_input_volume(connection_.Context(), pa_stream_get_index(stream_), &gains,
                                             OnContextSuccess, &done),
            &done);
        if (error != 0)
            connection_.Raise(label, error);
    }

    void Close() override { ReleaseStream(); }

private:
    pa_threaded_mainloop* Loop() const { return connection_.Loop(); }

    void Connect(uint32_t left, uint32_t right, const std::string& label)
    {
        TLoopLock lock(Loop());
        if (!pa_sample_spec_valid(&spec_))
            connection_.Raise(label, PA_ERR_INVALID);
        pa_channel_map map;
        if (pa_channel_map_init_auto(&map, spec_.channels, PA_CHANNEL_MAP_DEFAULT) == nullptr)
            connection_.Raise(label, PA_ERR_INVALID);
        pa_proplist* properties = pa_proplist_new();
        pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "music");
        stream_ = pa_stream_new_with_proplist(connection_.Context(), kProgramName, &spec_, &map, properties);
        pa_proplist_free(properties);
        if (stream_ == nullptr)
            connection_.Raise(label);
        pa_stream_set_state_callback(stream_, OnStreamState, this);

        pa_buffer_attr buffering;
        buffering.maxlength = uint32_t(-1);
        buffering.tlength = uint32_t(pa_usec_to_bytes(kServerLatency, &spec_));
        buffering.prebuf = uint32_t(-1);
        buffering.minreq = uint32_t(-1);
        buffering.fragsize = uint32_t(-1);
        const auto flags = pa_stream_flags_t(PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        const pa_cvolume gains = Gains(left, right);
        if (pa_stream_connect_playback(stream_, nullptr, &buffering, flags, &gains, nullptr) < 0)
            connection_.Raise(label);
        int error = connection_.WaitUntil([&] {
            return !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)) ||
                   pa_stream_get_state(stream_) == PA_STREAM_READY;
        });
        if (error == 0 && pa_stream_get_state(stream_) != PA_STREAM_READY)
            error = connection_.LastError();
        if (error != 0)
            connection_.Raise(label, error);
        // The clock is readable from the start.
        int updated = 0;
        error =
            connection_.Complete(pa_stream_update_timing_info(stream_, OnStreamSuccess, &updated), &updated);
        if (error != 0)
            connection_.Raise(label, error);
        // Created idle; armed whenever a block is due.
        check_ =
            pa_context_rttime_new(connection_.Context(), pa_rtclock_now() + kReplyTimeout, OnCheckDue, this);
        if (check_ == nullptr)
            connection_.Raise(label);
        CancelCheck();
    }

    void ReleaseStream()
    {
        TLoopLock lock(Loop());
        if (timingRequest_ != nullptr) {
            pa_operation_cancel(timingRequest_);
            pa_operation_unref(timingRequest_);
            timingRequest_ = nullptr;
        }
        if (check_ != nullptr) {
            pa_threaded_mainloop_get_api(Loop())->time_free(check_);
            check_ = nullptr;
        }
        if (stream_ != nullptr) {
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
    }

    pa_cvolume Gains(uint32_t left, uint32_t right) const
    {
        auto gain = [](uint32_t linear) {
            return pa_sw_volume_from_linear(std::min(linear, 65535u) / 65535.0);
        };
        pa_cvolume gains;
        pa_cvolume_init(&gains);
        gains.channels = spec_.channels;
        // A mono stream has one volume; the left one stands for it.
        gains.values[0] = gain(left);
        if (spec_.channels > 1)
            gains.values[1] = gain(right);
        return gains;
    }

    void CheckRunning(const std::string& label) const
    {
        if (lost_ || stream_ == nullptr || pa_stream_get_state(stream_) != PA_STREAM_READY)
            connection_.Raise(label);
    }

    void Cork(bool cork, const std::string& label)
    {
        CheckRunning(label);
        int done = 0;
        const int error =
            connection_.Complete(pa_stream_cork(stream_, cork ? 1 : 0, OnStreamSuccess, &done), &done);
        if (error != 0)
            connection_.Raise(label, error);
        corked_ = cork;
    }

    // Loop locked. What the server's clock says has been played: what the sink has taken from the
    // stream, less what it still held ahead of the speaker when the server last reported, plus
    // the time since. It is never more than the sink has taken once the stream has stopped (corked
    // or run dry), never more than was written, and never less than before.
    uint64_t PlayedPosition()
    {
        const pa_timing_info* timing = pa_stream_get_timing_info(stream_);
        if (timing == nullptr || timing->read_index_corrupt || timing->read_index < 0)
            return played_;
        const uint64_t taken = uint64_t(timing->read_index);
        uint64_t ahead = pa_usec_to_bytes(timing->sink_usec, &spec_);
        if (!timing->playing && timing->since_underrun >= 0 && !corked_) {
            // Run dry: the newest part of what the sink holds is the silence it took since.
            const uint64_t silence = uint64_t(timing->since_underrun);
            ahead = ahead > silence ? ahead - silence : 0;
        }
        const uint64_t since = pa_usec_to_bytes(pa_timeval_age(&timing->timestamp), &spec_);
        const uint64_t estimate = taken + since > ahead ? taken + since - ahead : 0;
        const uint64_t limit = timing->playing ? writeOffset_ : std::min(taken, writeOffset_);
        uint64_t played = std::min(estimate, limit);
        // A stream that has run dry leaves a few frames in the server's resampler until more
        // comes; once the sink has played the rest, they count as played too.
        if (RanDry(*timing) && estimate >= taken)
            played = writeOffset_;
        played_ = std::max(played_, played);
        return played_;
    }

    bool RanDry(const pa_timing_info& timing) const
    {
        const int64_t written = int64_t(writeOffset_);
        return !timing.playing && timing.since_underrun >= 0 && !corked_ && !timing.write_index_corrupt &&
               timing.write_index == written &&
               written - timing.read_index <= int64_t(pa_usec_to_bytes(kResamplerResidue, &spec_));
    }

    // Loop locked. Arms the timer for when the next block is due.
    void ScheduleCheck()
    {
        if (blockEnds_.empty() || corked_ || lost_ || timingRequest_ != nullptr)
            return;
        const uint64_t due = blockEnds_.front();
        const uint64_t played = PlayedPosition();
        const pa_usec_t wait =
            std::clamp(due > played ? pa_bytes_to_usec(due - played, &spec_) : 0, kCheckMargin, kFreshTiming);
        pa_context_rttime_restart(connection_.Context(), check_, pa_rtclock_now() + wait);
    }

    void CancelCheck() { pa_threaded_mainloop_get_api(Loop())->time_restart(check_, nullptr); }

    void ReturnPlayedBlocks()
    {
        const uint64_t played = PlayedPosition();
        while (!blockEnds_.empty() && blockEnds_.front() <= played) {
            blockEnds_.pop_front();
            output_.PostMessage(MM_WOM_DONE);
        }
    }

    void ReturnAllBlocks()
    {
        for (size_t i = blockEnds_.size(); i > 0; --i)
            output_.PostMessage(MM_WOM_DONE);
        blockEnds_.clear();
    }

    static void OnCheckDue(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* device)
    {
        auto* self = static_cast<TPulseDevice*>(device);
        if (self->timingRequest_ != nullptr || self->lost_)
            return;
        self->timingRequest_ = pa_stream_update_timing_info(self->stream_, OnTimingInfo, self);
    }

    static void OnTimingInfo(pa_stream*, int, void* device)
    {
        auto* self = static_cast<TPulseDevice*>(device);
        if (self->timingRequest_ != nullptr) {
            pa_operation_unref(self->timingRequest_);
            self->timingRequest_ = nullptr;
        }
        self->ReturnPlayedBlocks();
        self->ScheduleCheck();
    }

    // A stream the server has dropped (or lost with the connection) plays nothing more: its
    // blocks come back at once so that nobody waits for them, and the next call reports it.
    static void OnStreamState(pa_stream* stream, void* device)
    {
        auto* self = static_cast<TPulseDevice*>(device);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
            self->lost_ = true;
            if (self->check_ != nullptr)
                self->CancelCheck();
            self->ReturnAllBlocks();
        }
        SignalLoop(self->Loop());
    }

    TMPThread& output_;
    pa_sample_spec spec_{};
    TPulseConnection connection_;
    // One call at a time, so that a reset's round trips are not interleaved with writes.
    std::mutex calls_;
    pa_stream* stream_ = nullptr;
    pa_time_event* check_ = nullptr;
    pa_operation* timingRequest_ = nullptr;
    // Where each queued block ends, oldest first.
    std::deque<uint64_t> blockEnds_;
    uint64_t writeOffset_ = 0;
    // Played bytes are counted from here since the last reset.
    uint64_t resetOffset_ = 0;
    uint64_t played_ = 0;
    bool corked_ = false;
    bool lost_ = false;
};

struct TServerVolume {
    std::string sink;
    pa_volume_t volume = PA_VOLUME_MUTED;
    bool found = false;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* result)
{
    if (info != nullptr && info->default_sink_name != nullptr)
        static_cast<TServerVolume*>(result)->sink = info->default_sink_name;
}

void OnSinkInfo(pa_context*, const pa_sink_info* info, int, void* result)
{
    if (info == nullptr)
        return;
    auto* r = static_cast<TServerVolume*>(result);
    r->volume = pa_cvolume_max(&info->volume);
    r->found = true;
}

} // namespace

std::unique_ptr<TWaveOutDevice> OpenPulseDevice(const TWaveFormat& format, TMPThread& output, uint32_t left,
                                                uint32_t right, const std::string& label)
{
    return std::make_unique<TPulseDevice>(format, output, left, right, label);
}

uint32_t ReadServerVolume(const std::string& label)
{
    TPulseConnection connection(label);
    TLoopLock lock(connection.Loop());
    TServerVolume result;
    int error = connection.Complete(pa_context_get_server_info(connection.Context(), OnServerInfo, &result));
    if (error != 0)
        connection.Raise(label, error);
    if (result.sink.empty())
        connection.Raise(label, PA_ERR_NOENTITY);
    error = connection.Complete(
        pa_context_get_sink_info_by_name(connection.Context(), result.sink.c_str(), OnSinkInfo, &result));
    if (error != 0)
        connection.Raise(label, error);
    if (!result.found)
        connection.Raise(label, PA_ERR_NOENTITY);
    const double linear = pa_sw_volume_to_linear(result.volume);
    return uint32_t(std::lround(std::min(linear, 1.0) * 65535.0));
}

} // namespace pt4
