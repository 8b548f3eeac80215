// What assistive technologies (screen readers over AT-SPI) see of the skin: buttons, toggles and
// knobs with their names, states and actions, and the labels as text.
#pragma once

namespace pt4 {

// Once per process, before the first window is shown.
void InstallSkinAccessibility();

} // namespace pt4
