#include "app/command_line.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace pt4 {

namespace {

// Options QApplication takes out of argv itself, with one dash or two: those followed by a value,
// those written -name=value, and flags.
constexpr std::array<std::string_view, 16> kQtOptionsWithValue = {
    "platform",    "platformpluginpath", "platformtheme", "plugin",     "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "style",         "stylesheet", "session",
    "display",     "geometry",           "name",          "title",      "icon",
    "visual"};
constexpr std::array<std::string_view, 4> kQtOptionsWithEquals = {"style", "stylesheet", "qmljsdebugger",
                                                                  "dialogs"};
constexpr std::array<std::string_view, 6> kQtFlags = {"reverse", "widgetcount", "nograb",
                                                      "dograb",  "sync",        "testability"};

template <size_t N> bool Contains(const std::array<std::string_view, N>& names, std::string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

void PrintUsage(std::FILE* to)
{
    std::fputs("usage: plumtone4 [QT-OPTION...] [FILE|FOLDER|URL...]\n"
               "       plumtone4 --help | --version\n"
               "Plays MP3 files in a small window; the first FILE or URL named opens at start, a FOLDER\n"
               "plays its files in turn.\n"
               "Qt's own options (-platform NAME, -style NAME, -reverse, ...) are accepted.\n"
               "See plumtone4(1).\n",
               to);
}

} // namespace

std::optional<int> AnswerCommandLine(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            std::printf("plumtone4 %s\n", PT4_VERSION);
            return 0;
        }
        if (arg == "--version" || arg == "-v") {
            std::printf("plumtone4 %s\n", PT4_VERSION);
            return 0;
        }
        // File names and URLs; a lone "-" is a name too.
        if (arg.size() < 2 || arg[0] != '-')
            continue;
        const std::string_view name = arg.substr(arg.starts_with("--") ? 2 : 1);
        const size_t equals = name.find('=');
        if (equals != std::string_view::npos) {
            if (Contains(kQtOptionsWithEquals, name.substr(0, equals)))
                continue;
        } else if (Contains(kQtOptionsWithValue, name)) {
            ++i;
            continue;
        } else if (Contains(kQtFlags, name)) {
            continue;
        }
        std::fprintf(stderr, "plumtone4: unknown option '%s'\n", argv[i]);
        PrintUsage(stderr);
        return 2;
    }
    return std::nullopt;
}

} // namespace pt4
