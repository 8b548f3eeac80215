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

// Opens a stream that cannot seek as the player will, so that what the open has to wait for
// arrives here and its failure is found here; the stream comes back with the bytes read so far
// to be read again.
std::unique_ptr<TMPStream> Measured(std::unique_ptr<TMPStream> stream, const std::stop_token& stop)
{
    TMPRecordingStream recording(*stream);
    {
        const std::stop_callback interrupt(stop, [&stream] { Interrupt(*stream); });
        ProbeSource(recording, false, stop);
    }
    return MakeReplayStream(std::move(stream), recording.TakeRecording());
}

std::mutex hookLock;
TLocationOpener::THook openingHook; // under hookLock

void RunHook(const std::string& location, const std::stop_token& stop)
{
    TLocationOpener::THook hook;
    {
        std::lock_guard held(hookLock);
        hook = openingHook;
    }
    if (hook)
        hook(location, stop);
}

} // namespace

TProbedSource ProbeSource(TMPStream& stream, bool seekable, const std::stop_token& stop)
{
    TProbedSource probed;
    probed.Decoder = std::make_unique<DecoderState>();
    probed.Source = std::make_unique<TMPFrameSource>(*probed.Decoder);
    try {
        probed.Source->Open(&stream, seekable);
    } catch (...) {
        if (stop.stop_requested())
            throw EStreamCancelled();
        throw;
    }
    if (stop.stop_requested())
        throw EStreamCancelled();
    return probed;
}

void TLocationOpener::SetOpeningHook(THook hook)
{
    std::lock_guard held(hookLock);
    openingHook = std::move(hook);
}

TLocationOpener::TLocationOpener(std::function<void(uint64_t id)> finished) : finished_(std::move(finished))
{
}

TLocationOpener::~TLocationOpener()
{
    Cancel();
    CancelNext();
    for (const std::unique_ptr<TAttempt>& attempt : attempts_)
        attempt->Thread.join();
}

bool TLocationOpener::OpensInBackground(const std::string& location)
{
    return location == "-" || IsUrl(location) || HasPlaylistExtension(location);
}

uint64_t TLocationOpener::Start(const std::string& location)
{
    Cancel();
    return Begin(location, false);
}

uint64_t TLocationOpener::StartWork(TWork work)
{
    Cancel();
    return Begin({}, false, std::move(work));
}

uint64_t TLocationOpener::StartNext(const std::string& location)
{
    CancelNext();
    return Begin(location, true);
}

uint64_t TLocationOpener::Begin(const std::string& location, bool next, TWork work)
{
    auto attempt = std::make_unique<TAttempt>();
    attempt->Id = ++lastId_;
    attempt->Next = next;
    attempt->Location = location;
    attempt->Work = std::move(work);
    TAttempt& started = *attempt;
    {
        std::lock_guard held(mutex_);
        (next ? currentNext_ : current_) = started.Id;
    }
    attempts_.push_back(std::move(attempt));
    started.Thread = std::thread([this, &started] { Run(started); });
    return started.Id;
}

bool TLocationOpener::Cancel()
{
    return End(current_);
}

bool TLocationOpener::CancelNext()
{
    return End(currentNext_);
}

bool TLocationOpener::End(uint64_t& current)
{
    if (current == 0)
        return false;
    for (const std::unique_ptr<TAttempt>& attempt : attempts_)
        if (attempt->Id == current)
            attempt->Stop.request_stop(); // its stop callbacks end its waits, here and now
    {
        std::lock_guard held(mutex_);
        current = 0;
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
    return Finish(id, current_);
}

std::optional<TOpenResult> TLocationOpener::TakeNext(uint64_t id)
{
    return Finish(id, currentNext_);
}

std::optional<TOpenResult> TLocationOpener::Finish(uint64_t id, uint64_t& current)
{
    std::optional<TOpenResult> result;
    {
        std::lock_guard held(mutex_);
        if (id == 0 || id != current)
            return std::nullopt;
        for (const std::unique_ptr<TAttempt>& attempt : attempts_)
            if (attempt->Id == id && attempt->Done)
                result = std::move(attempt->Result);
        if (!result)
            return std::nullopt;
        current = 0;
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
            done = (*it)->Done && (*it)->Id != current_ && (*it)->Id != currentNext_;
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
        if (!attempt.Work) {
            RunHook(attempt.Location, stop);
            if (stop.stop_requested())
                throw EStreamCancelled();
        }
        if (attempt.Work) {
            // Run and freed here, on its own thread.
            result.Value = std::exchange(attempt.Work, nullptr)(stop);
        } else if (attempt.Next) {
            // Only a local file follows another: a station or a pipe is opened as usual once the
            // file before has ended.
            if (OpensInBackground(attempt.Location))
                throw EStreamCancelled();
            TOpenedLocation opened = OpenLocation(attempt.Location, stop);
            if (!opened.seekable)
                throw EStreamCancelled();
            result.Probed = ProbeSource(*opened.stream, true, stop);
            result.Seekable = true;
            result.Stream = std::move(opened.stream);
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
        current = attempt.Id == (attempt.Next ? currentNext_ : current_);
        if (current) {
            result.PlayWhenOpened = attempt.Result.PlayWhenOpened;
            attempt.Result = std::move(result);
        }
        attempt.Done = true;
    }
    if (current)
        finished_(attempt.Id);
    // A stale attempt's stream or value is freed here, on its own thread, as `result` goes (the
    // stream after the source that reads it).
}

} // namespace pt4
