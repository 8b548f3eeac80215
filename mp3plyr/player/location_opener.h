// Opens the locations that may keep their opener waiting (a station, standard input, a playlist
// that names either) on a thread of their own, one per attempt, so that the player's owner never
// waits for a server or a writer; and, beside that, the file that is to follow the one playing,
// probed and ready to decode before it is needed, so that neither the owner nor the worker waits
// for a slow disk. Each attempt has an id; only the latest of each kind is current, and starting
// or cancelling makes it stale. A stale attempt is told to give up at once (its waits for the
// server or the pipe end), and whatever it still opens is freed on its own thread.
// Everything but the hook belongs to the owner thread. An attempt may also run a piece of work
// of the owner's (StartWork: reading a list, say) instead of opening a location.
#pragma once

#include "mp3plyr/decoder/decoder.h"
#include "mp3plyr/input/stream.h"
#include "mp3plyr/player/frame_source.h"

#include <any>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

namespace pt4 {

// A stream opened as the player opens it, with a decoder of its own (TMPFrameSource::UseDecoder
// hands it to the player's): its tags, first frame and format are read.
struct TProbedSource {
    std::unique_ptr<DecoderState> Decoder;
    std::unique_ptr<TMPFrameSource> Source;
};
// The one way the player measures a stream before it plays it: a station or a pipe opened in
// the background, and the file that is to follow the one playing. Throws what the player's
// own open would throw; EStreamCancelled once `stop` is requested.
TProbedSource ProbeSource(TMPStream& stream, bool seekable, const std::stop_token& stop);

// What an attempt came to: an open stream whose first frames are already read (so that opening
// it again reads only memory), or the error that a synchronous open would have thrown.
struct TOpenResult {
    std::unique_ptr<TMPStream> Stream;
    bool Seekable = false;
    std::exception_ptr Error;
    // The owner asked to play while the attempt ran.
    bool PlayWhenOpened = false;
    // What the work of an attempt started by StartWork gave back.
    std::any Value;
    // For a file that is to follow: the source over Stream, ready to decode.
    TProbedSource Probed;
};

class TLocationOpener {
public:
    // `finished` runs on an attempt's thread, with its id, when the current attempt has its result.
    explicit TLocationOpener(std::function<void(uint64_t id)> finished);
    // Cancels the current attempt and waits for every attempt's thread to end.
    ~TLocationOpener();
    TLocationOpener(const TLocationOpener&) = delete;
    TLocationOpener& operator=(const TLocationOpener&) = delete;

    // Whether opening `location` may wait on something outside the process: "-", a URL, a
    // playlist (which may name either). Local files open in place.
    static bool OpensInBackground(const std::string& location);

    // Cancels the current attempt and starts one for `location`; returns its id.
    uint64_t Start(const std::string& location);
    // Cancels the current attempt and starts one that runs `work` instead of opening a location
    // (reading a list, say): its value is the result's Value, its exception the result's Error.
    // `work` gives up when its stop token is requested; it is freed on the attempt's thread.
    using TWork = std::function<std::any(const std::stop_token&)>;
    uint64_t StartWork(TWork work);
    // Cancels the current attempt; false when there was none.
    bool Cancel();
    // An attempt is current.
    bool Busy() const { return current_ != 0; }
    void PlayWhenOpened();
    // The result of attempt `id`, if it is the current one (which it then no longer is);
    // nothing for a stale id.
    std::optional<TOpenResult> Take(uint64_t id);

    // The file that is to follow: opened and probed in the background, beside an attempt of the
    // other kind. Only seekable local files follow another; anything else ends in an error.
    uint64_t StartNext(const std::string& location);
    bool CancelNext();
    std::optional<TOpenResult> TakeNext(uint64_t id);

    // For tests: runs on the opening thread as each attempt begins, before anything is opened
    // (a test slows the opening down, or notes which thread opens). Empty: nothing runs.
    using THook = std::function<void(const std::string& location, const std::stop_token& stop)>;
    static void SetOpeningHook(THook hook);

private:
    struct TAttempt {
        uint64_t Id = 0;
        bool Next = false;
        std::string Location;
        TWork Work; // run instead of opening Location, when set
        std::stop_source Stop;
        bool Done = false;  // under mutex_
        TOpenResult Result; // under mutex_ once Done
        std::thread Thread;
    };
    void Run(TAttempt& attempt);
    uint64_t Begin(const std::string& location, bool next, TWork work = nullptr);
    bool End(uint64_t& current);
    std::optional<TOpenResult> Finish(uint64_t id, uint64_t& current);
    // Joins the threads of the attempts that are done and not current.
    void Reap();

    std::function<void(uint64_t)> finished_;
    mutable std::mutex mutex_;
    // The id of the current attempt, 0 for none: written by the owner under mutex_.
    uint64_t current_ = 0;
    // The same for the file that is to follow.
    uint64_t currentNext_ = 0;
    uint64_t lastId_ = 0;
    // Every attempt whose thread has not been joined; the list itself belongs to the owner.
    std::list<std::unique_ptr<TAttempt>> attempts_;
};

} // namespace pt4
