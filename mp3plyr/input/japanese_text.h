// How bytes read as Japanese text in Shift-JIS (code page 932) or EUC-JP: whether they split
// into characters of the encoding, and whether what they give looks like a Japanese title or
// like another text misread (accented Latin letters taken for half-width katakana or kanji).
#pragma once

#include <string_view>

namespace pt4 {

struct TJapaneseReading {
    // The bytes convert without an invalid sequence and hold no user-defined character.
    bool valid = false;
    // Valid, and nothing in it that Japanese text does not hold: half-width katakana only as
    // words (sound marks and small kana after the kana they belong to, no Latin letter glued to
    // them), and no kanji inside a Latin word.
    bool plausible = false;
    // Full-width kana.
    int kana = 0;
    // Half-width katakana of words of two or more, and how many of them are sound marks, small
    // kana or the long vowel, which only katakana words hold.
    int halfWidthKana = 0;
    int halfWidthMarks = 0;
    // Kanji outside Latin words, and how many of them are common ones (IsCommonKanji).
    int kanji = 0;
    int commonKanji = 0;
    // Kanji of the second level of JIS X 0208 and of the extensions: rarer ones.
    int rareKanji = 0;
    // Full-width signs, Latin letters and digits (rows 1 to 8 and 13 of JIS X 0208: ★, ①, Ａ).
    int signs = 0;
    // The bytes those kana and kanji take: how much of the text reads as Japanese.
    int weight = 0;

    bool HoldsKana() const { return plausible && kana + halfWidthKana > 0; }
    bool HoldsJapanese() const { return plausible && kana + halfWidthKana + kanji > 0; }
    // Kanji, more than half of them common ones.
    bool MostlyCommonKanji() const { return kanji > 0 && commonKanji * 2 > kanji; }
};

TJapaneseReading ReadAsShiftJis(std::string_view bytes);
TJapaneseReading ReadAsEucJp(std::string_view bytes);

} // namespace pt4
