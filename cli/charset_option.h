// --charset auto|sjis|eucjp|latin1: how pt4 reads tag and station text that carries no Unicode
// form, for every command.
#pragma once

#include <string>
#include <vector>

namespace pt4::cli {

// Takes "--charset NAME" or "--charset=NAME" out of `args`, wherever it stands (before or after
// the command), and sets the process's choice. False, with a message on standard error, for a
// name it does not know or a missing one.
bool TakeCharsetOption(std::vector<std::string>& args);

} // namespace pt4::cli
