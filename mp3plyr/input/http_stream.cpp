#include "mp3plyr/input/http_stream.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/input/curl_library.h"
#include "mp3plyr/input/frame_alignment.h"

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

// The reason phrase of the most common error answers, so the message says what went wrong.
std::string StatusText(long status)
{
    std::string text = "the server answered HTTP " + std::to_string(status);
    switch (status) {
    case 401: return text + " (unauthorised)";
    case 403: return text + " (forbidden)";
    case 404: return text + " (not found)";
    case 500: return text + " (server error)";
    case 503: return text + " (unavailable)";
    default: return text;
    }
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
        throw EMP3Error(TErrorKind::Network, "cannot start an HTTP transfer");
    const TCurlLibrary& curl = *t.curl;
    t.multi = curl.multi_init();
    t.easy = curl.easy_init();
    if (!t.multi || !t.easy)
        throw EMP3Error(TErrorKind::Network, "cannot start an HTTP transfer");
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
        const std::string text = error_;
        cancelled_ = true;
        held.unlock();
        curl.multi_wakeup(t.multi);
        thread_.join();
        throw EMP3Error(TErrorKind::Network, text);
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
    Transfer& t = *transfer_;
    const TCurlLibrary& curl = *t.curl;
    int running = 1;
    for (;;) {
        bool resume = false;
        {
            std::lock_guard held(mutex_);
            if (cancelled_)
                break;
            if (heldBack_ && Available() < options_.capacity / 2) {
                heldBack_ = false;
                lastByte_ = Clock::now();
                resume = true;
            }
            // The status line and the headers have one deadline as a whole, so that a server
            // sending them a byte at a time cannot hold the stream open.
            const Clock::time_point now = Clock::now();
            if (!bodyStarted_ && now > answerDeadline_) {
                error_ = "no answer from the server";
                break;
            }
            if (bodyStarted_ && !heldBack_ && !ended_ && now - lastByte_ > options_.stallLimit) {
                error_ = "the server stopped sending";
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

    std::lock_guard held(mutex_);
    if (!cancelled_ && error_.empty()) {
        if (status >= 400)
            error_ = StatusText(status);
        else if (running != 0)
            error_ = "the transfer failed";
        else if (result == CURLE_OUT_OF_MEMORY && !bodyStarted_)
            error_ = "the server's answer is too large (a header line over 100 KB)"; // the library's cap
        else if (result != CURLE_OK)
            error_ = t.errorText[0] ? t.errorText : curl.easy_strerror(result);
    }
    ended_ = true;
    changed_.notify_all();
}

bool TMPHttpStream::TakeHeader(std::string_view line)
{
    std::lock_guard held(mutex_);
    headerBytes_ += line.size();
    if (headerBytes_ > kMaxHeaderBytes) {
        error_ = "the server's answer is too large (over 64 KB of headers)";
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
        if (status >= 400) {
            error_ = StatusText(status);
            return 0;
        }
        if (Available() >= options_.capacity) {
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
        buffer_.insert(buffer_.end(), audio_.begin(), audio_.end());
        for (TIcyBlock& block : blocks_) {
            if (std::optional<std::string> title = IcyStreamTitle(block.text)) {
                // Only the newest few wait for their audio: a flood of titles replaces them.
                if (pendingTitles_.size() >= kMaxPendingTitles)
                    pendingTitles_.pop_front();
                pendingTitles_.push_back({received_ + block.audioBefore, Bounded(std::move(*title))});
            }
        }
        received_ += audio_.size();
        // Before any audio is read, the first title is already the current one.
        titlesChanged = ApplyTitles() || titlesChanged;
    }
    changed_.notify_all();
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
    changed_.wait(held, [this] { return Available() > 0 || ended_ || interrupted_; });
    if (interrupted_)
        return 0;
    if (Available() == 0) {
        if (!error_.empty())
            throw EMP3Error(TErrorKind::Network, error_);
        return 0;
    }
    const size_t n = std::min(Available(), size_t(std::max(count, 0)));
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
        return Available() >= size_t(std::max(bytes, 0)) || ended_ || interrupted_;
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
            throw EMP3Error(TErrorKind::Network, "no answer from the server");
        if (Available() == 0) {
            if (!error_.empty())
                throw EMP3Error(TErrorKind::Network, error_);
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

} // namespace pt4
