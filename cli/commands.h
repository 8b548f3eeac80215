// The subcommands of the pt4 terminal tool. Each takes the arguments after its name and returns
// the process exit status.
#pragma once

#include <nlohmann/json_fwd.hpp>

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

// A file, list or station name as pt4 shows it: password hidden, control characters visible.
std::string ShownName(const std::string& name);

// `value` as one line of JSON, with every control character escaped (C1 ones too).
std::string JsonLine(const nlohmann::json& value);

} // namespace pt4::cli
