// `pt4 --help`: every option a command's own usage names is listed in the tool's help too.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <memory>
#include <regex>
#include <set>
#include <string>

namespace {

// What the command prints on standard output and standard error together.
std::string Output(const std::string& args)
{
    const std::string command = std::string(PT4_BINARY_DIR) + "/bin/pt4 " + args + " 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string text;
    std::array<char, 4096> buffer{};
    while (pipe && std::fgets(buffer.data(), int(buffer.size()), pipe.get()))
        text += buffer.data();
    return text;
}

std::set<std::string> Options(const std::string& text)
{
    static const std::regex option("--[a-z0-9][a-z0-9-]*");
    std::set<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it)
        found.insert(it->str());
    return found;
}

TEST(Usage, HelpListsEveryOptionOfEveryCommand)
{
    const std::set<std::string> help = Options(Output("--help"));
    // A call without its files makes each command print its own usage.
    for (const char* command : {"info", "play", "decode"}) {
        const std::set<std::string> own = Options(Output(command));
        EXPECT_FALSE(own.empty()) << command;
        for (const std::string& option : own)
            EXPECT_TRUE(help.count(option)) << "pt4 --help does not list " << option << " of pt4 " << command;
    }
}

} // namespace
