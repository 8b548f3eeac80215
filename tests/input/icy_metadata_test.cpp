// Station titles in metadata blocks and the first entry of playlist files. (The split of a body
// into audio and blocks is checked end to end by the stream command tests and by its fuzz target.)
#include "mp3plyr/input/icy_metadata.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace pt4 {
namespace {

TEST(IcyStreamTitle, ValueUpToTheClosingQuote)
{
    const struct {
        std::string block;
        std::optional<std::string> title;
    } cases[] = {
        {"StreamTitle='Artist - Song';StreamUrl='';", "Artist - Song"},
        {"StreamTitle='Rock'n'Roll Ain't Noise';", "Rock'n'Roll Ain't Noise"},
        {"StreamUrl='x';StreamTitle='';", ""},
        {"StreamTitle='No semicolon'", "No semicolon"},
        {"StreamUrl='http://x/';", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IcyStreamTitle(c.block), c.title) << c.block;
}

} // namespace
} // namespace pt4
