// The window's way to run a command from a control, a key, a menu or the desktop bus.
#pragma once

#include "mp3plyr/runtime/exception_display.h"

#include <exception>

namespace pt4 {

// The framework's standard exception display: the command ends, the window lives on.
template <class Command> void RunGuarded(Command&& command)
{
    try {
        command();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

} // namespace pt4
