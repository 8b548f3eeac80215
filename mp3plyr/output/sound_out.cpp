#include "mp3plyr/output/sound_out.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/output/pulse_device.h"
#include "mp3plyr/output/wave_out_device.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <exception>
#include <utility>
#include <vector>

namespace pt4 {

namespace {

constexpr int32_t kBlockCount = 4;

// A sound server that went away is tried again after these pauses, each twice the one before up
// to the last, for at least this long before the loss ends play.
constexpr int32_t kFirstRetryMs = 250;
constexpr int32_t kLongestRetryMs = 4000;
constexpr uint32_t kRetryForMs = 64000;

// Milliseconds that wrap at 2^32, like the system's tick count.
uint32_t TickCount()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Half a second of sound, rounded up to whole 32-bit words.
int32_t HalfSecondBytes(const TWaveFormat& format)
{
    const int64_t twoSeconds =
        int64_t(format.Channels) * (format.BitsPerSample / 8) * format.SampleRate * 2000 / 1000;
    const int64_t block = twoSeconds / kBlockCount;
    return int32_t((block + 3) / 4 * 4);
}

struct TVolumeWords {
    uint32_t left;
    uint32_t right;
};

// Volume 0 ... 100 to a linear gain per channel, 0 ... 65535; the balance turns one side down.
TVolumeWords VolumeWords(uint32_t volume, int32_t balance)
{
    uint32_t left = volume * 65535 / 100;
    uint32_t right = left;
    if (balance < 0)
        right = right * uint32_t(balance + 100) / 100;
    else if (balance > 0)
        left = left * uint32_t(100 - balance) / 100;
    return {left, right};
}

} // namespace

struct TSoundOut::State {
    explicit State(TSoundOut& owner) : owner(owner), thread(owner) {}

    bool CanWrite();
    void WaveWrite();
    void BlockDone();
    void NotifyWaiter();
    // Tells the owner where play stands, unless it was told less than the interval ago; true when
    // it was told now.
    bool PositionNotice();
    void AllocateRing(std::unique_ptr<TWaveOutDevice> opened);
    void ApplyVolume();
    // The device, when it is open and its server has not gone away; fillLock held.
    TWaveOutDevice* Live() const { return device && !device->Gone() ? device.get() : nullptr; }
    // Output thread: the server went away; the blocks stay queued for the next one.
    void EnterLoss();
    // Output thread: tries to open a stream again and plays the queued blocks on it.
    void Reconnect();
    void DropLostBlocks();

    TSoundOut& owner;

    // Set between opens by the owner's thread.
    TWaveFormat format;
    std::string waveFileName;
    std::atomic<uint32_t> volume{100};
    std::atomic<int32_t> balance{0};

    std::atomic<bool> active{false};
    // Set by the owner's thread, read on the output thread.
    std::atomic<bool> paused{false};
    // The device plays in real time: position notices also come on the thread's time-out.
    std::atomic<bool> paced{false};

    // The device and the ring come and go together, under fillLock.
    TMPCriticalSection fillLock;
    std::unique_ptr<TWaveOutDevice> device;
    TWaveFormat openFormat;
    std::array<std::vector<uint8_t>, kBlockCount> buffers;
    std::array<uint32_t, kBlockCount> lengths{};
    int32_t blockSize = 0;
    int32_t currentBlock = 0;
    int32_t filled = 0;
    // Blocks with the device; changed under fillLock so that doneEvent always agrees with it.
    std::atomic<int32_t> queued{0};
    TMPSimpleEvent doneEvent;

    TMPCriticalSection notifyLock;
    TMPEvent* notifyEvent = nullptr;

    // Held while OnNotify runs, so that once it is cleared it is not called any more.
    TMPCriticalSection onNotifyLock;
    TNotify onNotify;
    std::atomic<uint32_t> lastNotifyTick{0};

    std::atomic<uint32_t> lastDoneBytes{0};

    // A lost sound server, waited for (OnDeviceLost set); under fillLock. While lost there is no
    // device and the queued blocks wait in the ring; the first of them was heard up to
    // resumeSkip bytes. pendingDone: bytes played before the loss that GetDoneBytes has not
    // reported yet.
    bool lost = false;
    uint32_t resumeSkip = 0;
    int32_t pendingDone = 0;
    int32_t retryDelay = 0;
    uint32_t lostSince = 0;

    TMPThread thread;
};

bool TSoundOut::State::CanWrite()
{
    TMPLockGuard lock(fillLock);
    return device != nullptr && queued < kBlockCount && filled < blockSize;
}

// Hands the current block to the device; fillLock is taken again if the caller holds it.
void TSoundOut::State::WaveWrite()
{
    TMPLockGuard lock(fillLock);
    const int32_t block = currentBlock;
    ++queued;
    doneEvent.ResetEvent();
    lengths[size_t(block)] = uint32_t(filled);
    filled = 0;
    try {
        MP_ASSERT(queued <= kBlockCount);
        MP_ASSERT(device != nullptr);
        device->WriteBlock(uint32_t(block), {buffers[size_t(block)].data(), lengths[size_t(block)]});
    } catch (const EMP3Error&) {
        if (!(owner.OnDeviceLost && device->Gone())) {
            if (--queued == 0)
                doneEvent.SetEvent();
            throw;
        }
        // The server went away: the block waits in the ring with the others for the next one.
    } catch (...) {
        // A block the device never took never comes back: counted, it would be waited for forever.
        if (--queued == 0)
            doneEvent.SetEvent();
        throw;
    }
    currentBlock = (block + 1) % kBlockCount;
}

// Output thread: one block came back.
void TSoundOut::State::BlockDone()
{
    {
        TMPLockGuard lock(fillLock);
        const int32_t stillQueued = --queued;
        if (stillQueued > 0) {
            // Nothing moves while paused: no notices then.
            thread.TimeOut = paused ? kInfinite : owner.NoticeWait();
        } else {
            doneEvent.SetEvent();
            thread.TimeOut = kInfinite; // no position notices while nothing plays
        }
        MP_ASSERT(stillQueued >= 0);
    }
    NotifyWaiter();
}

void TSoundOut::State::NotifyWaiter()
{
    if (!CanWrite())
        return;
    TMPLockGuard lock(notifyLock);
    if (notifyEvent != nullptr) {
        notifyEvent->SetEvent();
        notifyEvent = nullptr;
    }
}

bool TSoundOut::State::PositionNotice()
{
    TMPLockGuard lock(onNotifyLock);
    const int32_t interval = owner.NotifyInterval.load();
    if (!onNotify || interval == -1)
        return false;
    const uint32_t now = TickCount();
    if (int64_t(uint32_t(now - lastNotifyTick.load())) <= int64_t(interval))
        return false;
    onNotify(owner);
    lastNotifyTick = now;
    return true;
}

void TSoundOut::State::AllocateRing(std::unique_ptr<TWaveOutDevice> opened)
{
    TMPLockGuard lock(fillLock);
    blockSize = HalfSecondBytes(openFormat);
    for (size_t i = 0; i < buffers.size(); ++i) {
        buffers[i].assign(size_t(blockSize), 0);
        lengths[i] = uint32_t(blockSize);
    }
    device = std::move(opened);
}

void TSoundOut::State::EnterLoss()
{
    {
        TMPLockGuard lock(fillLock);
        if (!device || !device->Gone())
            return;
        resumeSkip = queued > 0 ? device->PlayedOfOldest() : 0;
        pendingDone += int32_t(device->PlayedAtLoss() - lastDoneBytes.exchange(0));
        device.reset();
        lost = true;
        retryDelay = kFirstRetryMs;
        lostSince = TickCount();
        thread.TimeOut = paused ? kInfinite : retryDelay;
    }
    // Said once for each loss; the owner decides what to show.
    if (owner.OnDeviceLost)
        owner.OnDeviceLost(std::make_exception_ptr(
            EMP3Error(TErrorKind::Device, kSoundServerLostText, kSoundServerLostReason)));
}

void TSoundOut::State::DropLostBlocks()
{
    filled = 0;
    queued = 0;
    resumeSkip = 0;
    doneEvent.SetEvent();
}

void TSoundOut::State::Reconnect()
{
    {
        TMPLockGuard lock(fillLock);
        if (!lost || paused)
            return;
        try {
            const TVolumeWords words = VolumeWords(volume, balance);
            device = OpenWaveOutDevice(waveFileName, openFormat, thread, words.left, words.right, true);
        } catch (const EMP3Error&) {
            if (uint32_t(TickCount() - lostSince) < kRetryForMs) {
                retryDelay = std::min(2 * retryDelay, kLongestRetryMs);
                thread.TimeOut = retryDelay;
                return;
            }
            // Given up: play ends with the loss.
            lost = false;
            DropLostBlocks();
            thread.TimeOut = kInfinite;
            throw;
        }
        lost = false;
        // The queued blocks, oldest first, from the first byte not heard.
        const int32_t oldest = (currentBlock - queued + kBlockCount) % kBlockCount;
        try {
            for (int32_t i = 0; i < queued; ++i) {
                const size_t block = size_t((oldest + i) % kBlockCount);
                const uint32_t skip = i == 0 ? std::min(resumeSkip, lengths[block]) : 0;
                device->WriteBlock(uint32_t(block), {buffers[block].data() + skip, lengths[block] - skip});
            }
        } catch (const EMP3Error&) {
            if (!device->Gone())
                throw;
            // Gone again at once: its failure notice brings the next try.
        }
        resumeSkip = 0;
        thread.TimeOut = queued > 0 ? owner.NoticeWait() : kInfinite;
    }
    NotifyWaiter();
}

void TSoundOut::State::ApplyVolume()
{
    const TVolumeWords words = VolumeWords(volume, balance);
    device->SetVolume(words.left, words.right);
}

TSoundOut::TSoundOut() : state_(std::make_unique<State>(*this))
{
    State& s = *state_;
    s.thread.OnException = [this](const void*, const std::exception_ptr& error, bool& handled) {
        if (OnException)
            OnException(this, error, handled);
    };
    s.thread.Resume();
}

TSoundOut::~TSoundOut()
{
    try {
        Close();
    } catch (...) {
        // Nobody is left to tell; the device and the ring are released all the same.
    }
    state_->thread.Stop();
}

void TSoundOut::SetSampleRate(int32_t rate)
{
    if (rate > 0)
        state_->format.SampleRate = rate;
}

void TSoundOut::SetBitsPerSample(int32_t bits)
{
    if (bits == 8 || bits == 16)
        state_->format.BitsPerSample = bits;
}

void TSoundOut::SetChannels(int32_t channels)
{
    if (channels == 1 || channels == 2)
        state_->format.Channels = channels;
}

void TSoundOut::SetVolume(uint32_t volume)
{
    State& s = *state_;
    if (volume > 100)
        return;
    s.volume = volume;
    if (s.active && s.Live())
        s.ApplyVolume();
}

void TSoundOut::SetBalance(int32_t balance)
{
    State& s = *state_;
    if (balance < -100 || balance > 100)
        return;
    s.balance = balance;
    if (s.active && s.Live())
        s.ApplyVolume();
}

void TSoundOut::SetWaveFileName(const std::string& fileName)
{
    if (!state_->active)
        state_->waveFileName = fileName;
}

void TSoundOut::Open()
{
    State& s = *state_;
    if (s.active)
        return;
    s.active = true;
    try {
        // Counters first, so that a Close after a failed open finds nothing to wait for.
        {
            TMPLockGuard lock(s.fillLock);
            s.currentBlock = 0;
            s.filled = 0;
            s.queued = 0;
            s.doneEvent.SetEvent();
        }
        s.paused = false;
        s.lastDoneBytes = 0;
        s.lost = false;
        s.pendingDone = 0;
        s.resumeSkip = 0;
        s.openFormat = s.format;
        const TVolumeWords words = VolumeWords(s.volume, s.balance);
        s.AllocateRing(OpenWaveOutDevice(s.waveFileName, s.openFormat, s.thread, words.left, words.right,
                                         bool(OnDeviceLost)));
        s.paced = s.device->PlaysInRealTime();
        if (s.paced)
            s.thread.TimeOut = NoticeWait();
        s.lastNotifyTick = TickCount();
    } catch (...) {
        Close();
        throw;
    }
}

void TSoundOut::Close()
{
    State& s = *state_;
    if (!s.active)
        return;
    {
        TMPLockGuard lock(s.notifyLock);
        s.notifyEvent = nullptr;
    }
    std::exception_ptr failure;
    {
        TMPLockGuard lock(s.fillLock);
        if (s.lost || (s.device && s.device->Gone())) {
            // Nothing plays the blocks any more: they are dropped.
            s.lost = false;
            s.device.reset();
            s.DropLostBlocks();
        }
    }
    try {
        if (s.device) {
            s.thread.TimeOut = kInfinite;
            if (s.paused) {
                // A paused device never plays its blocks out; what is queued is dropped instead.
                TMPLockGuard lock(s.fillLock);
                s.filled = 0;
                s.device->Reset();
            } else if (s.device->PlaysInRealTime()) {
                Flush();
            }
            WaitForDone(); // every queued block has been played or stored
            s.device->Close();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    {
        TMPLockGuard lock(s.fillLock);
        s.device.reset();
        for (std::vector<uint8_t>& buffer : s.buffers)
            std::vector<uint8_t>().swap(buffer);
    }
    s.thread.TimeOut = kInfinite;
    s.active = false;
    if (failure)
        std::rethrow_exception(failure);
}

bool TSoundOut::CanWrite()
{
    return state_->CanWrite();
}

int32_t TSoundOut::Write(const uint8_t* data, int32_t count)
{
    State& s = *state_;
    int32_t taken = 0;
    while (count > 0) {
        TMPLockGuard lock(s.fillLock);
        if (!s.CanWrite())
            break;
        const int32_t n = std::min(s.blockSize - s.filled, count);
        std::memcpy(s.buffers[size_t(s.currentBlock)].data() + s.filled, data + taken, size_t(n));
        s.filled += n;
        if (s.filled >= s.blockSize)
            s.WaveWrite();
        taken += n;
        count -= n;
    }
    return taken;
}

int32_t TSoundOut::FreeSpacePercent()
{
    State& s = *state_;
    TMPLockGuard lock(s.fillLock);
    if (!s.active || (!s.device && !s.lost))
        return 0;
    const int64_t ring = int64_t(kBlockCount) * s.blockSize;
    return int32_t((int64_t(kBlockCount - s.queued) * s.blockSize - s.filled) * 100 / ring);
}

void TSoundOut::SetNotifyEvent(TMPEvent* event)
{
    {
        TMPLockGuard lock(state_->notifyLock);
        state_->notifyEvent = event;
    }
    // A block that came back since the caller's CanWrite must not be missed.
    state_->NotifyWaiter();
}

void TSoundOut::Flush()
{
    State& s = *state_;
    {
        TMPLockGuard lock(s.fillLock);
        if (!s.active || !s.device)
            return;
        const bool partBlock = s.filled > 0;
        if (partBlock)
            s.WaveWrite();
        s.device->PlayOut();
        if (!partBlock)
            return;
    }
    s.thread.Sync();
}

void TSoundOut::WaitForDone()
{
    state_->thread.WaitForEventOrEnd(state_->doneEvent);
}

bool TSoundOut::WaitForDone(int32_t timeoutMs)
{
    // An output thread that has ended returns nothing more either.
    return state_->thread.WaitForEventOrEnd(state_->doneEvent, timeoutMs) != kWaitTimeout;
}

bool TSoundOut::WaitForDoneOr(TMPEvent& other)
{
    return state_->thread.WaitForEventOrEnd(state_->doneEvent, kInfinite, &other) != 2;
}

void TSoundOut::Pause()
{
    State& s = *state_;
    TMPLockGuard lock(s.fillLock);
    if (!s.active || (!s.device && !s.lost))
        return;
    if (TWaveOutDevice* device = s.Live())
        device->Pause();
    s.paused = true;
    // Nothing moves while paused: no notices, and no tries to reach a lost server.
    s.thread.TimeOut = kInfinite;
}

void TSoundOut::Unpause()
{
    State& s = *state_;
    TMPLockGuard lock(s.fillLock);
    if (!s.active || (!s.device && !s.lost))
        return;
    if (TWaveOutDevice* device = s.Live())
        device->Unpause();
    s.paused = false;
    if (s.lost)
        s.thread.TimeOut = 0; // the lost server is tried again at once
    else if (s.paced && s.queued > 0)
        s.thread.TimeOut = NoticeWait();
}

void TSoundOut::Reset()
{
    State& s = *state_;
    // In file mode too the partly filled block is dropped: it belongs to the old position.
    if (!s.active)
        return;
    {
        TMPLockGuard lock(s.fillLock);
        if (TWaveOutDevice* device = s.Live()) {
            s.filled = 0;
            device->Reset(); // every queued block comes back through MM_WOM_DONE
        } else if (s.lost || s.device) {
            // A lost server's blocks wait with nobody to return them: they go now.
            s.DropLostBlocks();
            s.pendingDone = 0;
        } else {
            return;
        }
    }
    s.lastDoneBytes = 0;
    s.NotifyWaiter();
}

int32_t TSoundOut::GetDoneBytes()
{
    State& s = *state_;
    TMPLockGuard lock(s.fillLock);
    if (!s.active)
        return 0;
    const int32_t before = std::exchange(s.pendingDone, 0);
    TWaveOutDevice* device = s.Live();
    if (!device)
        return before;
    const uint32_t now = device->PlayedBytes();
    return before + int32_t(now - s.lastDoneBytes.exchange(now));
}

int32_t TSoundOut::NoticeWait() const
{
    const int32_t interval = NotifyInterval.load();
    if (interval < 0)
        return kInfinite;
    // The notice is due once more than the interval has passed since the last one.
    const uint32_t since = uint32_t(TickCount() - state_->lastNotifyTick.load());
    return since > uint32_t(interval) ? 1 : int32_t(uint32_t(interval) - since + 1);
}

int32_t TSoundOut::SampleRate() const
{
    return state_->format.SampleRate;
}

int32_t TSoundOut::Channels() const
{
    return state_->format.Channels;
}

int32_t TSoundOut::BitsPerSample() const
{
    return state_->format.BitsPerSample;
}

bool TSoundOut::Active() const
{
    return state_->active;
}

uint32_t TSoundOut::Volume() const
{
    return state_->volume;
}

int32_t TSoundOut::Balance() const
{
    return state_->balance;
}

int32_t TSoundOut::BlockSize() const
{
    TMPLockGuard lock(state_->fillLock);
    return state_->blockSize;
}

void TSoundOut::SetOnNotify(TNotify notify)
{
    TMPLockGuard lock(state_->onNotifyLock);
    state_->onNotify = std::move(notify);
}

void TSoundOut::Dispatch(TMPMessage& message)
{
    State& s = *state_;
    switch (message.Msg) {
    case MM_WOM_DONE: {
        s.BlockDone();
        const bool told = s.PositionNotice();
        if (s.paced && s.queued > 0 && !s.paused)
            s.thread.TimeOut = NoticeWait();
        else if (!s.paced && !told)
            // A file takes its blocks in bursts, also while paused: the last block of a burst is
            // told once the interval is up, so that the position shown catches up.
            s.thread.TimeOut = NoticeWait();
        break;
    }
    case TM_TIMEOUT:
        if (s.lost) {
            s.Reconnect();
        } else if (s.paced) {
            s.PositionNotice();
            s.thread.TimeOut = s.paused || s.queued == 0 ? kInfinite : NoticeWait();
        } else {
            s.PositionNotice();
            s.thread.TimeOut = kInfinite;
        }
        break;
    case TM_DEVICEFAILED: {
        if (OnDeviceLost) {
            s.EnterLoss();
            if (s.lost)
                break;
        }
        TMPLockGuard lock(s.fillLock);
        if (s.device)
            s.device->RaiseFailure("TSoundOut.WaveWrite");
        break;
    }
    case TM_WRITEBLOCK: {
        TWaveOutDevice* device = nullptr;
        std::span<const uint8_t> block;
        {
            TMPLockGuard lock(s.fillLock);
            MP_ASSERT(s.device != nullptr);
            MP_ASSERT(message.LParam >= 0 && message.LParam < kBlockCount);
            device = s.device.get();
            block = {s.buffers[size_t(message.LParam)].data(), s.lengths[size_t(message.LParam)]};
        }
        try {
            device->StoreBlock(block);
        } catch (...) {
            // The block is given back also when it could not be stored, or Close would wait for it.
            s.BlockDone();
            throw;
        }
        s.PositionNotice();
        s.BlockDone();
        break;
    }
    default: break;
    }
}

} // namespace pt4
