// The subcommands of the pt4 terminal tool. Each takes the arguments after its name and returns
// the process exit status.
#pragma once

#include <exception>
#include <string>
#include <vector>

namespace pt4::cli {

int RunInfo(const std::vector<std::string>& args);
int RunDecode(const std::vector<std::string>& args);
int RunPlay(const std::vector<std::string>& files);

// What went wrong, in English, for pt4's "pt4: FILE: reason" lines.
std::string ErrorMessage(const std::exception& error);
std::string ErrorMessage(const std::exception_ptr& error);

} // namespace pt4::cli
