// Kanji that Japanese song titles and names are mostly written with.
#pragma once

namespace pt4 {

// One of some five hundred kanji: those taught in the first school years, and the frequent ones
// of family and given names, places and song titles. Most kanji of a real title are among them;
// kanji that bytes of another encoding happen to spell mostly are not.
bool IsCommonKanji(char32_t c);

} // namespace pt4
