#include "mp3plyr/runtime/message_window.h"

#include "mp3plyr/errors.h"

#include <mutex>

namespace pt4 {

TMPMessageWindow::TMPMessageWindow(TMPMessageTarget& target)
    : target_(target), ownerThread_(std::this_thread::get_id())
{
}

TMPMessageWindow::~TMPMessageWindow()
{
    Destroy();
}

void TMPMessageWindow::Destroy()
{
    std::unique_lock lock(lifeMutex_);
    exists_ = false;
    notifier_ = nullptr;
    queue_.Clear();
}

bool TMPMessageWindow::Exists() const
{
    std::shared_lock lock(lifeMutex_);
    return exists_;
}

void TMPMessageWindow::SetNotifier(std::function<void()> notifier)
{
    std::unique_lock lock(lifeMutex_);
    if (exists_)
        notifier_ = std::move(notifier);
}

void TMPMessageWindow::Queue(TMPMessage&& message, bool unique)
{
    std::shared_lock lock(lifeMutex_);
    if (!exists_)
        return;
    if (unique) {
        if (!queue_.PostIfAbsent(std::move(message)))
            return;
    } else {
        queue_.Post(std::move(message));
    }
    if (notifier_)
        notifier_();
}

void TMPMessageWindow::PostUnique(uint32_t msg)
{
    TMPMessage message;
    message.Msg = msg;
    Queue(std::move(message), IsOwnerThread());
}

void TMPMessageWindow::PostPlain(uint32_t msg, uintptr_t wParam, intptr_t lParam)
{
    TMPMessage message;
    message.Msg = msg;
    message.WParam = wParam;
    message.LParam = lParam;
    Queue(std::move(message), false);
}

void TMPMessageWindow::PostPlain(TMPMessage message)
{
    Queue(std::move(message), false);
}

size_t TMPMessageWindow::PurgeMessages(uint32_t msg)
{
    return IsOwnerThread() ? queue_.Remove(msg) : 0;
}

size_t TMPMessageWindow::DispatchMessages()
{
    MP_ASSERT(IsOwnerThread());
    size_t delivered = 0;
    // Messages posted while these are handled wait for the next call, so a handler that posts
    // cannot keep the owner's event loop here for ever.
    for (size_t pending = queue_.Size(); pending > 0; --pending) {
        std::optional<TMPMessage> message = queue_.Take();
        if (!message)
            break;
        if (message->Msg < kWindowMessageFirst || message->Msg > kWindowMessageLast)
            continue;
        target_.Dispatch(*message);
        ++delivered;
    }
    return delivered;
}

bool TMPMessageWindow::WaitForMessage(int32_t timeoutMs)
{
    return queue_.NotEmpty().WaitFor(timeoutMs) == kWaitSignalled;
}

} // namespace pt4
