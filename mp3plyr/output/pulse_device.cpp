#include "mp3plyr/output/pulse_device.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/runtime/messages.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace pt4 {

namespace {

constexpr const char* kProgramName = "Plumtone4";
// The longest any call waits for the server's answer; a server that takes longer is treated as
// gone.
constexpr pa_usec_t kReplyTimeout = 1 * PA_USEC_PER_SEC;
// A stream that has sound queued and is not paused, but whose played position has not moved for
// this long, has a server that does not respond.
constexpr pa_usec_t kStallTimeout = 5 * PA_USEC_PER_SEC;
// The server asks for more each time it has played this much: the rhythm in which played blocks
// come back, a few times a second at most, so that nothing here wakes more often. Two blocks of
// the ring; the ring keeps at least as much again queued when the request comes.
constexpr pa_usec_t kRequestInterval = 1 * PA_USEC_PER_SEC;
// What the server aims to hold: the sink's own latency comes out of what exceeds two requests,
// and stays a quarter of a second (a pause, a volume change or a seek is heard at once all the
// same: the server takes back what the sink mixed ahead).
constexpr pa_usec_t kServerTarget = 2250 * PA_USEC_PER_MSEC;
// Near the end of the sound the server is looked at at least this often, so that the end is
// played out in time (see DrainWhenRunningOut).
constexpr pa_usec_t kFreshTiming = 200 * PA_USEC_PER_MSEC;
// Sound held by the server that makes the end of what was written worth draining.
constexpr pa_usec_t kServerLatency = 200 * PA_USEC_PER_MSEC;
// A look at the server comes this much after the block it waits for is due, so that the block
// has surely been played by then (a graph server's clock may run a period ahead). Blocks go back when they
// are due, not at the server's next request: a station decoded only as fast as it comes has little more than
// a second in the ring, and played blocks held there would stop it writing while the sound runs out.
constexpr pa_usec_t kCheckMargin = 30 * PA_USEC_PER_MSEC;
// While paused, and while no block has come since the stream opened or was reset, the stream
// is kept fed with this much silence, topped up when a look at the server finds less than three
// quarters of it left: a stream that runs dry has some servers take back the start of what comes
// when it is fed again. Blocks overwrite the silence from where the server reads.
constexpr pa_usec_t kPauseFill = 400 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kPauseLook = 100 * PA_USEC_PER_MSEC;
// Silence after the end of what was written, at the least.
constexpr pa_usec_t kEndPadding = 50 * PA_USEC_PER_MSEC;

// Underflows the server reported for any stream of this process.
std::atomic<uint64_t> underruns{0};

// Owners of the client library's handles.
struct TLoopFree {
    void operator()(pa_threaded_mainloop* loop) const { pa_threaded_mainloop_free(loop); }
};
struct TContextFree {
    void operator()(pa_context* context) const
    {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};
struct TStreamFree {
    void operator()(pa_stream* stream) const
    {
        pa_stream_set_state_callback(stream, nullptr, nullptr);
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
};
struct TOperationFree {
    void operator()(pa_operation* operation) const { pa_operation_unref(operation); }
};
struct TProplistFree {
    void operator()(pa_proplist* properties) const { pa_proplist_free(properties); }
};
struct TTimerFree {
    pa_mainloop_api* api = nullptr;
    void operator()(pa_time_event* timer) const { api->time_free(timer); }
};
using TLoop = std::unique_ptr<pa_threaded_mainloop, TLoopFree>;
using TContext = std::unique_ptr<pa_context, TContextFree>;
using TStream = std::unique_ptr<pa_stream, TStreamFree>;
using TOperation = std::unique_ptr<pa_operation, TOperationFree>;
using TProplist = std::unique_ptr<pa_proplist, TProplistFree>;
using TTimer = std::unique_ptr<pa_time_event, TTimerFree>;

// Lets go of an operation whose answer nobody waits for.
void Forget(pa_operation* operation)
{
    if (operation != nullptr)
        pa_operation_unref(operation);
}

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

// The server's error codes for a server that is not there (any more).
bool ServerGone(int error)
{
    return error == PA_ERR_CONNECTIONREFUSED || error == PA_ERR_CONNECTIONTERMINATED;
}

// The wave output's error for the server's error code; a time-out means no answer. Where no
// server is there, the window says so in its own words and the server's text is the reason.
[[noreturn]] void RaiseServerError(int error, const std::string& label)
{
    if (error == PA_ERR_TIMEOUT)
        RaiseWaveOutError(kServerDoesNotRespond, label);
    if (ServerGone(error))
        throw EMP3Error(TErrorKind::Device, kNoSoundServerText,
                        std::string(pa_strerror(error)) + "(" + label + ")");
    RaiseWaveOutError(error > 0 ? pa_strerror(error) : nullptr, label);
}

std::string ConfiguredServer()
{
    const char* server = std::getenv("PULSE_SERVER");
    return server != nullptr ? server : "";
}

// A threaded main loop with a context connected to the server. Its callbacks run on the loop's
// thread; every other use holds the loop's lock.
class TPulseConnection {
public:
    // The connection the open streams share. The process holds it weakly, so its loop thread
    // ends with the last stream and a new one is made with the next; it is also made again when
    // the server it went to is gone or another server has been named meanwhile, and streams on
    // the old one keep it until they close.
    static std::shared_ptr<TPulseConnection> Shared(const std::string& label)
    {
        static std::mutex mutex;
        static std::weak_ptr<TPulseConnection> current; // guarded by mutex
        std::lock_guard guard(mutex);
        const std::string server = ConfiguredServer();
        if (std::shared_ptr<TPulseConnection> shared = current.lock(); shared && shared->Serves(server))
            return shared;
        std::shared_ptr<TPulseConnection> fresh(new TPulseConnection(server));
        fresh->Connect(label);
        current = fresh;
        return fresh;
    }

    ~TPulseConnection()
    {
        if (running_) {
            {
                TLoopLock lock(Loop());
                context_.reset();
            }
            pa_threaded_mainloop_stop(Loop());
        }
        context_.reset();
    }
    TPulseConnection(const TPulseConnection&) = delete;
    TPulseConnection& operator=(const TPulseConnection&) = delete;

    pa_threaded_mainloop* Loop() const { return loop_.get(); }
    pa_context* Context() const { return context_.get(); }
    pa_mainloop_api* Api() const { return pa_threaded_mainloop_get_api(loop_.get()); }

    // Loop locked. Waits until `done` holds: 0, or the server's error code when the connection
    // fails first, or PA_ERR_TIMEOUT when `deadline` (on the client library's clock) passes.
    template <class Done> int WaitUntil(Done done, pa_usec_t deadline)
    {
        TDeadline passed{Loop()};
        const TTimer timer(pa_context_rttime_new(Context(), deadline, OnDeadline, &passed), {Api()});
        while (!done()) {
            if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(Context())))
                return LastError();
            if (passed.passed || !timer)
                return PA_ERR_TIMEOUT;
            pa_threaded_mainloop_wait(Loop());
        }
        return 0;
    }

    // Loop locked. Waits for an operation to finish: 0 or the error code. `success` is the flag
    // the operation's callback fills in, if it has one. An operation that does not finish in
    // time is cancelled.
    int Complete(pa_operation* started, pa_usec_t deadline, const int* success = nullptr)
    {
        const TOperation operation(started);
        if (!operation)
            return LastError();
        pa_operation_set_state_callback(operation.get(), OnOperationState, Loop());
        const int error = WaitUntil(
            [&] { return pa_operation_get_state(operation.get()) != PA_OPERATION_RUNNING; }, deadline);
        pa_operation_set_state_callback(operation.get(), nullptr, nullptr);
        if (error != 0) {
            pa_operation_cancel(operation.get());
            return error;
        }
        if (pa_operation_get_state(operation.get()) != PA_OPERATION_DONE ||
            (success != nullptr && *success == 0))
            return LastError();
        return 0;
    }

    int LastError() const { return context_ ? pa_context_errno(context_.get()) : 0; }

private:
    explicit TPulseConnection(std::string server) : server_(std::move(server)) {}

    bool Serves(const std::string& server) const
    {
        TLoopLock lock(Loop());
        return server == server_ && PA_CONTEXT_IS_GOOD(pa_context_get_state(Context()));
    }

    void Connect(const std::string& label)
    {
        loop_.reset(pa_threaded_mainloop_new());
        if (!loop_)
            RaiseWaveOutError(nullptr, label);
        const TProplist properties(pa_proplist_new());
        pa_proplist_sets(properties.get(), PA_PROP_APPLICATION_NAME, kProgramName);
        context_.reset(pa_context_new_with_proplist(Api(), kProgramName, properties.get()));
        if (!context_)
            RaiseWaveOutError(nullptr, label);
        pa_context_set_state_callback(Context(), OnContextState, Loop());
        if (pa_threaded_mainloop_start(Loop()) < 0)
            RaiseWaveOutError(nullptr, label);
        running_ = true;

        TLoopLock lock(Loop());
        // Never start a server of our own: no server means no sound, reported at once.
        if (pa_context_connect(Context(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
            RaiseServerError(LastError(), label);
        const pa_usec_t deadline = pa_rtclock_now() + kReplyTimeout;
        int error = WaitUntil([&] { return pa_context_get_state(Context()) == PA_CONTEXT_READY; }, deadline);
        if (error == 0)
            error = Complete(pa_context_get_server_info(Context(), OnServerInfo, this), deadline);
        if (error != 0)
            RaiseServerError(error, label);
    }

    static void OnServerInfo(pa_context*, const pa_server_info* info, void* connection)
    {
        if (info != nullptr && info->server_name != nullptr)
            static_cast<TPulseConnection*>(connection)->graphServer_ =
                std::strstr(info->server_name, "PipeWire") != nullptr;
    }

public:
    // A server that plays through a processing graph in short periods (PipeWire): it asks for
    // more once a period whatever the stream asks for, and keeps what it was given in its own
    // queue rather than in the sink.
    bool GraphServer() const { return graphServer_; }

private:
    bool graphServer_ = false;

    const std::string server_;
    TLoop loop_;
    TContext context_;
    bool running_ = false;
};

// Positions are byte offsets in the stream as the server counts them. A block is handed back
// once the server's clock says it has been played to its last byte. The server's requests for
// more set the rhythm: when one comes and a block is due by the clock as last read, fresh timing
// is asked for and every played block goes back at once. A timer looks at the server only where
// no request comes in time: shortly after a block is due, near the end of the sound and while
// nothing has come since opening or a reset. Paused, the stream is corked and nothing here wakes.
//
// The stream always has two channels, so that the balance acts on mono sound as on stereo: a
// mono block is widened on its way to the server, and the played bytes are counted back in the
// block's own format.
class TPulseDevice final : public TWaveOutDevice {
public:
    TPulseDevice(const TWaveFormat& format, TMPThread& output, uint32_t left, uint32_t right,
                 const std::string& label, bool keepOnLoss)
        : output_(output), connection_(TPulseConnection::Shared(label)), keepOnLoss_(keepOnLoss)
    {
        spec_.format = format.BitsPerSample == 8 ? PA_SAMPLE_U8 : PA_SAMPLE_S16LE;
        spec_.rate = uint32_t(format.SampleRate);
        spec_.channels = 2;
        widen_ = format.Channels == 1 ? 2 : 1;
        sampleBytes_ = size_t(format.BitsPerSample / 8);
        try {
            Connect(left, right, label);
        } catch (...) {
            Release();
            throw;
        }
    }

    ~TPulseDevice() override { Release(); }

    void WriteBlock(uint32_t, std::span<const uint8_t> block) override
    {
        static const std::string label = "TSoundOut.WaveWrite";
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        CheckRunning(label);
        const bool wasEmpty = queued_.empty();
        if (wasEmpty)
            progressAt_ = pa_rtclock_now();
        ending_ = false;
        writeOffset_ += StreamBytes(block);
        queued_.push_back({writeOffset_, block});
        if (!paused_)
            SendQueued(label);
        // The timer already waits for the oldest block, unless little was queued.
        if (wasEmpty || queued_.size() <= 2)
            ScheduleCheck();
    }

    void PlayOut() override
    {
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        ending_ = !queued_.empty();
        // From now on the server is looked at often enough to play the end out.
        if (ending_)
            ScheduleCheck();
    }

    // The server drops what it has not mixed yet and plays out what it has, followed by
    // silence: nothing is taken back from the sink, so nothing is heard twice or lost, and the
    // sound stops within the sink's latency. The dropped part is sent again on resuming.
    void Pause() override
    {
        static const std::string label = "TSoundOut.Pause";
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        CheckRunning(label);
        if (paused_)
            return;
        paused_ = true;
        rejoin_ = false;
        Forget(pa_stream_flush(stream_.get(), nullptr, nullptr));
        // The flush moved the server's write position back to where the sink stopped taking,
        // which the answer after the silence tells.
        serverEnd_ = sent_;
        const uint64_t silence = FillWithSilence();
        const int64_t end = ServerWriteIndex(label);
        if (lost_)
            return;
        sent_ = std::clamp(uint64_t(std::max<int64_t>(end - int64_t(silence), 0)), played_, sent_);
        serverEnd_ = sent_ + silence;
        draining_ = false;
        drained_ = false;
        // Once the sink has played out what it had mixed before the flush, the stream is corked:
        // it then neither plays nor runs dry, and the server asks for nothing until it goes on.
        // Corking earlier would take back sound some sinks have already sent on.
        const pa_timing_info* timing = pa_stream_get_timing_info(stream_.get());
        const pa_usec_t mixed = timing != nullptr ? timing->sink_usec : 0;
        corkAt_ = pa_rtclock_now() + std::clamp(mixed + kPauseLook, 2 * kPauseLook, kPauseFill - kPauseLook);
        ScheduleCheck();
    }

    // The rest goes on where the server is reading its silence.
    void Unpause() override
    {
        static const std::string label = "TSoundOut.Unpause";
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        CheckRunning(label);
        if (!paused_)
            return;
        paused_ = false;
        rejoin_ = true;
        if (corked_) {
            // Playing its silence again first: the blocks then go where the server reads it, as
            // after a short pause.
            corked_ = false;
            Forget(pa_stream_cork(stream_.get(), 0, nullptr, nullptr));
            FillWithSilence();
        }
        SendQueued(label);
        if (lost_)
            return;
        // A stream resumed without blocks plays its silence and is kept fed until they come.
        if (queued_.empty()) {
            FillWithSilence();
            rejoin_ = true;
        }
        progressAt_ = pa_rtclock_now();
        ScheduleCheck();
    }

    void Reset() override
    {
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        uint64_t restart = sent_;
        if (!lost_) {
            // Sent together: the server answers in order, so the answer to the last one means
            // all are done. Corking first takes back what the sink has already mixed ahead, which
            // a flush alone leaves playing. Only the answer's arrival is examined: the blocks
            // come back in any case.
            pa_stream* stream = stream_.get();
            Forget(pa_stream_cork(stream, 1, nullptr, nullptr));
            Forget(pa_stream_flush(stream, nullptr, nullptr));
            corked_ = paused_;
            if (!corked_)
                Forget(pa_stream_cork(stream, 0, nullptr, nullptr));
            int updated = 0;
            const int error =
                connection_->Complete(pa_stream_update_timing_info(stream, OnStreamSuccess, &updated),
                                      pa_rtclock_now() + kReplyTimeout, &updated);
            if (error == 0) {
                timingAt_ = pa_rtclock_now();
                // The flush moved the server's write position back to where it stopped reading;
                // the next block starts there.
                const pa_timing_info* timing = pa_stream_get_timing_info(stream);
                if (timing != nullptr && !timing->write_index_corrupt)
                    restart = uint64_t(std::max<int64_t>(timing->write_index, 0));
            } else if (error == PA_ERR_TIMEOUT) {
                // Carries on as if the server had gone; the owner is stopping anyway.
                Fail(kServerDoesNotRespond, false);
            }
        }
        CancelCheck();
        ReturnAllBlocks();
        draining_ = false;
        drained_ = false;
        writeOffset_ = restart;
        sent_ = restart;
        resetOffset_ = restart;
        played_ = restart;
        heard_ = restart;
        gaps_.clear();
        rejoin_ = false;
        ending_ = false;
        serverEnd_ = restart;
        progressAt_ = pa_rtclock_now();
        if (!lost_) {
            // Paused, the stream stays corked and empty; resuming makes it play the silence.
            if (!paused_)
                FillWithSilence();
            rejoin_ = true;
            ScheduleCheck();
        }
    }

    uint32_t PlayedBytes() override
    {
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        CheckRunning("TSoundOut.GetDoneBytes");
        return CountPlayed(HeardPosition());
    }

    bool Gone() const override
    {
        TLoopLock lock(Loop());
        return gone_;
    }

    uint32_t PlayedOfOldest() const override
    {
        TLoopLock lock(Loop());
        return oldestPlayed_;
    }

    uint32_t PlayedAtLoss() const override
    {
        TLoopLock lock(Loop());
        return playedAtLoss_;
    }

    // Loop locked. The bytes of the blocks played up to `played`, in the blocks' own format, less
    // the silence between them.
    uint32_t CountPlayed(uint64_t played)
    {
        while (!gaps_.empty() && gaps_.front().start + gaps_.front().length <= played) {
            resetOffset_ += gaps_.front().length;
            gaps_.pop_front();
        }
        uint64_t silence = 0;
        for (const TGap& gap : gaps_)
            silence += std::clamp(played, gap.start, gap.start + gap.length) - gap.start;
        return uint32_t((played - resetOffset_ - silence) / widen_);
    }

    void SetVolume(uint32_t left, uint32_t right) override
    {
        static const std::string label = "TSoundOut.SetVolumeToWaveDevice";
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        CheckRunning(label);
        const int error = ApplyGains(left, right, pa_rtclock_now() + kReplyTimeout);
        if (error == PA_ERR_TIMEOUT)
            Fail(kServerDoesNotRespond, true);
        else if (error != 0)
            RaiseServerError(error, label);
    }

    void Close() override { Release(); }

    void StoreBlock(std::span<const uint8_t>) override { MP_ASSERT(false); }

    void RaiseFailure(const std::string& label) override
    {
        std::lock_guard calls(calls_);
        TLoopLock lock(Loop());
        if (lost_)
            RaiseWaveOutError(failure_.c_str(), label);
    }

    bool PlaysInRealTime() const override { return true; }

private:
    pa_threaded_mainloop* Loop() const { return connection_->Loop(); }
    pa_context* Context() const { return connection_->Context(); }

    void Connect(uint32_t left, uint32_t right, const std::string& label)
    {
        TLoopLock lock(Loop());
        if (!pa_sample_spec_valid(&spec_))
            RaiseServerError(PA_ERR_INVALID, label);
        pa_channel_map map;
        pa_channel_map_init_stereo(&map);
        const TProplist properties(pa_proplist_new());
        pa_proplist_sets(properties.get(), PA_PROP_MEDIA_ROLE, "music");
        stream_.reset(pa_stream_new_with_proplist(Context(), kProgramName, &spec_, &map, properties.get()));
        if (!stream_)
            RaiseServerError(connection_->LastError(), label);
        pa_stream_set_state_callback(stream_.get(), OnStreamState, this);
        pa_stream_set_write_callback(stream_.get(), OnRequest, this);
        pa_stream_set_underflow_callback(stream_.get(), OnUnderflow, this);

        pa_buffer_attr buffering;
        buffering.maxlength = uint32_t(-1);
        buffering.fragsize = uint32_t(-1);
        // A stream that ran dry starts again on its own once this much has come.
        buffering.prebuf = uint32_t(pa_usec_to_bytes(kServerLatency, &spec_));
        // Timing is asked for when it is needed (see OnRequest), not at the library's own pace,
        // which would wake the process many times a second.
        pa_stream_flags_t flags = PA_STREAM_NOFLAGS;
        if (connection_->GraphServer()) {
            // Its requests come once a period however large the stream's are; what it is given
            // plays at the latency asked for.
            buffering.tlength = uint32_t(pa_usec_to_bytes(kServerLatency, &spec_));
            buffering.minreq = uint32_t(-1);
            flags = PA_STREAM_ADJUST_LATENCY;
        } else {
            buffering.tlength = uint32_t(pa_usec_to_bytes(kServerTarget, &spec_));
            buffering.minreq = uint32_t(pa_usec_to_bytes(kRequestInterval, &spec_));
        }
        const pa_cvolume gains = Gains(left, right);
        if (pa_stream_connect_playback(stream_.get(), nullptr, &buffering, flags, &gains, nullptr) < 0)
            RaiseServerError(connection_->LastError(), label);
        const pa_usec_t deadline = pa_rtclock_now() + kReplyTimeout;
        int error = connection_->WaitUntil(
            [&] {
                const pa_stream_state_t state = pa_stream_get_state(stream_.get());
                return !PA_STREAM_IS_GOOD(state) || state == PA_STREAM_READY;
            },
            deadline);
        if (error == 0 && pa_stream_get_state(stream_.get()) != PA_STREAM_READY)
            error = connection_->LastError();
        if (error != 0)
            RaiseServerError(error, label);
        // Not every server heeds the volume given with a new stream; all heed the one the mixer
        // sets, so it is set that way too before the first block is written.
        error = ApplyGains(left, right, deadline);
        if (error != 0)
            RaiseServerError(error, label);
        // The clock is readable from the start.
        int updated = 0;
        error = connection_->Complete(pa_stream_update_timing_info(stream_.get(), OnStreamSuccess, &updated),
                                      deadline, &updated);
        if (error != 0)
            RaiseServerError(error, label);
        timingAt_ = pa_rtclock_now();
        // Created idle; armed whenever a block is due.
        check_ = TTimer(pa_context_rttime_new(Context(), pa_rtclock_now() + kReplyTimeout, OnCheckDue, this),
                        {connection_->Api()});
        if (!check_)
            RaiseServerError(connection_->LastError(), label);
        CancelCheck();
        FillWithSilence();
        rejoin_ = true;
        ScheduleCheck();
    }

    void Release()
    {
        TLoopLock lock(Loop());
        if (timingRequest_) {
            pa_operation_cancel(timingRequest_.get());
            timingRequest_.reset();
        }
        check_.reset();
        stream_.reset();
    }

    // Loop locked. The stream's channel volumes, as the mixer sets them: 0 or the error code.
    int ApplyGains(uint32_t left, uint32_t right, pa_usec_t deadline)
    {
        const pa_cvolume gains = Gains(left, right);
        int done = 0;
        return connection_->Complete(pa_context_set_sink_input_volume(Context(),
                                                                      pa_stream_get_index(stream_.get()),
                                                                      &gains, OnContextSuccess, &done),
                                     deadline, &done);
    }

    static pa_cvolume Gains(uint32_t left, uint32_t right)
    {
        auto gain = [](uint32_t linear) {
            return pa_sw_volume_from_linear(std::min(linear, 65535u) / 65535.0);
        };
        pa_cvolume gains;
        pa_cvolume_init(&gains);
        gains.channels = 2;
        gains.values[0] = gain(left);
        gains.values[1] = gain(right);
        return gains;
    }

    // A mono block with every sample doubled, in a buffer kept for the next blocks.
    std::span<const uint8_t> Widened(std::span<const uint8_t> block)
    {
        widened_.resize(2 * block.size());
        uint8_t* out = widened_.data();
        for (size_t i = 0; i + sampleBytes_ <= block.size(); i += sampleBytes_) {
            std::memcpy(out, block.data() + i, sampleBytes_);
            std::memcpy(out + sampleBytes_, block.data() + i, sampleBytes_);
            out += 2 * sampleBytes_;
        }
        return {widened_.data(), size_t(out - widened_.data())};
    }

    void CheckRunning(const std::string& label) const
    {
        if (lost_)
            RaiseWaveOutError(failure_.c_str(), label);
        if (!stream_ || pa_stream_get_state(stream_.get()) != PA_STREAM_READY)
            RaiseServerError(connection_->LastError(), label);
    }

    // The length of a block in the stream, where mono is widened to two channels.
    uint64_t StreamBytes(std::span<const uint8_t> block) const
    {
        return widen_ > 1 ? block.size() / sampleBytes_ * sampleBytes_ * widen_ : block.size();
    }

    // Loop locked. Sends the queued blocks' part the server has not been given. After a pause
    // the first of it overwrites the silence from where the server reads; the silence it
    // skipped is noted as a gap, and the blocks' positions move on by it.
    void SendQueued(const std::string& label)
    {
        uint64_t bytes = 0;
        for (const TQueuedBlock& queued : queued_) {
            const uint64_t begin = queued.end - StreamBytes(queued.block);
            if (queued.end <= sent_)
                continue;
            const uint64_t skip = sent_ > begin ? sent_ - begin : 0;
            const std::span<const uint8_t> sound =
                (widen_ > 1 ? Widened(queued.block) : queued.block).subspan(size_t(skip));
            const pa_seek_mode_t seek = rejoin_ && bytes == 0 ? PA_SEEK_RELATIVE_ON_READ : PA_SEEK_RELATIVE;
            if (pa_stream_write(stream_.get(), sound.data(), sound.size(), nullptr, 0, seek) < 0)
                RaiseServerError(connection_->LastError(), label);
            bytes += sound.size();
        }
        if (bytes == 0)
            return;
        // Starts playback also when less than the server's start threshold is queued (the last
        // block of a short piece); otherwise the stream would wait for more forever. A stream that
        // plays on needs no start (and its answer would wake this process once more).
        if (starved_ || draining_ || drained_ || rejoin_) {
            starved_ = false;
            Forget(pa_stream_trigger(stream_.get(), nullptr, nullptr));
        }
        draining_ = false;
        drained_ = false;
        // The silence the blocks went after: an end's padding, or the part of the silence
        // the server had read.
        uint64_t gap = serverEnd_ - sent_;
        if (rejoin_) {
            rejoin_ = false;
            const int64_t end = ServerWriteIndex(label);
            if (lost_)
                return;
            const uint64_t from = uint64_t(std::max<int64_t>(end - int64_t(bytes), 0));
            gap = from > sent_ ? from - sent_ : 0;
        }
        if (gap > 0) {
            gaps_.push_back({sent_, gap});
            for (TQueuedBlock& queued : queued_)
                if (queued.end > sent_)
                    queued.end += gap;
            writeOffset_ += gap;
        }
        sent_ = writeOffset_;
        serverEnd_ = writeOffset_;
    }

    // Loop locked. Tops the silence up to kPauseFill ahead of where the server reads; the bytes
    // written. Raises nothing: it also runs in the client library's callbacks.
    uint64_t FillWithSilence()
    {
        const pa_timing_info* timing = pa_stream_get_timing_info(stream_.get());
        const uint64_t read = timing != nullptr && !timing->read_index_corrupt && timing->read_index > 0
                                  ? uint64_t(timing->read_index)
                                  : 0;
        const uint64_t fill = pa_usec_to_bytes(kPauseFill, &spec_);
        const uint64_t wanted = std::max(read, sent_) + fill;
        if (serverEnd_ + fill / 4 > wanted)
            return 0;
        const uint64_t bytes = wanted - serverEnd_;
        if (!WriteSilence(bytes))
            return 0; // the stream has failed, which its state tells
        Forget(pa_stream_trigger(stream_.get(), nullptr, nullptr));
        return bytes;
    }

    // Loop locked. Silence after what the server has been given.
    bool WriteSilence(uint64_t bytes)
    {
        silence_.assign(size_t(bytes), spec_.format == PA_SAMPLE_U8 ? 0x80 : 0);
        if (pa_stream_write(stream_.get(), silence_.data(), silence_.size(), nullptr, 0, PA_SEEK_RELATIVE) <
            0)
            return false;
        serverEnd_ += bytes;
        return true;
    }

    // Loop locked. The server's write position, fresh; -1 when it did not answer in time, which
    // is treated as a server gone.
    int64_t ServerWriteIndex(const std::string& label)
    {
        int updated = 0;
        const int error =
            connection_->Complete(pa_stream_update_timing_info(stream_.get(), OnStreamSuccess, &updated),
                                  pa_rtclock_now() + kReplyTimeout, &updated);
        if (error == PA_ERR_TIMEOUT) {
            Fail(kServerDoesNotRespond, true);
            return -1;
        }
        if (error != 0)
            RaiseServerError(error, label);
        timingAt_ = pa_rtclock_now();
        const pa_timing_info* timing = pa_stream_get_timing_info(stream_.get());
        if (timing == nullptr || timing->write_index_corrupt)
            RaiseServerError(PA_ERR_INTERNAL, label);
        return timing->write_index;
    }

    // Loop locked. The stream plays nothing more: its blocks come back at once so that nobody
    // waits for them, and every later call raises `text`. With `report` the wave output's thread
    // is told first, so that it reports the failure before the blocks' return wakes anybody.
    //
    // A server that went away, when the owner asked for it, keeps the blocks instead: the owner
    // plays them again, from the first byte not heard, on a stream of a server that is back.
    void Fail(const std::string& text, bool report, bool gone = false)
    {
        if (lost_)
            return;
        lost_ = true;
        failure_ = text;
        if (timingRequest_) {
            pa_operation_cancel(timingRequest_.get());
            timingRequest_.reset();
        }
        if (check_)
            CancelCheck();
        if (keepOnLoss_ && gone) {
            gone_ = true;
            const uint64_t played = HeardPosition();
            playedAtLoss_ = CountPlayed(played);
            if (!queued_.empty()) {
                const TQueuedBlock& oldest = queued_.front();
                const uint64_t begin = oldest.end - StreamBytes(oldest.block);
                const uint64_t frame = pa_frame_size(&spec_);
                const uint64_t heard = played > begin ? (played - begin) / frame * frame / widen_ : 0;
                oldestPlayed_ = uint32_t(std::min<uint64_t>(heard, oldest.block.size()));
            }
            queued_.clear();
        }
        if (report)
            output_.PostMessage(TM_DEVICEFAILED);
        ReturnAllBlocks();
    }

    // Loop locked. What the server last reported as played: what the sink has taken from the
    // stream, less what it still held ahead of the speaker. Never more than was written, and
    // never less than before.
    uint64_t PlayedPosition()
    {
        const pa_timing_info* timing = pa_stream_get_timing_info(stream_.get());
        if (timing == nullptr || timing->read_index_corrupt || timing->read_index < 0)
            return played_;
        const uint64_t taken = uint64_t(timing->read_index);
        uint64_t ahead = pa_usec_to_bytes(timing->sink_usec, &spec_);
        if (!timing->playing && timing->since_underrun >= 0) {
            // Run dry: the newest part of what the sink holds is the silence it took since.
            const uint64_t silence = uint64_t(timing->since_underrun);
            ahead = ahead > silence ? ahead - silence : 0;
        }
        uint64_t played = std::min(taken > ahead ? taken - ahead : 0, sent_);
        // A stream that has run dry leaves a few frames in the server's resampler, or a part
        // period in its graph, until more comes; once the server has played out what it had and
        // the sink has played the rest, they count as played too.
        if (RanDry(*timing) && ahead == 0)
            played = sent_;
        // Some servers count a period as taken when it goes into their graph, before it is heard,
        // and drop it when the stream stops: the end of what was given counts as played once the
        // server says it has played everything out.
        const uint64_t frame = pa_frame_size(&spec_);
        if (draining_ && !drained_ && played >= sent_ && sent_ >= frame)
            played = sent_ - frame;
        if (played > played_) {
            played_ = played;
            progressAt_ = pa_rtclock_now();
        }
        return played_;
    }

    // Loop locked. The played position now: what the server last reported, moved on by the time
    // since, while the stream plays. Never more than was given to the server, and never less than
    // an earlier answer.
    uint64_t HeardPosition()
    {
        const uint64_t played = PlayedPosition();
        const pa_timing_info* timing = pa_stream_get_timing_info(stream_.get());
        uint64_t heard = played;
        if (timing != nullptr && timing->playing && !paused_ && !drained_ && !queued_.empty()) {
            const pa_usec_t now = pa_rtclock_now();
            if (now > timingAt_)
                heard = std::min(played + pa_usec_to_bytes(now - timingAt_, &spec_) / pa_frame_size(&spec_) *
                                              pa_frame_size(&spec_),
                                 sent_);
        }
        heard_ = std::clamp(heard_, played, sent_);
        heard_ = std::max(heard_, heard);
        return heard_;
    }

    bool RanDry(const pa_timing_info& timing) const
    {
        return drained_ && !timing.playing && timing.since_underrun >= 0;
    }

    // Loop locked. Arms the timer for the next look at the server: a little after the next block
    // is due, near the end of the sound at least every kFreshTiming, and while silence is played
    // before the first block every kPauseLook. Paused (corked) nothing is armed.
    void ScheduleCheck()
    {
        if (lost_ || timingRequest_)
            return;
        if (paused_) {
            if (!corked_)
                pa_context_rttime_restart(Context(), check_.get(), corkAt_);
            return;
        }
        if (queued_.empty() && !rejoin_)
            return;
        const uint64_t played = PlayedPosition();
        pa_usec_t wait = kPauseLook;
        if (!queued_.empty()) {
            const uint64_t due = queued_.front().end;
            const pa_usec_t left = due > played ? pa_bytes_to_usec(due - played, &spec_) : 0;
            // Near the end of the sound, or with little queued, nothing is late; nor while the
            // server's last answer said it was not playing yet, which leaves no clock to go by.
            const pa_timing_info* timing = pa_stream_get_timing_info(stream_.get());
            const bool close =
                ending_ || queued_.size() <= 1 || rejoin_ || timing == nullptr || !timing->playing;
            wait = close ? std::min(left + kCheckMargin, kFreshTiming) : left + kCheckMargin;
        }
        pa_context_rttime_restart(Context(), check_.get(), pa_rtclock_now() + wait);
    }

    void CancelCheck() { connection_->Api()->time_restart(check_.get(), nullptr); }

    void ReturnPlayedBlocks()
    {
        const uint64_t played = PlayedPosition();
        while (!queued_.empty() && queued_.front().end <= played) {
            queued_.pop_front();
            output_.PostMessage(MM_WOM_DONE);
        }
    }

    void ReturnAllBlocks()
    {
        for (size_t i = queued_.size(); i > 0; --i)
            output_.PostMessage(MM_WOM_DONE);
        queued_.clear();
    }

    // Loop locked. Asks the server for fresh timing; the answer hands back the played blocks. The
    // timer stands guard meanwhile: a server that answers nothing for kStallTimeout is gone.
    void LookAtServer()
    {
        if (timingRequest_ || lost_)
            return;
        timingRequest_.reset(pa_stream_update_timing_info(stream_.get(), OnTimingInfo, this));
        pa_context_rttime_restart(Context(), check_.get(), StallDeadline());
    }

    pa_usec_t StallDeadline() const
    {
        return std::max(progressAt_ + kStallTimeout, pa_rtclock_now() + kCheckMargin);
    }

    // Loop locked. A stream that should be playing but has not moved on for kStallTimeout fails;
    // true when it did.
    bool Stalled()
    {
        const pa_usec_t now = pa_rtclock_now();
        if (queued_.empty() || paused_) {
            progressAt_ = now;
            return false;
        }
        if (now - progressAt_ < kStallTimeout)
            return false;
        Fail(kServerDoesNotRespond, true);
        return true;
    }

    static void OnCheckDue(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* device)
    {
        auto* self = static_cast<TPulseDevice*>(device);
        if (self->lost_)
            return;
        if (self->paused_) {
            if (!self->corked_) {
                self->corked_ = true;
                Forget(pa_stream_cork(self->stream_.get(), 1, nullptr, nullptr));
            }
            return;
        }
        if (self->timingRequest_) {
            // No answer yet: a look at the server that is still waiting.
            if (!self->Stalled())
                pa_context_rttime_restart(self->Context(), self->check_.get(), self->StallDeadline());
            return;
        }
        self->LookAtServer();
    }

    // The server asks for more: it has played as much since its last request. When a block is
    // due by the clock as last read, the blocks go back now. Servers that ask far more often than
    // blocks are due cost nothing more than the request.
    static void OnRequest(pa_stream*, size_t, void* device)
    {
        auto* self = static_cast<TPulseDevice*>(device);
        if (self->lost_ || self->paused_ || self->timingRequest_ || self->queued_.empty())
            return;
        if (self->HeardPosition() >= self->queued_.front().end)
            self->LookAtServer();
    }

    // The stream ran dry: the server waits for its start threshold before it plays again.
    static void OnUnderflow(pa_stream*, void* device)
    {
        ++underruns;
        static_cast<TPulseDevice*>(device)->starved_ = true;
    }

    static void OnTimingInfo(pa_stream*, int, void* device)
    {
        auto* self = static_cast<TPulseDevice*>(device);
        self->timingRequest_.reset();
        if (self->lost_)
            return;
        self->timingAt_ = pa_rtclock_now();
        self->ReturnPlayedBlocks();
        if (self->Stalled())
            return;
        if (self->rejoin_ && !self->paused_)
            self->FillWithSilence();
        self->DrainWhenRunningOut();
        self->ScheduleCheck();
    }

    // Loop locked. Some servers play only whole periods of their graph and keep or skip a shorter
    // rest. When the server holds little more than its target latency and nothing more has been
    // written, the rest may be the end of the piece: the server is asked to play out what it has,
    // padded at the end of the sound. The look before the server gets there comes at most
    // kFreshTiming later.
    void DrainWhenRunningOut()
    {
        const pa_timing_info* timing = pa_stream_get_timing_info(stream_.get());
        if (draining_ || paused_ || queued_.empty() || timing == nullptr || timing->read_index_corrupt ||
            timing->write_index_corrupt || timing->write_index != int64_t(writeOffset_))
            return;
        const int64_t held = timing->write_index - timing->read_index;
        if (held > int64_t(pa_usec_to_bytes(kServerLatency + kFreshTiming, &spec_)))
            return;
        draining_ = true;
        // Some servers skip a rest shorter than the least they take at a time: at the end of the
        // sound, silence after it makes it whole. Blocks that come after all the same follow the
        // silence.
        if (ending_ && serverEnd_ == sent_) {
            const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream_.get());
            const uint64_t least = attr != nullptr ? attr->minreq : 0;
            WriteSilence(std::max(least, uint64_t(pa_usec_to_bytes(kEndPadding, &spec_))));
        }
        Forget(pa_stream_drain(stream_.get(), OnDrained, this));
    }

    static void OnDrained(pa_stream*, int, void* device)
    {
        auto* self = static_cast<TPulseDevice*>(device);
        // A server that cannot drain has nothing more to play either.
        if (!self->draining_ || self->lost_)
            return;
        self->drained_ = true;
        // The rest counts as played as soon as the sink is through with it.
        if (!self->timingRequest_)
            pa_context_rttime_restart(self->Context(), self->check_.get(), pa_rtclock_now());
    }

    // A stream the server has dropped (or lost with the connection) plays nothing more.
    static void OnStreamState(pa_stream* stream, void* device)
    {
        auto* self = static_cast<TPulseDevice*>(device);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
            const int error = self->connection_->LastError();
            const char* text = error > 0 ? pa_strerror(error) : nullptr;
            self->Fail(text != nullptr ? text : "", true, true);
        }
        SignalLoop(self->Loop());
    }

    TMPThread& output_;
    // Declared first, so that it goes last: the handles below belong to its loop.
    const std::shared_ptr<TPulseConnection> connection_;
    // The owner waits for a server that went away (see Fail).
    const bool keepOnLoss_;
    bool gone_ = false;
    uint32_t oldestPlayed_ = 0;
    uint32_t playedAtLoss_ = 0;
    pa_sample_spec spec_{};
    // 2 when mono blocks are widened to the stream's two channels, else 1.
    uint64_t widen_ = 1;
    size_t sampleBytes_ = 2;
    std::vector<uint8_t> widened_;
    // One call at a time, so that a reset's round trips are not interleaved with writes.
    std::mutex calls_;
    TStream stream_;
    TTimer check_;
    TOperation timingRequest_;
    // The blocks not yet played, oldest first, each with where it ends in the stream. They stay
    // untouched until handed back, so a pause can send their unplayed part again.
    struct TQueuedBlock {
        uint64_t end;
        std::span<const uint8_t> block;
    };
    std::deque<TQueuedBlock> queued_;
    // The end of the blocks taken, and of what the server has been given: the same but while
    // paused.
    uint64_t writeOffset_ = 0;
    uint64_t sent_ = 0;
    // Played bytes are counted from here since the last reset.
    uint64_t resetOffset_ = 0;
    uint64_t played_ = 0;
    // The played position as last estimated for the owner (HeardPosition).
    uint64_t heard_ = 0;
    // When the server's timing was last read.
    pa_usec_t timingAt_ = 0;
    // When the played position last moved on, or when it was last not expected to.
    pa_usec_t progressAt_ = 0;
    bool paused_ = false;
    // The next blocks sent go on where the server reads the silence.
    bool rejoin_ = false;
    // The end of what the server has been given: sent_, and any silence after it (while paused,
    // before the first block, or at the end of the sound).
    uint64_t serverEnd_ = 0;
    std::vector<uint8_t> silence_;
    // Stretches of silence played between blocks; they are not counted as played.
    struct TGap {
        uint64_t start;
        uint64_t length;
    };
    std::deque<TGap> gaps_;
    bool lost_ = false;
    // Paused and held by the server; while paused and not yet corked, when to cork.
    bool corked_ = false;
    pa_usec_t corkAt_ = 0;
    // The server reported the stream ran dry since it was last started.
    bool starved_ = false;
    // A drain has been asked for since the last block was written, and the server has played out
    // everything it was given.
    bool draining_ = false;
    bool drained_ = false;
    // The owner said no block follows for now.
    bool ending_ = false;
    std::string failure_;
};

} // namespace

uint64_t SoundServerUnderruns()
{
    return underruns.load();
}

std::unique_ptr<TWaveOutDevice> OpenPulseDevice(const TWaveFormat& format, TMPThread& output, uint32_t left,
                                                uint32_t right, const std::string& label, bool keepOnLoss)
{
    return std::make_unique<TPulseDevice>(format, output, left, right, label, keepOnLoss);
}

} // namespace pt4
