#include "components/desktop_sound.h"

#include <memory>
#include <mutex>
#include <optional>

#ifdef PT4_HAVE_CANBERRA
#include <canberra.h>
#include <dlfcn.h>
#endif

namespace pt4 {

namespace {

std::mutex soundMutex;
TDesktopSoundPlayer replacement;

#ifdef PT4_HAVE_CANBERRA
// The sound library's entry points, loaded with the first sound: a window that is never
// minimised does not map it.
struct TCanberra {
    decltype(&ca_context_create) create = nullptr;
    decltype(&ca_context_change_props) changeProps = nullptr;
    decltype(&ca_context_play) play = nullptr;
    decltype(&ca_context_destroy) destroy = nullptr;
};

const TCanberra* Canberra()
{
    static const std::optional<TCanberra> library = []() -> std::optional<TCanberra> {
        void* handle = dlopen("libcanberra.so.0", RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            return std::nullopt;
        TCanberra entries;
        entries.create = reinterpret_cast<decltype(entries.create)>(dlsym(handle, "ca_context_create"));
        entries.changeProps =
            reinterpret_cast<decltype(entries.changeProps)>(dlsym(handle, "ca_context_change_props"));
        entries.play = reinterpret_cast<decltype(entries.play)>(dlsym(handle, "ca_context_play"));
        entries.destroy = reinterpret_cast<decltype(entries.destroy)>(dlsym(handle, "ca_context_destroy"));
        if (!entries.create || !entries.changeProps || !entries.play || !entries.destroy)
            return std::nullopt;
        return entries;
    }();
    return library ? &*library : nullptr;
}

struct ContextDeleter {
    void operator()(ca_context* context) const { Canberra()->destroy(context); }
};

// One context for the process, made on first use; null when it cannot be made.
ca_context* ThemeContext()
{
    static std::unique_ptr<ca_context, ContextDeleter> context = [] {
        const TCanberra* canberra = Canberra();
        ca_context* made = nullptr;
        if (canberra == nullptr || canberra->create(&made) != CA_SUCCESS)
            return std::unique_ptr<ca_context, ContextDeleter>();
        canberra->changeProps(made, CA_PROP_APPLICATION_NAME, "Plumtone4", CA_PROP_APPLICATION_ID,
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
        Canberra()->play(context, 0, CA_PROP_EVENT_ID, eventId.c_str(), nullptr);
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
