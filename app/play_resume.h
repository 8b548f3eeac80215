// What played when the window closed (a file, or a list and its entry, and the place in it),
// kept in PT4.INI's [Resume] section, and opened again, paused at that place, when the program
// starts without a file.
#pragma once

namespace pt4 {

class TForm1;
class TIniFile;

// Writes the section anew; empty when nothing is open or a station plays.
void SaveResumePoint(TForm1& form, TIniFile& ini);
// Opens what the section names and pauses it at its place; false when there is nothing to open.
bool ResumeLastPlay(TForm1& form, const TIniFile& ini);

} // namespace pt4
