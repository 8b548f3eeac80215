// An HTTP(S) response body as a stream that cannot seek. A thread of its own runs the transfer
// and fills a bounded buffer that Read empties; a full buffer holds the transfer back. Redirects
// are followed, inline station metadata (ICY) is asked for and kept out of the audio, and the
// station's name and current title are available while it plays. Played (StartPlaying), it
// reconnects by itself when the connection ends or stalls, and rides out a pause in a larger
// buffer.
#pragma once

#include "mp3plyr/input/icy_metadata.h"
#include "mp3plyr/input/live_stream.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace pt4 {

class TMPHttpStream final : public TMPLiveStream {
public:
    struct Options {
        std::chrono::milliseconds connectTimeout{10000};
        // No byte from the server for this long while there is room to take one: the stream
        // fails with "the server stopped sending". The whole answer before the body (status
        // line and headers) must come within the same time, or "no answer from the server".
        std::chrono::milliseconds stallLimit{10000};
        size_t capacity = 256 * 1024;
        // The constructor returns once this many bytes are buffered (or the body has ended).
        size_t prebuffer = 8192;
        // A stop requested while the constructor waits makes it give up at once (it then throws
        // EStreamCancelled).
        std::stop_token stop;
    };

    // Starts the transfer and waits for the response and its first bytes. Throws EMP3Error
    // with a one-line text when the server cannot be reached, answers with an error status or
    // sends nothing.
    explicit TMPHttpStream(const std::string& url);
    TMPHttpStream(const std::string& url, const Options& options);
    ~TMPHttpStream() override;
    TMPHttpStream(const TMPHttpStream&) = delete;
    TMPHttpStream& operator=(const TMPHttpStream&) = delete;

    // Waits for data; 0 at the end of the body. Throws EMP3Error once the buffered bytes are
    // used up when the transfer failed.
    int32_t Read(void* buffer, int32_t count) override;
    // Throws EMP3Error.
    int64_t Seek(int64_t offset, int origin) override;
    int64_t Size() override { return 0; }

    bool WaitForData(int32_t bytes, std::chrono::milliseconds timeout) override;
    void Interrupt() override;
    std::string StreamTitle() const override;
    std::string StationName() const override;
    void SetOnTitlesChanged(std::function<void()> handler) override;
    uint64_t TitleOffset() const override;
    void StartPlaying(int32_t bytesPerSecond) override;
    void SetPaused(bool paused) override;
    TStationState State() const override;
    void SetOnStateChanged(std::function<void()> handler) override;

    // The final URL after redirects, and the type the server gave the body.
    std::string EffectiveUrl() const;
    std::string ContentType() const;
    // Whether the body is a playlist (.m3u or .pls) rather than audio, by its type, its URL or
    // its first bytes.
    bool IsPlaylist() const;
    // The body as text, up to `limit` bytes (waits for its end or for that many bytes). Throws
    // EMP3Error: "no answer from the server" when the text has not all come by the answer's
    // deadline (the stall limit after the request), or the transfer's failure.
    std::string ReadText(size_t limit);
    // Throws EMP3Error (Format) naming the type when the server said the body is something the
    // player does not decode (AAC, Ogg, a web page), before any of it is tried.
    void CheckAudioType() const;

    // A failure in the window's words (Japanese) and in English for the terminal.
    struct TFailure {
        std::string text;
        std::string reason;
        bool empty() const { return text.empty(); }
    };

private:
    struct Transfer;
    // How one attempt ended.
    struct TAttemptEnd {
        long status = 0;
        bool complete = false; // a body of declared length arrived whole
        TFailure failure;
    };

    size_t Available() const { return buffer_.size() - head_; }
    // What Read may hand out: while a played station's connection may still break, the bytes
    // of its largest frame stay back, so that a frame it cuts off is still here to be dropped
    // when the next connection's audio is joined on.
    size_t Readable() const
    {
        constexpr size_t kLargestFrame = 1441;
        if (ended_ || !reconnects_)
            return Available();
        return Available() > kLargestFrame ? Available() - kLargestFrame : 0;
    }
    void Run();
    TAttemptEnd RunAttempt();
    // After an attempt of a playing station ended: true when another is to be made (after its
    // pause); `held` locks mutex_.
    bool NextAttempt(const TAttemptEnd& end, std::unique_lock<std::mutex>& held);
    void Restart();
    // The audio of a new connection, from its first whole frame, after the whole frames of the
    // last one.
    void Join();
    void SetState(TStationState state);
    void NotifyState();
    size_t TakeBody(const char* data, size_t size);
    // False when the answer's headers grow too large (the transfer then stops).
    bool TakeHeader(std::string_view line);
    void NotifyTitles();
    // Takes up the titles whose audio has been reached; true when the title changed.
    bool ApplyTitles();

    Options options_;
    std::unique_ptr<Transfer> transfer_;
    std::string effectiveUrl_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<uint8_t> buffer_;
    size_t head_ = 0;
    bool ended_ = false;
    bool interrupted_ = false;
    bool cancelled_ = false;
    bool heldBack_ = false;
    bool bodyStarted_ = false;
    // The failure that ended the stream (Read throws it once the buffer is empty), and the one
    // that ended the current attempt.
    TFailure error_;
    TFailure failure_;
    long status_ = 0; // of the current attempt, also from an "ICY nnn" line

    // Reconnection (under mutex_).
    bool reconnects_ = false;
    bool reconnected_ = false;
    int failedTries_ = 0; // tries in a row that brought no audio
    uint64_t attemptAudio_ = 0;
    bool joining_ = false; // a new connection's audio waits in joinBytes_ for its first frame
    std::vector<uint8_t> joinBytes_;
    TStationState state_ = TStationState::Receiving;
    bool stateChanged_ = false;
    // Pausing: the buffer may grow to pauseCapacity_; past it reception stops (overflowed_) and
    // the end of the pause asks for a new connection (rejoin_).
    bool paused_ = false;
    size_t pauseCapacity_ = 0;
    bool overflowed_ = false;
    bool rejoin_ = false;
    std::chrono::steady_clock::time_point lastByte_;
    // The status line and the headers must all have come by then.
    std::chrono::steady_clock::time_point answerDeadline_;
    size_t headerBytes_ = 0;

    // Of the last response (redirects start afresh).
    long metaInterval_ = 0;
    std::string stationName_;
    std::string contentType_;
    std::string streamTitle_;
    uint64_t titleOffset_ = 0;
    TIcyDemuxer demuxer_;
    std::vector<uint8_t> audio_;
    std::vector<TIcyBlock> blocks_;
    // Titles that take effect once the audio before them has been read.
    struct PendingTitle {
        uint64_t at;
        std::string title;
    };
    std::deque<PendingTitle> pendingTitles_;
    uint64_t received_ = 0; // audio bytes buffered so far
    uint64_t consumed_ = 0; // audio bytes read so far

    std::mutex handlerMutex_;
    std::function<void()> onTitlesChanged_;
    std::function<void()> onStateChanged_;

    std::thread thread_;
};

} // namespace pt4
