#include "cli/support/pt4_run.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace pt4::test {

Pt4Result RunPipeline(const std::string& pipeline, const std::filesystem::path& scratch, int seconds,
                      const std::string& environment)
{
    const std::string err = (scratch / "pt4-stderr.txt").string();
    const std::string command = "env " + environment +
                                " PT4=" + ShellWord(std::string(PT4_BINARY_DIR) + "/bin/pt4") +
                                " timeout -s KILL " + std::to_string(seconds) + " sh -c " +
                                ShellWord(pipeline) + " 2>" + ShellWord(err);
    Pt4Result run;
    FILE* pipe = popen(command.c_str(), "r");
    std::array<char, 65536> chunk{};
    size_t n;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        run.out.append(chunk.data(), n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(err, std::ios::binary);
    run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return run;
}

Pt4Result RunPt4(const std::string& args, const std::filesystem::path& scratch, int seconds,
                 const std::string& environment)
{
    return RunPipeline("\"$PT4\" " + args + " </dev/null", scratch, seconds, environment);
}

std::string ShellWord(const std::string& text)
{
    std::string word = "'";
    for (const char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

} // namespace pt4::test
