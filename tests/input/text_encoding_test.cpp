// Reading outside text: what must stay UTF-8 although it also reads as half-width katakana,
// Windows-1252 punctuation beside Latin letters, signs alone, what a forced choice still leaves
// to a Unicode form, and conversions that go on past an invalid sequence.
#include "mp3plyr/input/display_text.h"
#include "mp3plyr/input/encoding_detection.h"
#include "mp3plyr/input/text_encoding.h"

#include <gtest/gtest.h>

namespace pt4 {
namespace {

TEST(TextEncoding, DetectedWhereTheReadingsCompete)
{
    const struct {
        const char* raw;
        TTextEncoding found;
        const char* shown;
    } cases[] = {
        // Valid UTF-8 that code page 932 also reads, as ﾃｩ, ﾐｧﾐｾﾐｽ, or a kana glued to letters.
        {"Caf\xC3\xA9", TTextEncoding::Utf8, "Café"},
        {"\xD0\xA1\xD0\xBE\xD0\xBD", TTextEncoding::Utf8, "Сон"},
        {"Cafe\xCC\x81 ole\xCC\x81", TTextEncoding::Utf8, "Cafe\xCC\x81 ole\xCC\x81"},
        // Valid UTF-8 of scripts that do not go together: half-width katakana.
        {"\xD7\xBC\xDE\xB5", TTextEncoding::ShiftJis, "ﾗｼﾞｵ"},
        {"\xD0\xB0\xC5\xB2", TTextEncoding::ShiftJis, "ﾐｰﾅｲ"}, // Cyrillic а beside Latin Ų
        // Half-width katakana by the single shift of EUC-JP.
        {"\x8E\xD7\x8E\xBC\x8E\xDE\x8E\xB5", TTextEncoding::EucJp, "ﾗｼﾞｵ"},
        // Windows-1252 quotes that code page 932 would take for a kanji inside a Latin word.
        {"L\x92"
         "amour",
         TTextEncoding::Latin1, "L’amour"},
        {"\x80uro Mix", TTextEncoding::Latin1, "€uro Mix"},
        // An accented capital that is also a half-width katakana, glued to letters.
        {"\xDC"
         "ber",
         TTextEncoding::Latin1, "Über"},
        // Full-width signs alone.
        {"\x87\x40 \x81\x9A", TTextEncoding::ShiftJis, "① ★"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DetectTextEncoding(c.raw), c.found) << c.shown;
        EXPECT_EQ(DisplayText(c.raw, TTextEncodingChoice::Auto), c.shown);
    }
}

TEST(TextEncoding, ForcedChoiceLeavesUnicodeFormsAlone)
{
    const std::string utf16("\xFF\xFE"
                            "A\0",
                            4);
    const std::string jis = "\x1B$BEl5~\x1B(B";
    for (TTextEncodingChoice choice :
         {TTextEncodingChoice::ShiftJis, TTextEncodingChoice::EucJp, TTextEncodingChoice::Latin1}) {
        EXPECT_EQ(EncodingFor(utf16, choice), TTextEncoding::Utf16LittleEndian);
        EXPECT_EQ(EncodingFor(jis, choice), TTextEncoding::Iso2022Jp);
        EXPECT_EQ(DisplayText("\xE6\x9D\xB1\xE4\xBA\xAC Caf\xC3\xA9", choice), "東京 Café");
        // UTF-8 that reads as no text is read as the choice says.
        EXPECT_EQ(EncodingFor("\xD7\xBC\xDE\xB5", choice), *ChosenEncoding(choice));
    }
    EXPECT_EQ(DisplayText("\xD7\xBC\xDE\xB5", TTextEncodingChoice::Latin1), "×¼Þµ");
}

TEST(TextEncoding, ConversionGoesOnPastInvalidSequences)
{
    EXPECT_EQ(ConvertToUtf8("A\x82\x20"
                            "B\xFD",
                            TTextEncoding::ShiftJis),
              "A\uFFFD B\uFFFD");
    EXPECT_EQ(ConvertStrictlyToUtf8("A\x82\x20", TTextEncoding::ShiftJis), std::nullopt);
    EXPECT_EQ(ConvertToUtf8("\xA4\xA2\xA4", TTextEncoding::EucJp), "あ\uFFFD");
    EXPECT_EQ(ConvertToUtf8("x\xC3(", TTextEncoding::Utf8), "x\uFFFD(");
    EXPECT_EQ(ConvertToUtf8(std::string("\xFE\xFF\0A\xD8\x00", 6), TTextEncoding::Utf16BigEndian), "A\uFFFD");
    // Windows-1252 leaves five bytes undefined: they stay the C1 controls of Latin-1.
    EXPECT_EQ(ConvertToUtf8("\x80\x81\x9F\xFF", TTextEncoding::Latin1), "€\u0081Ÿÿ");
}

TEST(TextEncoding, ChoiceNames)
{
    for (TTextEncodingChoice choice : {TTextEncodingChoice::Auto, TTextEncodingChoice::ShiftJis,
                                       TTextEncodingChoice::EucJp, TTextEncodingChoice::Latin1})
        EXPECT_EQ(TextEncodingChoiceNamed(TextEncodingChoiceName(choice)), choice);
    EXPECT_EQ(TextEncodingChoiceNamed("SJIS"), std::nullopt);
    EXPECT_EQ(TextEncodingChoiceNamed(""), std::nullopt);
}

} // namespace
} // namespace pt4
