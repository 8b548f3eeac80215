// What plumtone4 makes of its command line before any window exists: --help and --version are
// answered on the terminal, an option that neither the program nor Qt knows is refused.
#pragma once

#include <optional>

namespace pt4 {

// The exit status when the command line is answered here (0 for --help and --version, 2 for an
// unknown option, usage printed), or nothing when the window should start.
std::optional<int> AnswerCommandLine(int argc, const char* const* argv);

} // namespace pt4
