#include "mp3plyr/input/japanese_text.h"

#include "mp3plyr/input/common_kanji.h"
#include "mp3plyr/input/text_encoding.h"
#include "mp3plyr/input/utf8_text.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace pt4 {

namespace {

// One character of the bytes: ASCII, half-width katakana (as its code point U+FF61-U+FF9F), or a
// two-byte JIS X 0208 character by its row (ku) and cell (ten).
struct Unit {
    enum Kind : uint8_t { Ascii, HalfWidth, Double } kind = Ascii;
    uint8_t ascii = 0;
    char16_t halfWidth = 0;
    int16_t row = 0;
};

using Units = std::vector<Unit>;

// The row given to every character of JIS X 0212 (EUC-JP's third code set).
constexpr int16_t kSupplementaryRow = 200;

// Half-width katakana by their byte A1-DF in code page 932 (and after EUC-JP's single shift).
char16_t HalfWidthKatakana(uint8_t byte)
{
    return static_cast<char16_t>(0xFF61 + (byte - 0xA1));
}

std::optional<Units> SplitShiftJis(std::string_view bytes)
{
    Units units;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<uint8_t>(bytes[i]);
        if (lead < 0x80) {
            units.push_back({Unit::Ascii, lead, 0, 0});
        } else if (lead >= 0xA1 && lead <= 0xDF) {
            units.push_back({Unit::HalfWidth, 0, HalfWidthKatakana(lead), 0});
        } else if ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) {
            if (i + 1 >= bytes.size())
                return std::nullopt;
            const auto trail = static_cast<uint8_t>(bytes[++i]);
            if (trail < 0x40 || trail == 0x7F || trail > 0xFC)
                return std::nullopt;
            // Each lead byte covers two rows: the odd one for trails below 0x9F.
            const int pair = lead <= 0x9F ? lead - 0x81 : lead - 0xC1;
            units.push_back({Unit::Double, 0, 0, static_cast<int16_t>(pair * 2 + (trail >= 0x9F ? 2 : 1))});
        } else {
            return std::nullopt;
        }
    }
    return units;
}

std::optional<Units> SplitEucJp(std::string_view bytes)
{
    Units units;
    auto inRange = [](uint8_t b) { return b >= 0xA1 && b <= 0xFE; };
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<uint8_t>(bytes[i]);
        if (lead < 0x80) {
            units.push_back({Unit::Ascii, lead, 0, 0});
            continue;
        }
        const auto next = [&](size_t k) {
            return i + k < bytes.size() ? static_cast<uint8_t>(bytes[i + k]) : 0;
        };
        if (lead == 0x8E && next(1) >= 0xA1 && next(1) <= 0xDF) {
            units.push_back({Unit::HalfWidth, 0, HalfWidthKatakana(next(1)), 0});
            i += 1;
        } else if (lead == 0x8F && inRange(next(1)) && inRange(next(2))) {
            // JIS X 0212, supplementary kanji and signs: counted with the rare kanji.
            units.push_back({Unit::Double, 0, 0, kSupplementaryRow});
            i += 2;
        } else if (inRange(lead) && inRange(next(1))) {
            units.push_back({Unit::Double, 0, 0, static_cast<int16_t>(lead - 0xA0)});
            i += 1;
        } else {
            return std::nullopt;
        }
    }
    return units;
}

bool IsLetter(const Unit& unit)
{
    const uint8_t c = unit.ascii;
    return unit.kind == Unit::Ascii && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}

constexpr int kFirstKanjiRow = 16;
constexpr int kFirstLevel2Row = 48;

// Rows of JIS X 0208 that hold nothing (9-12, 14-15, 85-88) and the user-defined area of code
// page 932 (rows 95-114): what a misread text lands in.
bool IsUnusedRow(int row)
{
    return (row >= 9 && row <= 12) || row == 14 || row == 15 || (row >= 85 && row <= 88) ||
           (row >= 95 && row <= 114);
}

// Half-width katakana by sound: what may come before a sound mark or a small kana.
bool TakesVoicedMark(char32_t c)
{
    return c == 0xFF73 || (c >= 0xFF76 && c <= 0xFF84) || (c >= 0xFF8A && c <= 0xFF8E) || c == 0xFF9C ||
           c == 0xFF66;
}
bool TakesSemiVoicedMark(char32_t c)
{
    return c >= 0xFF8A && c <= 0xFF8E;
}
bool IsKana(char32_t c)
{
    return c >= 0xFF66 && c <= 0xFF9F;
}
bool IsSmallVowel(char32_t c)
{
    return c >= 0xFF67 && c <= 0xFF6B;
}
bool IsSmallY(char32_t c)
{
    return c >= 0xFF6C && c <= 0xFF6E;
}
constexpr char32_t kFullStop = 0xFF61, kOpeningBracket = 0xFF62, kClosingBracket = 0xFF63, kComma = 0xFF64,
                   kMiddleDot = 0xFF65;
constexpr char32_t kSmallTsu = 0xFF6F, kLongVowel = 0xFF70, kN = 0xFF9D, kVoiced = 0xFF9E,
                   kSemiVoiced = 0xFF9F;
// ｱ ｲ ｴ ｵ: vowels that no small vowel follows (ｳ does: ｳｨ, ｳｪ, ｳｫ).
bool IsPlainVowel(char32_t c)
{
    return c == 0xFF71 || c == 0xFF72 || c == 0xFF74 || c == 0xFF75;
}
// The i-row (ｷ ｼ ﾁ ﾆ ﾋ ﾐ ﾘ) and ﾃ, ﾌ, which small ya, yu, yo follow.
bool TakesSmallY(char32_t c)
{
    return c == 0xFF77 || c == 0xFF7C || c == 0xFF81 || c == 0xFF86 || c == 0xFF8B || c == 0xFF90 ||
           c == 0xFF98 || c == 0xFF83 || c == 0xFF8C;
}

// Whether `c` may follow `before` (0 at the start of a run) inside a half-width word.
bool FollowsInWord(char32_t before, char32_t c)
{
    if (c == kVoiced)
        return TakesVoicedMark(before);
    if (c == kSemiVoiced)
        return TakesSemiVoicedMark(before);
    // After a sound mark what matters is the kana under it (ﾃﾞｨ, ｼﾞｬ).
    if (IsSmallVowel(c))
        return IsKana(before) && !IsPlainVowel(before) && before != kN && before != kSmallTsu &&
               before != kLongVowel && !IsSmallVowel(before) && !IsSmallY(before);
    if (IsSmallY(c))
        return TakesSmallY(before);
    if (c == kSmallTsu || c == kLongVowel)
        return IsKana(before) && before != kSmallTsu && before != kLongVowel;
    return true;
}

// Half-width punctuation where Japanese puts it: the full stop and the comma after a word, not
// inside one; the middle dot between two words; the corner brackets around one.
bool PunctuationFits(char32_t before, char32_t c, char32_t after)
{
    switch (c) {
    case kFullStop:
    case kComma: return !IsKana(after);
    case kMiddleDot: return IsKana(before) && IsKana(after);
    case kOpeningBracket: return IsKana(after);
    case kClosingBracket: return IsKana(before);
    default: return true;
    }
}

// Judges one run of half-width characters units[begin, end); adds its kana to `reading`.
bool JudgeHalfWidthRun(const Units& units, size_t begin, size_t end, TJapaneseReading& reading)
{
    if ((begin > 0 && IsLetter(units[begin - 1])) || (end < units.size() && IsLetter(units[end])))
        return false;
    char32_t base = 0; // the kana a sound mark or small kana attaches to
    char32_t before = 0;
    int kana = 0;
    int marks = 0;
    for (size_t i = begin; i < end; ++i) {
        const char32_t c = units[i].halfWidth;
        const char32_t after = i + 1 < end ? units[i + 1].halfWidth : 0;
        if (!PunctuationFits(before, c, after))
            return false;
        const bool mark = c == kVoiced || c == kSemiVoiced;
        if (!FollowsInWord(mark ? before : (before == kVoiced || before == kSemiVoiced ? base : before), c))
            return false;
        if (!mark)
            base = c;
        before = c;
        kana += IsKana(c) ? 1 : 0;
        marks += mark || IsSmallVowel(c) || IsSmallY(c) || c == kSmallTsu || c == kLongVowel ? 1 : 0;
    }
    // A lone half-width letter says nothing either way.
    if (kana >= 2) {
        reading.halfWidthKana += kana;
        reading.halfWidthMarks += marks;
        reading.weight += kana;
    }
    return true;
}

// Corner brackets come in pairs, the opening one first.
bool BracketsPair(const Units& units)
{
    bool open = false;
    for (const Unit& unit : units) {
        if (unit.kind != Unit::HalfWidth)
            continue;
        if (unit.halfWidth == kOpeningBracket) {
            if (open)
                return false;
            open = true;
        } else if (unit.halfWidth == kClosingBracket) {
            if (!open)
                return false;
            open = false;
        }
    }
    return !open;
}

TJapaneseReading Judge(const std::optional<Units>& split, std::string_view bytes, TTextEncoding encoding)
{
    TJapaneseReading reading;
    const std::optional<std::string> converted =
        split ? ConvertStrictlyToUtf8(bytes, encoding) : std::nullopt;
    if (!converted)
        return reading;
    const Units& units = *split;
    for (const Unit& unit : units)
        if (unit.kind == Unit::Double && IsUnusedRow(unit.row))
            return reading;
    reading.valid = true;
    if (!BracketsPair(units))
        return reading;
    for (char32_t c : Utf8CodePoints(*converted))
        reading.commonKanji += IsCommonKanji(c) ? 1 : 0;
    for (size_t i = 0; i < units.size(); ++i) {
        const Unit& unit = units[i];
        if (unit.kind == Unit::HalfWidth) {
            size_t end = i;
            while (end < units.size() && units[end].kind == Unit::HalfWidth)
                ++end;
            if (!JudgeHalfWidthRun(units, i, end, reading))
                return reading;
            i = end - 1;
        } else if (unit.kind == Unit::Double) {
            const bool letterBefore = i > 0 && IsLetter(units[i - 1]);
            const bool letterAfter = i + 1 < units.size() && IsLetter(units[i + 1]);
            if ((unit.row >= 1 && unit.row <= 3) || (unit.row >= 6 && unit.row <= 8) || unit.row == 13) {
                ++reading.signs;
            } else if (unit.row == 4 || unit.row == 5) {
                ++reading.kana;
                reading.weight += 2;
            } else if (unit.row >= kFirstKanjiRow) {
                // Kanji sit beside Latin letters in titles ("A面", "Love 愛"), but not inside
                // a Latin word, and the rarer kanji of the second level not even beside one.
                // Half-width katakana do not touch them either.
                const bool halfWidthBeside = (i > 0 && units[i - 1].kind == Unit::HalfWidth) ||
                                             (i + 1 < units.size() && units[i + 1].kind == Unit::HalfWidth);
                if ((letterBefore && letterAfter) ||
                    (unit.row >= kFirstLevel2Row && (letterBefore || letterAfter || halfWidthBeside)))
                    return reading;
                ++reading.kanji;
                reading.rareKanji += unit.row >= kFirstLevel2Row ? 1 : 0;
                reading.weight += 2;
            }
        }
    }
    reading.plausible = true;
    return reading;
}

} // namespace

TJapaneseReading ReadAsShiftJis(std::string_view bytes)
{
    return Judge(SplitShiftJis(bytes), bytes, TTextEncoding::ShiftJis);
}

TJapaneseReading ReadAsEucJp(std::string_view bytes)
{
    return Judge(SplitEucJp(bytes), bytes, TTextEncoding::EucJp);
}

} // namespace pt4
