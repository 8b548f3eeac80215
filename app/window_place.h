// Where the main window was, kept in the settings file between starts, on platforms that let a
// program place its own window (X11; a Wayland compositor places windows itself).
#pragma once

class QWidget;

namespace pt4 {

class TIniFile;

// Moves the window to the place the file holds, when the platform allows it and the place is
// still on one of the screens; from then on follows the window's place, and keeps the window
// inside the screen's area for windows when it is shown.
void RestoreWindowPlace(QWidget& window, const TIniFile& ini);
// Writes the window's last place on the screen, when the platform allows placing it and the
// window was shown.
void SaveWindowPlace(const QWidget& window, TIniFile& ini);

} // namespace pt4
