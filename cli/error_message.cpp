// The reason part of pt4's error lines ("pt4: FILE: reason"), always in English (the player's
// own texts for the window are replaced where an English reason exists) and without control
// characters.
#include "cli/commands.h"

#include "mp3plyr/errors.h"
#include "mp3plyr/input/display_text.h"

namespace pt4::cli {

std::string ErrorMessage(const std::exception& error)
{
    // A reason may quote a name or text that came from a playlist or a server.
    // The core's own errors may carry an English reason beside the window's text.
    const auto* own = dynamic_cast<const EMP3Error*>(&error);
    if (own != nullptr && !own->Reason().empty())
        return VisibleText(own->Reason());
    return VisibleText(error.what());
}

std::string ErrorMessage(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return ErrorMessage(e);
    } catch (...) {
        return "unknown error";
    }
}

} // namespace pt4::cli
