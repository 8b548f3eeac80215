// Event sounds of the desktop's sound theme ("window-minimized", ...). Silent where no theme,
// sound server or sound library is present.
#pragma once

#include <functional>
#include <string>

namespace pt4 {

using TDesktopSoundPlayer = std::function<void(const std::string& eventId)>;

// Plays the event asynchronously; never raises.
void PlayDesktopSound(const std::string& eventId);
// Replaces the player (tests record the events); an empty function restores the theme.
void SetDesktopSoundPlayer(TDesktopSoundPlayer player);

} // namespace pt4
