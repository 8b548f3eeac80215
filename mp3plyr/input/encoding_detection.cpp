#include "mp3plyr/input/encoding_detection.h"

#include "mp3plyr/input/japanese_text.h"
#include "mp3plyr/input/utf8_text.h"

#include <uchardet/uchardet.h>

#include <memory>
#include <optional>
#include <string>

namespace pt4 {

namespace {

struct DetectorDeleter {
    void operator()(uchardet_t detector) const { uchardet_delete(detector); }
};

bool HasByteOrderMark(std::string_view bytes)
{
    return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

// Writing systems of the two-byte UTF-8 range that text is written in. Half-width katakana of
// code page 932 read as UTF-8 land all over this range (IPA, Armenian, Thaana, holes in Hebrew)
// and mix several of them.
enum class Script { None, Latin, Greek, Cyrillic, Hebrew, Arabic, Other };

Script ScriptOf(char32_t c)
{
    if (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7)
        return Script::Latin;
    if (c >= 0x370 && c <= 0x3FF)
        return Script::Greek;
    if (c >= 0x400 && c <= 0x4FF)
        return Script::Cyrillic;
    if ((c >= 0x591 && c <= 0x5C7) || (c >= 0x5D0 && c <= 0x5EA) || (c >= 0x5EF && c <= 0x5F4))
        return Script::Hebrew;
    if (c >= 0x600 && c <= 0x6FF)
        return Script::Arabic;
    return Script::Other;
}

bool IsAsciiLetter(char32_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Valid UTF-8 whose characters belong together: beyond ASCII, only signs of Latin-1 (U+00A0 to
// U+00BF), characters of three bytes and more, combining accents on a Latin letter, and letters
// of one of the scripts above.
bool ReadsAsText(std::string_view utf8)
{
    Script seen = Script::None;
    char32_t previous = 0;
    for (char32_t c : Utf8CodePoints(utf8)) {
        const char32_t before = previous;
        previous = c;
        if (c < 0x80 || (c >= 0xA0 && c <= 0xBF) || c >= 0x800)
            continue;
        if (c >= 0x300 && c <= 0x36F && (IsAsciiLetter(before) || ScriptOf(before) == Script::Latin))
            continue;
        const Script script = ScriptOf(c);
        if (script == Script::Other || (seen != Script::None && script != seen))
            return false;
        seen = script;
    }
    return true;
}

// Kanji in EUC-JP are two bytes that code page 932 reads as two half-width katakana each, and
// half-width katakana in pairs read as kanji in EUC-JP. Common kanji speak for EUC-JP (a name
// such as 山田太郎), kanji of the second level and the marks only katakana words hold (sound
// marks, small kana, the long vowel) for code page 932; a tie is katakana.
bool EucJpKanjiOutweigh(const TJapaneseReading& eucJp, const TJapaneseReading& shiftJis)
{
    return 2 * eucJp.commonKanji - 3 * eucJp.rareKanji - shiftJis.halfWidthMarks > 0;
}

TTextEncoding Better(const TJapaneseReading& shiftJis, const TJapaneseReading& eucJp)
{
    return eucJp.weight > shiftJis.weight ? TTextEncoding::EucJp : TTextEncoding::ShiftJis;
}

// Text whose form says what it is: a byte-order mark, the escapes of ISO-2022-JP (as the
// detector recognises them), or valid UTF-8 that reads as text (plain ASCII included).
std::optional<TTextEncoding> StatedEncoding(std::string_view bytes)
{
    if (HasByteOrderMark(bytes))
        return bytes[0] == '\xFF' ? TTextEncoding::Utf16LittleEndian : TTextEncoding::Utf16BigEndian;
    if (bytes.find('\x1B') != std::string_view::npos && DetectorAnswer(bytes) == "ISO-2022-JP" &&
        ConvertStrictlyToUtf8(bytes, TTextEncoding::Iso2022Jp))
        return TTextEncoding::Iso2022Jp;
    if (IsValidUtf8Text(bytes) && ReadsAsText(bytes))
        return TTextEncoding::Utf8;
    return std::nullopt;
}

} // namespace

std::string DetectorAnswer(std::string_view bytes)
{
    // One detector per thread, reset for each text: making one builds all its probers.
    thread_local std::unique_ptr<uchardet, DetectorDeleter> detector(uchardet_new());
    if (!detector)
        return {};
    uchardet_reset(detector.get());
    if (uchardet_handle_data(detector.get(), bytes.data(), bytes.size()) != 0)
        return {};
    uchardet_data_end(detector.get());
    const char* answer = uchardet_get_charset(detector.get());
    return answer ? answer : "";
}

TTextEncoding DetectTextEncoding(std::string_view bytes)
{
    if (const std::optional<TTextEncoding> stated = StatedEncoding(bytes))
        return *stated;
    const bool utf8 = IsValidUtf8Text(bytes);
    const std::string answer = DetectorAnswer(bytes);
    if (answer == "SHIFT_JIS" && ConvertStrictlyToUtf8(bytes, TTextEncoding::ShiftJis))
        return TTextEncoding::ShiftJis;
    if (answer == "EUC-JP" && ConvertStrictlyToUtf8(bytes, TTextEncoding::EucJp))
        return TTextEncoding::EucJp;

    const TJapaneseReading shiftJis = ReadAsShiftJis(bytes);
    const TJapaneseReading eucJp = ReadAsEucJp(bytes);
    if (shiftJis.HoldsKana() && eucJp.HoldsKana())
        return Better(shiftJis, eucJp);
    if (shiftJis.HoldsKana()) {
        const bool halfWidthOnly = shiftJis.kana == 0 && shiftJis.kanji == 0;
        return halfWidthOnly && eucJp.HoldsJapanese() && EucJpKanjiOutweigh(eucJp, shiftJis)
                   ? TTextEncoding::EucJp
                   : TTextEncoding::ShiftJis;
    }
    if (eucJp.HoldsKana())
        return TTextEncoding::EucJp;
    if (utf8)
        return TTextEncoding::Utf8;
    if (shiftJis.HoldsJapanese() || eucJp.HoldsJapanese())
        return Better(shiftJis.HoldsJapanese() ? shiftJis : TJapaneseReading{},
                      eucJp.HoldsJapanese() ? eucJp : TJapaneseReading{});
    // Code page 932 signs alone ("①", "★"): their lead bytes are rare in Windows-1252 text.
    if (shiftJis.plausible && shiftJis.signs > 0)
        return TTextEncoding::ShiftJis;
    return TTextEncoding::Latin1;
}

TTextEncoding EncodingFor(std::string_view bytes, TTextEncodingChoice choice)
{
    const std::optional<TTextEncoding> chosen = ChosenEncoding(choice);
    if (!chosen)
        return DetectTextEncoding(bytes);
    return StatedEncoding(bytes).value_or(*chosen);
}

} // namespace pt4
