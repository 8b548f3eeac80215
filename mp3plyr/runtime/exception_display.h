// The application's standard exception display: what a worker thread falls back on when nobody
// takes over an exception it caught. The window replaces it with a message box.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace pt4 {

using TMPExceptionDisplay = std::function<void(const std::exception_ptr& error)>;

// Installs the display; an empty function restores the default, which writes the text to stderr.
void SetExceptionDisplay(TMPExceptionDisplay display);
void ShowException(const std::exception_ptr& error);

// The text a person sees for an exception: what() of a standard exception, otherwise a fixed text.
std::string ExceptionText(const std::exception_ptr& error);

} // namespace pt4
