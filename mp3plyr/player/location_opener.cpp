#include "mp3plyr/player/location_opener.h"

#include "mp3plyr/input/descriptor_stream.h"
#include "mp3plyr/input/location.h"
#include "mp3plyr/input/playlist_file.h"
#include "mp3plyr/input/replay_stream.h"
#include "mp3plyr/player/frame_source.h"

#include <utility>

namespace pt4 {
namespace {

// Makes the stream's waiting reads return at once.
void Interrupt(TMPStream& stream)
{
    if (auto* live = dynamic_cast<TMPLiveStream*>(&stream))
        live->Interrupt();
    else if (auto* pipe = dynamic_cast<TMPDescriptorStream*>(&stream))
        pipe->Interrupt();
}

// Opens a stream that cannot seek as the player will, with a decoder of its own, so that what
// the open has to wait for arrives here and its failure is found here; the stream comes back
// with the bytes read so far to be read again.
std::unique_ptr<TMPStream> Measured(std::unique_ptr<TMPStream> stream, const std::stop_token& stop)
{
    TMPRecordingStream recording(*stream);
    {
        const std::stop_callback interrupt(stop, [&stream] { Interrupt(*stream); });
        auto decoder = std::make_unique<DecoderState>();
        TMPFrameSource probe(*decoder);
        try {
            probe.Open(&recording, false);
        } catch (...) {
            if (stop.stop_requested())
                throw EStreamCancelled();
            throw;
        }
    }
    if (stop.stop_requested())
        throw EStreamCancelled();
    return MakeReplayStream(std::move(stream), recording.TakeRecording());
}

} // namespace

TLocationOpener::TLocationOpener(std::function<void(uint64_t id)> finished) : finished_(std::move(finished))
{
}

TLocationOpener::~TLocationOpener()
{
    Cancel();
    for (const std::unique_ptr<TAttempt>& attempt : attempts_)
        attempt->Thread.join();
}

bool TLocationOpener::OpensInBackground(const std::string& location)
{
    return location == "-" || IsUrl(location) || HasPlaylistExtension(location);
}

uint64_t TLocationOpener::Start(const std::string& location)
{
    return StartAttempt(location, nullptr);
}

uint64_t TLocationOpener::StartWork(TWork work)
{
    return StartAttempt({}, std::move(work));
}

uint64_t TLocationOpener::StartAttempt(std::string location, TWork work)
{
    Cancel();
    auto attempt = std::make_unique<TAttempt>();
    attempt->Id = ++lastId_;
    attempt->Location = std::move(location);
    attempt->Work = std::move(work);
    TAttempt& started = *attempt;
    {
        std::lock_guard held(mutex_);
        current_ = started.Id;
    }
    attempts_.push_back(std::move(attempt));
    started.Thread = std::thread([this, &started] { Run(started); });
    return started.Id;
}

bool TLocationOpener::Cancel()
{
    if (current_ == 0)
        return false;
    for (const std::unique_ptr<TAttempt>& attempt : attempts_)
        if (attempt->Id == current_)
            attempt->Stop.request_stop(); // its stop callbacks end its waits, here and now
    {
        std::lock_guard held(mutex_);
        current_ = 0;
    }
    Reap();
    return true;
}

void TLocationOpener::PlayWhenOpened()
{
    std::lock_guard held(mutex_);
    for (const std::unique_ptr<TAttempt>& attempt : attempts_)
        if (attempt->Id == current_)
            attempt->Result.PlayWhenOpened = true;
}

std::optional<TOpenResult> TLocationOpener::Take(uint64_t id)
{
    std::optional<TOpenResult> result;
    {
        std::lock_guard held(mutex_);
        if (id == 0 || id != current_)
            return std::nullopt;
        for (const std::unique_ptr<TAttempt>& attempt : attempts_)
            if (attempt->Id == id && attempt->Done)
                result = std::move(attempt->Result);
        if (!result)
            return std::nullopt;
        current_ = 0;
    }
    Reap();
    return result;
}

void TLocationOpener::Reap()
{
    for (auto it = attempts_.begin(); it != attempts_.end();) {
        bool done = false;
        {
            std::lock_guard held(mutex_);
            done = (*it)->Done && (*it)->Id != current_;
        }
        if (!done) {
            ++it;
            continue;
        }
        (*it)->Thread.join();
        it = attempts_.erase(it); // frees a result nobody took
    }
}

void TLocationOpener::Run(TAttempt& attempt)
{
    const std::stop_token stop = attempt.Stop.get_token();
    TOpenResult result;
    try {
        if (attempt.Work) {
            result.Value = std::exchange(attempt.Work, nullptr)(stop);
        } else {
            TOpenedLocation opened = OpenLocation(attempt.Location, stop);
            result.Seekable = opened.seekable;
            result.Stream =
                opened.seekable ? std::move(opened.stream) : Measured(std::move(opened.stream), stop);
        }
    } catch (...) {
        result.Error = std::current_exception();
    }
    bool current = false;
    {
        std::lock_guard held(mutex_);
        current = attempt.Id == current_;
        if (current) {
            result.PlayWhenOpened = attempt.Result.PlayWhenOpened;
            attempt.Result = std::move(result);
        }
        attempt.Done = true;
    }
    if (current)
        finished_(attempt.Id);
    // A stale attempt's stream or value is freed here, on its own thread, as `result` goes.
}

} // namespace pt4
