#include "mp3plyr/input/http_stream.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/input/curl_library.h"
#include "mp3plyr/input/frame_alignment.h"
#include "mp3plyr/input/icy_metadata.h"
#include "mp3plyr/input/playlist_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace pt4 {
namespace {

using Clock = std::chrono::steady_clock;

// A hostile station must not fill the memory with text: the headers of one answer, a station
// name and the titles still waiting for their audio are all bounded.
constexpr size_t kMaxHeaderBytes = 64 * 1024;
constexpr size_t kMaxTextBytes = 4096;
constexpr size_t kMaxPendingTitles = 8;

// `text` cut to at most kMaxTextBytes, not inside a UTF-8 sequence.
std::string Bounded(std::string text)
{
    if (text.size() <= kMaxTextBytes)
        return text;
    size_t end = kMaxTextBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    text.resize(end);
    return text;
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

using TFailure = TMPHttpStream::TFailure;

// A playing station gets this many tries in a row that bring no audio before it gives up.
constexpr int kMaxFailedTries = 5;
// A pause is ridden out in at most 5 minutes of audio, and never more than 16 MiB.
constexpr size_t kPauseLimitBytes = 16 << 20;
constexpr int64_t kPauseLimitSeconds = 300;

// An answer with an error status: what the status means, in both languages.
TFailure StatusFailure(long status, bool again)
{
    const char* ja = "";
    const char* en = "";
    switch (status) {
    case 400:
        ja = "要求が正しくありません";
        en = "bad request";
        break;
    case 401:
        ja = "認証が必要です";
        en = "unauthorised";
        break;
    case 403:
        ja = "禁止されています";
        en = "forbidden";
        break;
    case 404:
        ja = "見つかりません";
        en = "not found";
        break;
    case 500:
        ja = "サーバーのエラー";
        en = "server error";
        break;
    case 503:
        ja = "利用できません";
        en = "unavailable";
        break;
    default: break;
    }
    const std::string code = "HTTP " + std::to_string(status);
    const std::string jaCode = *ja ? code + "（" + ja + "）" : code;
    const std::string enCode = *en ? code + " (" + en + ")" : code;
    if (again)
        return {"放送局が再接続を断りました: " + jaCode, "the station refused: " + enCode};
    return {"放送局が " + jaCode + " と答えました", "the server answered " + enCode};
}

// A transfer that ended with the library's `result`, said in plain words: the library's own
// texts never reach the user.
TFailure TransferFailure(CURLcode result)
{
    switch (result) {
    case CURLE_COULDNT_CONNECT:
        return {"放送局に接続できません（接続を拒否されました）", "the station refused the connection"};
    case CURLE_COULDNT_RESOLVE_HOST:
        return {"放送局のアドレスが見つかりません", "the station's host name was not found"};
    case CURLE_COULDNT_RESOLVE_PROXY:
        return {"プロキシのアドレスが見つかりません", "the proxy's host name was not found"};
    case CURLE_OPERATION_TIMEDOUT: return {"放送局から応答がありません", "no answer from the server"};
    case CURLE_URL_MALFORMAT: return {"放送局のアドレスが正しくありません", "the address is not a valid URL"};
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_WEIRD_SERVER_REPLY:
        return {"放送局の応答が HTTP ではありません", "the server's answer is not HTTP"};
    case CURLE_TOO_MANY_REDIRECTS:
        return {"放送局の転送先が多すぎます", "the station redirects too many times"};
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
        return {"放送局との暗号化された接続ができません", "the secure connection to the station failed"};
    case CURLE_OUT_OF_MEMORY:
        // The library's cap on one header line.
        return {"放送局の応答が大きすぎます", "the server's answer is too large (a header line over 100 KB)"};
    default: return {"放送局との接続が切れました", "the connection to the station broke"};
    }
}

const TFailure kNoAnswer{"放送局から応答がありません", "no answer from the server"};
const TFailure kStopped{"放送局からの送信が止まりました", "the server stopped sending"};
const TFailure kClosed{"放送局が接続を閉じました", "the station closed the connection"};
const TFailure kNotHttp{"放送局の応答が HTTP ではありません", "the server's answer is not HTTP"};
const TFailure kCannotStart{"放送局との通信を始められません", "cannot start an HTTP transfer"};

// An old streaming server's status line, which the library does not take for HTTP's: "ICY 404
// Not Found" gives 404; 0 when `start` is no such line (or too little of it came yet).
long IcyStatus(std::string_view start)
{
    if (start.size() < 7 || !start.starts_with("ICY "))
        return 0;
    long status = 0;
    for (const char c : start.substr(4, 3)) {
        if (c < '0' || c > '9')
            return 0;
        status = status * 10 + (c - '0');
    }
    return status;
}

} // namespace

struct TMPHttpStream::Transfer {
    const TCurlLibrary* curl = CurlLibrary();
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    curl_slist* okAliases = nullptr;
    char errorText[CURL_ERROR_SIZE] = {};

    ~Transfer()
    {
        if (!curl)
            return;
        if (multi && easy)
            curl->multi_remove_handle(multi, easy);
        if (easy)
            curl->easy_cleanup(easy);
        if (multi)
            curl->multi_cleanup(multi);
        curl->slist_free_all(headers);
        curl->slist_free_all(okAliases);
    }
};

TMPHttpStream::TMPHttpStream(const std::string& url) : TMPHttpStream(url, Options{}) {}

TMPHttpStream::TMPHttpStream(const std::string& url, const Options& options)
    : options_(options), transfer_(std::make_unique<Transfer>()), effectiveUrl_(url)
{
    Transfer& t = *transfer_;
    if (!t.curl)
        throw EMP3Error(TErrorKind::Network, kCannotStart.text, kCannotStart.reason);
    const TCurlLibrary& curl = *t.curl;
    t.multi = curl.multi_init();
    t.easy = curl.easy_init();
    if (!t.multi || !t.easy)
        throw EMP3Error(TErrorKind::Network, kCannotStart.text, kCannotStart.reason);
    t.headers = curl.slist_append(nullptr, "Icy-MetaData: 1");
    // Older streaming servers answer with this status line instead of HTTP's.
    t.okAliases = curl.slist_append(nullptr, "ICY 200 OK");

    const auto onBody = +[](char* data, size_t size, size_t count, void* self) -> size_t {
        return static_cast<TMPHttpStream*>(self)->TakeBody(data, size * count);
    };
    const auto onHeader = +[](char* data, size_t size, size_t count, void* self) -> size_t {
        // Anything but the full count stops the transfer.
        return static_cast<TMPHttpStream*>(self)->TakeHeader(std::string_view(data, size * count))
                   ? size * count
                   : 0;
    };
    curl.easy_setopt(t.easy, CURLOPT_URL, url.c_str());
    curl.easy_setopt(t.easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl.easy_setopt(t.easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl.easy_setopt(t.easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl.easy_setopt(t.easy, CURLOPT_MAXREDIRS, 8L);
    curl.easy_setopt(t.easy, CURLOPT_HTTPHEADER, t.headers);
    curl.easy_setopt(t.easy, CURLOPT_HTTP200ALIASES, t.okAliases);
    // Any other answer that is not HTTP reaches TakeBody, which reads an "ICY 404" in it and
    // plays none of it.
    curl.easy_setopt(t.easy, CURLOPT_HTTP09_ALLOWED, 1L);
    curl.easy_setopt(t.easy, CURLOPT_USERAGENT, "Plumtone4");
    curl.easy_setopt(t.easy, CURLOPT_CONNECTTIMEOUT_MS, long(options_.connectTimeout.count()));
    curl.easy_setopt(t.easy, CURLOPT_ERRORBUFFER, t.errorText);
    curl.easy_setopt(t.easy, CURLOPT_NOSIGNAL, 1L);
    curl.easy_setopt(t.easy, CURLOPT_WRITEFUNCTION, onBody);
    curl.easy_setopt(t.easy, CURLOPT_WRITEDATA, this);
    curl.easy_setopt(t.easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl.easy_setopt(t.easy, CURLOPT_HEADERDATA, this);
    curl.multi_add_handle(t.multi, t.easy);

    lastByte_ = Clock::now();
    answerDeadline_ = lastByte_ + options_.stallLimit;
    pauseCapacity_ = options_.capacity;
    thread_ = std::thread([this] { Run(); });

    {
        // Registered before the lock is taken: a stop requested already runs the callback here.
        const std::stop_callback onStop(options_.stop, [this] { Interrupt(); });
        std::unique_lock held(mutex_);
        changed_.wait(held, [this] { return ended_ || interrupted_ || Available() >= options_.prebuffer; });
        if (interrupted_) {
            cancelled_ = true;
            held.unlock();
            curl.multi_wakeup(t.multi);
            thread_.join();
            throw EStreamCancelled();
        }
    }
    std::unique_lock held(mutex_);
    if (!error_.empty() && Available() == 0) {
        const TFailure failure = error_;
        cancelled_ = true;
        held.unlock();
        curl.multi_wakeup(t.multi);
        thread_.join();
        throw EMP3Error(TErrorKind::Network, failure.text, failure.reason);
    }
    // A station is joined wherever the server's buffer stood, often inside a frame: the stream
    // starts at the first whole frame (a stream that opens with a tag is left as it is).
    const std::span<const uint8_t> start(buffer_.data() + head_, Available());
    if (start.size() < 3 || std::memcmp(start.data(), "ID3", 3) != 0) {
        if (const std::optional<size_t> offset = FirstFrameRun(start); offset && *offset > 0) {
            head_ += *offset;
            consumed_ += *offset;
        }
    }
}

TMPHttpStream::~TMPHttpStream()
{
    {
        std::lock_guard held(mutex_);
        cancelled_ = true;
        interrupted_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        transfer_->curl->multi_wakeup(transfer_->multi);
        thread_.join();
    }
}

void TMPHttpStream::Run()
{
    for (;;) {
        const TAttemptEnd end = RunAttempt();
        std::unique_lock held(mutex_);
        if (cancelled_)
            break;
        if (!NextAttempt(end, held))
            break;
        held.unlock();
        NotifyState();
        Restart();
    }
    {
        std::lock_guard held(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

TMPHttpStream::TAttemptEnd TMPHttpStream::RunAttempt()
{
    Transfer& t = *transfer_;
    const TCurlLibrary& curl = *t.curl;
    int running = 1;
    for (;;) {
        bool resume = false;
        {
            std::lock_guard held(mutex_);
            if (cancelled_ || overflowed_ || !failure_.empty())
                break;
            // A pause takes in more: a transfer held back at the playing bound goes on.
            if (heldBack_ && Available() < (paused_ ? pauseCapacity_ : options_.capacity / 2)) {
                heldBack_ = false;
                lastByte_ = Clock::now();
                resume = true;
            }
            // The status line and the headers have one deadline as a whole, so that a server
            // sending them a byte at a time cannot hold the stream open.
            const Clock::time_point now = Clock::now();
            if (!bodyStarted_ && now > answerDeadline_) {
                failure_ = kNoAnswer;
                break;
            }
            if (bodyStarted_ && !heldBack_ && now - lastByte_ > options_.stallLimit) {
                failure_ = kStopped;
                break;
            }
        }
        if (resume)
            curl.easy_pause(t.easy, CURLPAUSE_CONT);
        if (curl.multi_perform(t.multi, &running) != CURLM_OK || running == 0)
            break;
        curl.multi_poll(t.multi, nullptr, 0, 100, nullptr);
    }

    CURLcode result = CURLE_OK;
    int left = 0;
    while (CURLMsg* message = curl.multi_info_read(t.multi, &left))
        if (message->msg == CURLMSG_DONE)
            result = message->data.result;
    long status = 0;
    curl.easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    curl.easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);

    std::lock_guard held(mutex_);
    TAttemptEnd end;
    end.status = status_ != 0 ? status_ : status;
    end.failure = failure_;
    if (end.failure.empty() && !cancelled_ && !overflowed_) {
        if (end.status >= 400)
            end.failure = StatusFailure(end.status, false);
        else if (running != 0)
            end.failure = TransferFailure(CURLE_RECV_ERROR);
        else if (result != CURLE_OK)
            end.failure = TransferFailure(result);
    }
    end.complete = end.failure.empty() && running == 0 && length >= 0;
    return end;
}

bool TMPHttpStream::NextAttempt(const TAttemptEnd& end, std::unique_lock<std::mutex>& held)
{
    using namespace std::chrono_literals;
    if (overflowed_) {
        // Reception stopped at the pause's bound: what is buffered is too old to go on with.
        // The end of the pause joins the station live.
        changed_.wait(held, [this] { return cancelled_ || rejoin_; });
        if (cancelled_)
            return false;
        buffer_.clear();
        head_ = 0;
        received_ = consumed_;
        pendingTitles_.clear();
        overflowed_ = rejoin_ = false;
        failedTries_ = 0;
        SetState(TStationState::Rejoining);
        return true;
    }
    const bool refused = end.status >= 400 && end.status < 500;
    if (!reconnects_ || end.complete || refused) {
        // The end of the body, or a failure that trying again will not mend.
        if (!end.failure.empty())
            error_ = refused && reconnected_ ? StatusFailure(end.status, true) : end.failure;
        return false;
    }
    // The connection ended or stalled while the station played: it is made again, at once
    // after a try that brought audio, then after pauses that double from a second.
    failedTries_ = attemptAudio_ > 0 ? 0 : failedTries_ + 1;
    const TFailure cause = end.failure.empty() ? kClosed : end.failure;
    if (failedTries_ >= kMaxFailedTries) {
        error_ = {"放送局に再接続できません（" + std::to_string(kMaxFailedTries) +
                      " 回失敗しました）: " + cause.text,
                  "the station could not be reached again in " + std::to_string(kMaxFailedTries) +
                      " tries: " + cause.reason};
        return false;
    }
    if (state_ != TStationState::Rejoining)
        SetState(TStationState::Reconnecting);
    reconnected_ = true;
    if (failedTries_ > 0) {
        const auto pause = std::chrono::seconds(1) * (1 << (failedTries_ - 1));
        held.unlock();
        NotifyState();
        held.lock();
        changed_.wait_for(held, pause, [this] { return cancelled_; });
    }
    return !cancelled_;
}

void TMPHttpStream::Restart()
{
    Transfer& t = *transfer_;
    const TCurlLibrary& curl = *t.curl;
    curl.multi_remove_handle(t.multi, t.easy);
    {
        std::lock_guard held(mutex_);
        bodyStarted_ = false;
        heldBack_ = false;
        headerBytes_ = 0;
        metaInterval_ = 0;
        status_ = 0;
        failure_ = {};
        attemptAudio_ = 0;
        joining_ = true;
        joinBytes_.clear();
        lastByte_ = Clock::now();
        answerDeadline_ = lastByte_ + options_.stallLimit;
    }
    curl.easy_setopt(t.easy, CURLOPT_FRESH_CONNECT, 1L);
    curl.multi_add_handle(t.multi, t.easy);
    curl.easy_pause(t.easy, CURLPAUSE_CONT);
}

void TMPHttpStream::Join()
{
    // The last connection's audio ends with its last whole frame: a frame it cut off would
    // otherwise be read on into the new connection's bytes.
    if (!joinBytes_.empty()) {
        const size_t from = std::max(head_, buffer_.size() > 8192 ? buffer_.size() - 8192 : size_t(0));
        const std::span<const uint8_t> tail(buffer_.data() + from, buffer_.size() - from);
        if (const std::optional<size_t> end = WholeFramesEnd(tail)) {
            const size_t cut = tail.size() - *end;
            buffer_.resize(buffer_.size() - cut);
            received_ -= cut;
        }
    }
    const std::optional<size_t> start = FirstFrameRun(joinBytes_);
    const size_t skip = start ? *start : 0;
    buffer_.insert(buffer_.end(), joinBytes_.begin() + ptrdiff_t(skip), joinBytes_.end());
    received_ += joinBytes_.size() - skip;
    for (PendingTitle& title : pendingTitles_)
        title.at = std::min(title.at, received_);
    joinBytes_.clear();
    joining_ = false;
    SetState(TStationState::Receiving);
}

void TMPHttpStream::SetState(TStationState state)
{
    if (state_ != state) {
        state_ = state;
        stateChanged_ = true;
    }
}

void TMPHttpStream::NotifyState()
{
    {
        std::lock_guard held(mutex_);
        if (!stateChanged_)
            return;
        stateChanged_ = false;
    }
    std::lock_guard held(handlerMutex_);
    if (onStateChanged_)
        onStateChanged_();
}

void TMPHttpStream::StartPlaying(int32_t bytesPerSecond)
{
    std::lock_guard held(mutex_);
    reconnects_ = true;
    const int64_t pause = int64_t(std::max(bytesPerSecond, 0)) * kPauseLimitSeconds;
    pauseCapacity_ =
        size_t(std::clamp<int64_t>(pause, int64_t(options_.capacity), int64_t(kPauseLimitBytes)));
}

void TMPHttpStream::SetPaused(bool paused)
{
    {
        std::lock_guard held(mutex_);
        paused_ = paused;
        if (!paused && overflowed_)
            rejoin_ = true;
    }
    changed_.notify_all();
}

TStationState TMPHttpStream::State() const
{
    std::lock_guard held(mutex_);
    return state_;
}

void TMPHttpStream::SetOnStateChanged(std::function<void()> handler)
{
    std::lock_guard held(handlerMutex_);
    onStateChanged_ = std::move(handler);
}

bool TMPHttpStream::TakeHeader(std::string_view line)
{
    std::lock_guard held(mutex_);
    headerBytes_ += line.size();
    if (headerBytes_ > kMaxHeaderBytes) {
        failure_ = {"放送局の応答が大きすぎます", "the server's answer is too large (over 64 KB of headers)"};
        return false;
    }
    line = Trim(line);
    const std::string lower = Lower(line.substr(0, std::min<size_t>(line.size(), 16)));
    if (lower.starts_with("http/") || lower.starts_with("icy ")) {
        // A new response (after a redirect): forget what the previous one said.
        metaInterval_ = 0;
        stationName_.clear();
        contentType_.clear();
        return true;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return true;
    const std::string name = Lower(Trim(line.substr(0, colon)));
    const std::string_view value = Trim(line.substr(colon + 1));
    if (name == "icy-metaint") {
        long interval = 0;
        for (char c : value) {
            if (c < '0' || c > '9' || interval > 1 << 20) {
                interval = 0;
                break;
            }
            interval = interval * 10 + (c - '0');
        }
        metaInterval_ = interval;
    } else if (name == "icy-name") {
        stationName_ = Bounded(std::string(value));
    } else if (name == "content-type") {
        contentType_ = Lower(value);
    }
    return true;
}

size_t TMPHttpStream::TakeBody(const char* data, size_t size)
{
    Transfer& t = *transfer_;
    const TCurlLibrary& curl = *t.curl;
    long status = 0;
    curl.easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    bool titlesChanged = false;
    {
        std::lock_guard held(mutex_);
        if (cancelled_)
            return 0;
        if (!bodyStarted_ && status == 0) {
            // No HTTP status line: an old server's "ICY 404", or no HTTP at all. Nothing of it
            // is played.
            status_ = IcyStatus(std::string_view(data, size));
            failure_ = status_ >= 400 ? StatusFailure(status_, false) : kNotHttp;
            return 0;
        }
        if (status >= 400) {
            status_ = status;
            failure_ = StatusFailure(status, false);
            return 0;
        }
        // A pause is ridden out in the larger buffer, which then drains as the station plays on.
        const size_t limit = paused_ || Available() > options_.capacity ? pauseCapacity_ : options_.capacity;
        if (Available() >= limit) {
            if (paused_) {
                overflowed_ = true; // reception stops here; the pause's end joins anew
                return 0;
            }
            heldBack_ = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        lastByte_ = Clock::now();
        if (!bodyStarted_) {
            bodyStarted_ = true;
            char* url = nullptr;
            if (curl.easy_getinfo(t.easy, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url)
                effectiveUrl_ = url;
            demuxer_ = TIcyDemuxer(size_t(metaInterval_));
            titlesChanged = !stationName_.empty();
        }
        audio_.clear();
        blocks_.clear();
        demuxer_.Feed({reinterpret_cast<const uint8_t*>(data), size}, audio_, blocks_);
        if (head_ > 0 && head_ >= buffer_.size() / 2) {
            buffer_.erase(buffer_.begin(), buffer_.begin() + ptrdiff_t(head_));
            head_ = 0;
        }
        attemptAudio_ += audio_.size();
        const uint64_t audioStart = received_;
        if (joining_) {
            // A new connection starts wherever the server's buffer stood: its audio goes on
            // from its first whole frame.
            joinBytes_.insert(joinBytes_.end(), audio_.begin(), audio_.end());
            if (FirstFrameRun(joinBytes_) || joinBytes_.size() > 64 * 1024)
                Join();
        } else {
            buffer_.insert(buffer_.end(), audio_.begin(), audio_.end());
            received_ += audio_.size();
        }
        for (TIcyBlock& block : blocks_) {
            if (std::optional<std::string> title = IcyStreamTitle(block.text)) {
                // Only the newest few wait for their audio: a flood of titles replaces them.
                if (pendingTitles_.size() >= kMaxPendingTitles)
                    pendingTitles_.pop_front();
                const uint64_t at = std::min(audioStart + block.audioBefore, received_);
                pendingTitles_.push_back({at, Bounded(std::move(*title))});
            }
        }
        // Before any audio is read, the first title is already the current one.
        titlesChanged = ApplyTitles() || titlesChanged;
    }
    changed_.notify_all();
    NotifyState();
    if (titlesChanged)
        NotifyTitles();
    return size;
}

bool TMPHttpStream::ApplyTitles()
{
    bool changed = false;
    while (!pendingTitles_.empty() && (pendingTitles_.front().at <= consumed_ || streamTitle_.empty())) {
        if (pendingTitles_.front().title != streamTitle_) {
            streamTitle_ = std::move(pendingTitles_.front().title);
            titleOffset_ = pendingTitles_.front().at;
            changed = true;
        }
        pendingTitles_.pop_front();
    }
    return changed;
}

void TMPHttpStream::NotifyTitles()
{
    std::lock_guard held(handlerMutex_);
    if (onTitlesChanged_)
        onTitlesChanged_();
}

int32_t TMPHttpStream::Read(void* buffer, int32_t count)
{
    std::unique_lock held(mutex_);
    changed_.wait(held, [this] { return Readable() > 0 || ended_ || interrupted_; });
    if (interrupted_)
        return 0;
    if (Available() == 0) {
        if (!error_.empty())
            throw EMP3Error(TErrorKind::Network, error_.text, error_.reason);
        return 0;
    }
    const size_t n = std::min(Readable(), size_t(std::max(count, 0)));
    std::memcpy(buffer, buffer_.data() + head_, n);
    head_ += n;
    consumed_ += n;
    if (head_ == buffer_.size()) {
        buffer_.clear();
        head_ = 0;
    }
    if (heldBack_)
        transfer_->curl->multi_wakeup(transfer_->multi);
    const bool titlesChanged = ApplyTitles();
    held.unlock();
    if (titlesChanged)
        NotifyTitles();
    return int32_t(n);
}

int64_t TMPHttpStream::Seek(int64_t, int)
{
    throw EMP3Error(TErrorKind::Internal, "the stream cannot seek");
}

bool TMPHttpStream::WaitForData(int32_t bytes, std::chrono::milliseconds timeout)
{
    std::unique_lock held(mutex_);
    return changed_.wait_for(held, timeout, [this, bytes] {
        return Readable() >= size_t(std::max(bytes, 0)) || ended_ || interrupted_;
    });
}

void TMPHttpStream::Interrupt()
{
    {
        std::lock_guard held(mutex_);
        interrupted_ = true;
    }
    changed_.notify_all();
}

uint64_t TMPHttpStream::TitleOffset() const
{
    std::lock_guard held(mutex_);
    return titleOffset_;
}

std::string TMPHttpStream::StreamTitle() const
{
    std::lock_guard held(mutex_);
    return streamTitle_;
}

std::string TMPHttpStream::StationName() const
{
    std::lock_guard held(mutex_);
    return stationName_;
}

void TMPHttpStream::SetOnTitlesChanged(std::function<void()> handler)
{
    std::lock_guard held(handlerMutex_);
    onTitlesChanged_ = std::move(handler);
}

std::string TMPHttpStream::EffectiveUrl() const
{
    std::lock_guard held(mutex_);
    return effectiveUrl_;
}

std::string TMPHttpStream::ContentType() const
{
    std::lock_guard held(mutex_);
    return contentType_;
}

bool TMPHttpStream::IsPlaylist() const
{
    std::lock_guard held(mutex_);
    const std::string& type = contentType_;
    if (type.find("mpegurl") != std::string::npos || type.find("scpls") != std::string::npos)
        return true;
    if (type.starts_with("audio/"))
        return false;
    if (HasPlaylistExtension(effectiveUrl_))
        return true;
    const std::string_view start(reinterpret_cast<const char*>(buffer_.data() + head_),
                                 std::min<size_t>(Available(), 64));
    return LooksLikePlaylist(start);
}

std::string TMPHttpStream::ReadText(size_t limit)
{
    // The buffer is emptied as the text grows, so that a text larger than the buffer does not
    // hold the transfer back for ever. A text is part of the answer: it has the deadline of the
    // status line and headers, so that a server sending it slowly cannot hold the list open.
    std::string text;
    std::unique_lock held(mutex_);
    while (text.size() < limit) {
        const bool ready = changed_.wait_until(held, answerDeadline_,
                                               [this] { return Available() > 0 || ended_ || interrupted_; });
        if (interrupted_)
            break;
        if (!ready)
            throw EMP3Error(TErrorKind::Network, kNoAnswer.text, kNoAnswer.reason);
        if (Available() == 0) {
            if (!error_.empty())
                throw EMP3Error(TErrorKind::Network, error_.text, error_.reason);
            break; // the end of the body
        }
        const size_t n = std::min(Available(), limit - text.size());
        text.append(reinterpret_cast<const char*>(buffer_.data() + head_), n);
        head_ += n;
        if (heldBack_)
            transfer_->curl->multi_wakeup(transfer_->multi);
    }
    return text;
}

void TMPHttpStream::CheckAudioType() const
{
    std::string type = ContentType();
    type = std::string(Trim(type.substr(0, type.find(';'))));
    if (type.size() > 64)
        type.resize(64);
    // Formats other than MPEG audio that stations send, by the name a listener knows them by.
    static const struct {
        std::string_view type;
        const char* name;
    } kFormats[] = {
        {"audio/aac", "AAC"},   {"audio/aacp", "AAC"},  {"audio/x-aac", "AAC"},     {"audio/mp4", "AAC"},
        {"audio/x-m4a", "AAC"}, {"audio/m4a", "AAC"},   {"application/ogg", "Ogg"}, {"audio/ogg", "Ogg"},
        {"audio/opus", "Opus"}, {"audio/flac", "FLAC"}, {"audio/x-flac", "FLAC"},   {"audio/webm", "WebM"},
    };
    for (const auto& format : kFormats)
        if (type == format.type)
            throw EMP3Error(TErrorKind::Format,
                            "この放送局の音声は " + std::string(format.name) + "（" + type +
                                "）です。再生できるのは MPEG オーディオだけです",
                            "the station sends " + std::string(format.name) + " audio (" + type +
                                "), which the player does not decode; it plays MPEG audio only");
    // A web page or other text, or a picture or a video: no audio at all.
    const bool text = type.starts_with("text/") || type == "application/xhtml+xml" ||
                      type == "application/json" || type == "application/xml";
    if (text || type.starts_with("image/") || type.starts_with("video/"))
        throw EMP3Error(TErrorKind::Format, "この放送局が送ってくるのは音声ではなく " + type + " です",
                        "the station sends " + type + ", not MPEG audio");
}

} // namespace pt4
