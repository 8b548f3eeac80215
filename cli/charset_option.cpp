#include "cli/charset_option.h"

#include "mp3plyr/input/text_encoding.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <optional>

namespace pt4::cli {

bool TakeCharsetOption(std::vector<std::string>& args)
{
    static constexpr std::string_view kOption = "--charset";
    for (size_t i = 0; i < args.size();) {
        const std::string& arg = args[i];
        std::optional<std::string> name;
        size_t taken = 1;
        if (arg == kOption) {
            if (i + 1 < args.size())
                name = args[i + 1];
            taken = 2;
        } else if (arg.starts_with(std::string(kOption) + "=")) {
            name = arg.substr(kOption.size() + 1);
        } else {
            ++i;
            continue;
        }
        const std::optional<TTextEncodingChoice> choice =
            name ? TextEncodingChoiceNamed(*name) : std::nullopt;
        if (!choice) {
            std::fprintf(stderr, "pt4: --charset takes auto, sjis, eucjp or latin1\n");
            return false;
        }
        SetTextEncodingChoice(*choice);
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(std::min(args.size(), i + taken)));
    }
    return true;
}

} // namespace pt4::cli
