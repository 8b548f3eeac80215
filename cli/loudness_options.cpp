#include "cli/loudness_options.h"

#include <cmath>
#include <cstdlib>

namespace pt4::cli {

OptionTaken TakeLoudnessOption(const std::vector<std::string>& args, size_t& i, LoudnessOptions& out)
{
    const std::string& arg = args[i];
    if (arg != "--replaygain" && arg != "--preamp")
        return OptionTaken::No;
    if (i + 1 >= args.size())
        return OptionTaken::Bad;
    const std::string& value = args[++i];
    if (arg == "--replaygain") {
        const auto mode = ParseReplayGainMode(value);
        if (!mode)
            return OptionTaken::Bad;
        out.mode = *mode;
        return OptionTaken::Yes;
    }
    char* end = nullptr;
    const double db = std::strtod(value.c_str(), &end);
    if (value.empty() || *end != '\0' || !(std::fabs(db) <= 20.0))
        return OptionTaken::Bad;
    out.preampDb = db;
    return OptionTaken::Yes;
}

} // namespace pt4::cli
