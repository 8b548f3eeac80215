// pt4 run as a child process through the shell, under a time limit, with what it wrote.
#pragma once

#include <filesystem>
#include <string>

namespace pt4::test {

struct Pt4Result {
    int status = 0; // the exit status; 137 when the time limit ended it
    std::string out;
    std::string err;
};

// Runs the shell command line `pipeline`, in which "$PT4" names the pt4 under test, with
// `environment` ("NAME=value ...", may be empty) and at most `seconds` of time (the whole
// pipeline is killed then). Its standard error goes through a file in `scratch`.
Pt4Result RunPipeline(const std::string& pipeline, const std::filesystem::path& scratch, int seconds = 30,
                      const std::string& environment = {});

// RunPipeline of `pt4 ARGS` (ARGS as the shell takes them), reading nothing.
Pt4Result RunPt4(const std::string& args, const std::filesystem::path& scratch, int seconds = 30,
                 const std::string& environment = {});

// `text` as one shell word, whatever bytes it holds.
std::string ShellWord(const std::string& text);

} // namespace pt4::test
