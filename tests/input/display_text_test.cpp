#include "mp3plyr/input/display_text.h"

#include <gtest/gtest.h>

namespace pt4 {
namespace {

std::string Bytes(std::initializer_list<unsigned char> bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

TEST(DisplayText, AsciiAndUtf8StayAsTheyAre)
{
    EXPECT_EQ(DisplayText("Plain title"), "Plain title");
    EXPECT_EQ(DisplayText(""), "");
    EXPECT_EQ(DisplayText("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"),
              "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"); // 日本語
    EXPECT_EQ(DisplayText("caf\xC3\xA9 \xF0\x9F\x8E\xB5"), "caf\xC3\xA9 \xF0\x9F\x8E\xB5");
    EXPECT_EQ(DisplayText("\xEF\xBB\xBFWith mark"), "With mark");
}

TEST(DisplayText, PaddingIsRemoved)
{
    EXPECT_EQ(DisplayText(std::string("Name\0\0\0", 7)), "Name");
    EXPECT_EQ(DisplayText("Name    "), "Name");
    EXPECT_EQ(DisplayText(std::string("Name  \0junk", 11)), "Name");
    EXPECT_EQ(DisplayText("  Lead"), "  Lead");
}

TEST(DisplayText, Utf16WithByteOrderMark)
{
    // "Aé日" little- and big-endian, NUL-terminated as tag frames often are.
    EXPECT_EQ(DisplayText(Bytes({0xFF, 0xFE, 'A', 0, 0xE9, 0, 0xE5, 0x65, 0, 0})), "A\xC3\xA9\xE6\x97\xA5");
    EXPECT_EQ(DisplayText(Bytes({0xFE, 0xFF, 0, 'A', 0, 0xE9, 0x65, 0xE5})), "A\xC3\xA9\xE6\x97\xA5");
    // A surrogate pair (U+1F3B5), a lone surrogate, an odd last byte, trailing spaces.
    EXPECT_EQ(DisplayText(Bytes({0xFF, 0xFE, 0x3C, 0xD8, 0xB5, 0xDF, 0x00, 0xD8, 'x', 0, ' ', 0, 'z'})),
              "\xF0\x9F\x8E\xB5\xEF\xBF\xBDx");
    EXPECT_EQ(DisplayText(Bytes({0xFF, 0xFE})), "");
}

TEST(DisplayText, ShiftJisWhenNotUtf8)
{
    // "日本語" and half-width katakana "ｱｲ" in code page 932.
    EXPECT_EQ(DisplayText(Bytes({0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA})),
              "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E");
    EXPECT_EQ(DisplayText(Bytes({0xB1, 0xB2})), "\xEF\xBD\xB1\xEF\xBD\xB2");
    // Code page 932 extensions: circled digit one (0x8740).
    EXPECT_EQ(DisplayText(Bytes({0x87, 0x40, ' '})), "\xE2\x91\xA0");
}

TEST(DisplayText, Latin1WhenNeitherUtf8NorShiftJis)
{
    // 0xE9 alone is a lead byte without its second byte in Shift-JIS.
    EXPECT_EQ(DisplayText("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(DisplayText("\xFF\xFF"), "\xC3\xBF\xC3\xBF");
    EXPECT_EQ(DisplayText("\xA0\xFD"), "\xC2\xA0\xC3\xBD");
    // Valid Shift-JIS too, but Latin letters without any byte 0x80-0x9F: accented Western text
    // as id3lib and eyeD3 write it.
    EXPECT_EQ(DisplayText("Band \xC4"), "Band \xC3\x84");
    EXPECT_EQ(DisplayText("\xC9\xE9\xE9 title"), "\xC3\x89\xC3\xA9\xC3\xA9 title");
}

} // namespace
} // namespace pt4
