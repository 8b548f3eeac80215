// pt4: the terminal face of the player core.
#include "cli/charset_option.h"
#include "cli/commands.h"
#include "cli/loudness_options.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void PrintUsage(std::FILE* to)
{
    std::fprintf(to,
                 "usage: pt4 info [--json] FILE...\n"
                 "       pt4 play [--volume N] %s FILE...\n"
                 "       pt4 decode [--8bit] [--mix|--left|--right] [--half|--quarter] [--raw]\n"
                 "                  [--start SECONDS] [--no-gapless] %s\n"
                 "                  INPUT -o OUTPUT\n"
                 "Any command also takes --charset auto|sjis|eucjp|latin1 (how tag text is read).\n"
                 "A FILE or INPUT may also be - (standard input), an http:// or https:// URL, or an .m3u,\n"
                 ".m3u8 or .pls playlist (played whole; decode takes its first entry).\n"
                 "--replaygain plays at the loudness gain stored in the files (off by default);\n"
                 "--preamp DB (-20 to 20) adds to it.\n",
                 pt4::cli::kLoudnessUsage, pt4::cli::kLoudnessUsage);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    if (!pt4::cli::TakeCharsetOption(words))
        return 2;
    if (words.empty()) {
        PrintUsage(stderr);
        return 2;
    }
    const std::string command = words.front();
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (command == "info")
        return pt4::cli::RunInfo(args);
    if (command == "play")
        return pt4::cli::RunPlay(args);
    if (command == "decode")
        return pt4::cli::RunDecode(args);
    if (command == "--help" || command == "-h" || command == "help") {
        PrintUsage(stdout);
        std::printf("pt4 %s, see pt4(1)\n", PT4_VERSION);
        return 0;
    }
    if (command == "--version") {
        std::printf("pt4 %s\n", PT4_VERSION);
        return 0;
    }
    std::fprintf(stderr, "pt4: unknown command '%s'\n", command.c_str());
    PrintUsage(stderr);
    return 2;
}
