// An HTTP(S) response body as a stream that cannot seek. A thread of its own runs the transfer
// and fills a bounded buffer that Read empties; a full buffer holds the transfer back. Redirects
// are followed, inline station metadata (ICY) is asked for and kept out of the audio, and the
// station's name and current title are available while it plays.
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

private:
    struct Transfer;

    size_t Available() const { return buffer_.size() - head_; }
    void Run();
    void Fail(const std::string& text);
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
    std::string error_;
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

    std::thread thread_;
};

} // namespace pt4
