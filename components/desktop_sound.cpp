#include "components/desktop_sound.h"

#include <memory>
#include <mutex>

#ifdef PT4_HAVE_CANBERRA
#include <canberra.h>
#endif

namespace pt4 {

namespace {

std::mutex soundMutex;
TDesktopSoundPlayer replacement;

#ifdef PT4_HAVE_CANBERRA
struct ContextDeleter {
    void operator()(ca_context* context) const { ca_context_destroy(context); }
};

// One context for the process, made on first use; null when it cannot be made.
ca_context* ThemeContext()
{
    static std::unique_ptr<ca_context, ContextDeleter> context = [] {
        ca_context* made = nullptr;
        if (ca_context_create(&made) != CA_SUCCESS)
            return std::unique_ptr<ca_context, ContextDeleter>();
        ca_context_change_props(made, CA_PROP_APPLICATION_NAME, "Plumtone4", CA_PROP_APPLICATION_ID,
                                "plumtone4", CA_PROP_APPLICATION_ICON_NAME, "plumtone4", nullptr);
        return std::unique_ptr<ca_context, ContextDeleter>(made);
    }();
    return context.get();
}
#endif

void PlayThemeSound([[maybe_unused]] const std::string& eventId)
{
#ifdef PT4_HAVE_CANBERRA
    if (ca_context* context = ThemeContext())
        ca_context_play(context, 0, CA_PROP_EVENT_ID, eventId.c_str(), nullptr);
#endif
}

} // namespace

void PlayDesktopSound(const std::string& eventId)
{
    TDesktopSoundPlayer player;
    {
        std::lock_guard lock(soundMutex);
        player = replacement;
    }
    if (player)
        player(eventId);
    else
        PlayThemeSound(eventId);
}

void SetDesktopSoundPlayer(TDesktopSoundPlayer player)
{
    std::lock_guard lock(soundMutex);
    replacement = std::move(player);
}

} // namespace pt4
