#include "mp3plyr/runtime/exception_display.h"

#include <cstdio>
#include <memory>
#include <mutex>

namespace pt4 {

namespace {

std::mutex displayMutex;
// Shared so that a display can be replaced while another thread is showing through the old one.
std::shared_ptr<const TMPExceptionDisplay> currentDisplay;

} // namespace

void SetExceptionDisplay(TMPExceptionDisplay display)
{
    std::shared_ptr<const TMPExceptionDisplay> next;
    if (display)
        next = std::make_shared<const TMPExceptionDisplay>(std::move(display));
    std::lock_guard lock(displayMutex);
    currentDisplay = std::move(next);
}

void ShowException(const std::exception_ptr& error)
{
    std::shared_ptr<const TMPExceptionDisplay> display;
    {
        std::lock_guard lock(displayMutex);
        display = currentDisplay;
    }
    if (display) {
        (*display)(error);
        return;
    }
    std::fprintf(stderr, "%s\n", ExceptionText(error).c_str());
}

std::string ExceptionText(const std::exception_ptr& error)
{
    if (!error)
        return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

} // namespace pt4
