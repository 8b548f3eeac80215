// How often a title in a legacy encoding is shown exactly as written, measured on a corpus of
// Japanese and Western European song titles and artist names (tests/input/text_corpus/), each
// one encoded in every legacy encoding of its language that can hold it. Prints the share per
// encoding, with titles of one to three characters apart, and holds the longer ones to 99 %.
#include "mp3plyr/input/display_text.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace pt4 {
namespace {

std::vector<std::string> CorpusLines(const std::string& name)
{
    std::ifstream in(std::string(PT4_TEST_DATA_DIR) + "/input/text_corpus/" + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    return lines;
}

std::optional<std::string> Iconv(const std::string& text, const char* to, const char* from)
{
    const iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    std::string out(text.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    if (result != static_cast<size_t>(-1))
        result = iconv(converter, nullptr, nullptr, &outPtr, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1) || inLeft != 0)
        return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}

// The title in the encoding, when the encoding holds it: converting there and back gives it again.
std::optional<std::string> Encoded(const std::string& utf8, const char* encoding)
{
    const std::optional<std::string> bytes = Iconv(utf8, encoding, "UTF-8");
    if (!bytes || Iconv(*bytes, "UTF-8", encoding) != utf8)
        return std::nullopt;
    return bytes;
}

size_t Characters(const std::string& utf8)
{
    size_t count = 0;
    for (char c : utf8)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

struct Tally {
    int shown = 0;
    int total = 0;
    double Percent() const { return total == 0 ? 100.0 : 100.0 * shown / total; }
};

struct Measured {
    Tally longer; // four characters and more
    Tally shortOnes;
    std::vector<std::string> wrong;
};

Measured Measure(const std::vector<std::string>& titles, const char* encoding)
{
    Measured measured;
    for (const std::string& title : titles) {
        const std::optional<std::string> bytes = Encoded(title, encoding);
        if (!bytes)
            continue;
        Tally& tally = Characters(title) <= 3 ? measured.shortOnes : measured.longer;
        ++tally.total;
        const std::string shown = DisplayText(*bytes);
        if (shown == title)
            ++tally.shown;
        else
            measured.wrong.push_back(title + " -> " + shown);
    }
    return measured;
}

struct Case {
    const char* corpus;
    const char* encoding;
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.corpus << " in " << c.encoding;
}

class TextCorpus : public ::testing::TestWithParam<Case> {};

TEST_P(TextCorpus, ShownExactlyInNinetyNineOfAHundred)
{
    const Case c = GetParam();
    const std::vector<std::string> titles = CorpusLines(c.corpus);
    ASSERT_GT(titles.size(), 100u);
    const Measured m = Measure(titles, c.encoding);
    std::printf("%-13s %-12s %4d/%-4d %6.2f %%   short: %3d/%-3d %6.2f %%\n", c.corpus, c.encoding,
                m.longer.shown, m.longer.total, m.longer.Percent(), m.shortOnes.shown, m.shortOnes.total,
                m.shortOnes.Percent());
    for (const std::string& wrong : m.wrong)
        std::printf("    %s\n", wrong.c_str());
    ASSERT_GT(m.longer.total, 50);
    EXPECT_GE(m.longer.Percent(), 99.0);
}

// Legacy encodings of each language, and UTF-8 and UTF-16 (with its byte-order mark), which
// must stay exact too.
INSTANTIATE_TEST_SUITE_P(Encodings, TextCorpus,
                         ::testing::Values(Case{"japanese.txt", "CP932"}, Case{"japanese.txt", "EUC-JP"},
                                           Case{"japanese.txt", "ISO-2022-JP"},
                                           Case{"western.txt", "ISO-8859-1"},
                                           Case{"western.txt", "WINDOWS-1252"}, Case{"japanese.txt", "UTF-8"},
                                           Case{"western.txt", "UTF-8"}, Case{"japanese.txt", "UTF-16"},
                                           Case{"western.txt", "UTF-16"}),
                         [](const auto& info) {
                             std::string name =
                                 std::string(info.param.corpus).substr(0, 5) + "_" + info.param.encoding;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

} // namespace
} // namespace pt4
