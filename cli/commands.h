// The subcommands of the pt4 terminal tool. Each takes the arguments after its name and returns
// the process exit status.
#pragma once

#include <string>
#include <vector>

namespace pt4::cli {

int RunInfo(const std::vector<std::string>& args);
int RunDecode(const std::vector<std::string>& args);
int RunPlay(const std::vector<std::string>& files);

} // namespace pt4::cli
