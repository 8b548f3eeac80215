// The application's standard exception display: a message box with the exception's text.
#pragma once

namespace pt4 {

// Installs the message box as the display of every exception a handler or the player does not
// take over. Messages from other threads are shown on the window thread.
void InstallExceptionMessageBox();

} // namespace pt4
