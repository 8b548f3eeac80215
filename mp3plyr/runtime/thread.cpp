#include "mp3plyr/runtime/thread.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/runtime/exception_display.h"

#include <system_error>

namespace pt4 {

namespace {

thread_local TMPThread* currentThread = nullptr;

} // namespace

// Marks a thread as waiting for the worker for as long as it lives.
class TMPThread::OwnerWait {
public:
    explicit OwnerWait(TMPThread& thread) : thread_(thread)
    {
        std::lock_guard lock(thread_.ownerWaitMutex_);
        if (thread_.ownerWaits_++ == 0)
            thread_.ownerWaiting_.SetEvent();
    }
    ~OwnerWait()
    {
        std::lock_guard lock(thread_.ownerWaitMutex_);
        if (--thread_.ownerWaits_ == 0 && !thread_.stopping_)
            thread_.ownerWaiting_.ResetEvent();
    }
    OwnerWait(const OwnerWait&) = delete;
    OwnerWait& operator=(const OwnerWait&) = delete;

private:
    TMPThread& thread_;
};

TMPThread::TMPThread(TMPMessageTarget& owner) : owner_(owner)
{
    try {
        thread_ = std::thread(&TMPThread::Execute, this);
        threadId_ = thread_.get_id();
        hasHandle_ = true;
    } catch (const std::system_error&) {
        // No thread: behave as one that has already ended.
        ended_.SetEvent();
    }
}

TMPThread::~TMPThread()
{
    Stop();
}

TMPThread* TMPThread::Current()
{
    return currentThread;
}

void TMPThread::Resume()
{
    resumed_.SetEvent();
}

void TMPThread::PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    TMPMessage message;
    message.Msg = msg;
    message.WParam = wParam;
    message.LParam = lParam;
    PostMessage(std::move(message));
}

void TMPThread::PostMessage(TMPMessage message)
{
    if (!hasHandle_)
        return;
    queue_.Post(std::move(message));
}

void TMPThread::Quit()
{
    PostMessage(TM_QUIT);
}

// By the loop's own marker, not the thread id: ids of ended threads are handed out again.
void TMPThread::CheckNotOnWorker() const
{
    MP_ASSERT(currentThread != this);
}

void TMPThread::Sync()
{
    CheckNotOnWorker();
    auto done = std::make_shared<TMPSimpleEvent>();
    TMPMessage message;
    message.Msg = TM_SYNC;
    message.Event = done;
    PostMessage(std::move(message));
    WaitForEventOrEnd(*done);
}

uint32_t TMPThread::WaitForEventOrEnd(TMPEvent& event, int32_t timeoutMs, TMPEvent* also)
{
    CheckNotOnWorker();
    OwnerWait waiting(*this);
    if (also)
        return TMPEvent::WaitForAny({&event, &ended_, also}, timeoutMs);
    return TMPEvent::WaitForAny({&event, &ended_}, timeoutMs);
}

void TMPThread::Stop()
{
    std::lock_guard stopLock(stopMutex_);
    if (!thread_.joinable())
        return;
    CheckNotOnWorker();
    {
        std::lock_guard lock(ownerWaitMutex_);
        stopping_ = true;
        ownerWaiting_.SetEvent();
    }
    // A thread that was never resumed must still get to its TM_QUIT.
    resumed_.SetEvent();
    Quit();
    thread_.join();
}

bool TMPThread::WaitForHandOver(TMPEvent& shown)
{
    TMPThread* self = currentThread;
    if (self == nullptr)
        return shown.WaitFor(kInfinite) == kWaitSignalled;
    return TMPEvent::WaitForAny({&shown, &self->ownerWaiting_}, kInfinite) == 0;
}

void TMPThread::Deliver(TMPMessage& message)
{
    owner_.Dispatch(message);
}

// One pass: wait, report the wake-up or time-out, then drain the queue. False once TM_QUIT is taken.
bool TMPThread::RunPass()
{
    const uint32_t woken = TMPEvent::WaitForAny({&WakeEvent, &queue_.NotEmpty()}, TimeOut.load());
    if (woken == 0 || woken == kWaitTimeout) {
        TMPMessage notice;
        notice.Msg = woken == 0 ? TM_WAKE : TM_TIMEOUT;
        Deliver(notice);
    }
    while (std::optional<TMPMessage> message = queue_.Take()) {
        switch (message->Msg) {
        case TM_QUIT: return false;
        case TM_SYNC:
            if (message->Event)
                message->Event->SetEvent();
            break;
        default: Deliver(*message); break;
        }
    }
    return true;
}

void TMPThread::HandOver(const std::exception_ptr& error)
{
    std::exception_ptr shown = error;
    bool handled = false;
    try {
        if (OnException)
            OnException(this, error, handled);
    } catch (...) {
        // The handler itself failed: show that failure instead; the thread carries on.
        shown = std::current_exception();
        handled = false;
    }
    if (handled)
        return;
    try {
        ShowException(shown);
    } catch (...) {
        // Nothing is left to report a failing display to.
    }
}

void TMPThread::Execute()
{
    currentThread = this;
    resumed_.WaitFor(kInfinite);
    for (;;) {
        std::exception_ptr error;
        try {
            if (!RunPass())
                break;
            continue;
        } catch (const std::exception&) {
            // Unwinding has already left the handler and released the locks it held.
            error = std::current_exception();
        } catch (...) {
            break; // not an exception of the general class: the thread ends
        }
        HandOver(error);
    }
    ended_.SetEvent();
}

} // namespace pt4
