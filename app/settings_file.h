// "PT4.INI": a private-profile (INI) file with sections, keys and text values, and where it lives.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <utility>

namespace pt4 {

inline constexpr const char* kSettingsFileName = "PT4.INI";

// Reads the whole file when made; writes change the text in memory until UpdateFile. Section
// and key names match without regard to case; lines it does not understand are kept.
class TIniFile {
public:
    explicit TIniFile(QString fileName);

    const QString& FileName() const { return fileName_; }

    // The default when the key is missing or its value is not a 32-bit integer (decimal,
    // or hexadecimal after 0x).
    int32_t ReadInteger(const QString& section, const QString& key, int32_t defaultValue) const;
    // True for any integer other than 0.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    void WriteInteger(const QString& section, const QString& key, int32_t value);
    // Written as "1" or "0".
    void WriteBool(const QString& section, const QString& key, bool value);

    // Text values as they stand in the file, trimmed; the default when the key is missing.
    QString ReadText(const QString& section, const QString& key, const QString& defaultValue = {}) const;
    void WriteText(const QString& section, const QString& key, const QString& value);
    // Takes the section and all its keys out of the file.
    void EraseSection(const QString& section);
    // A whole section at once, in time proportional to the file (a long list in one section):
    // its keys (names in lower case) and values; written anew at the end of the file.
    QHash<QString, QString> ReadSection(const QString& section) const;
    void WriteSection(const QString& section, const QList<std::pair<QString, QString>>& keys);

    // Writes the text back, creating the file and its folder if needed; false when that fails.
    bool UpdateFile() const;

private:
    bool ReadString(const QString& section, const QString& key, QString& value) const;
    void WriteString(const QString& section, const QString& key, const QString& value);

    QString fileName_;
    QStringList lines_;
};

// The settings file beside the program when that folder can be written and is not a system-wide
// program folder such as /usr/bin, else under the user's configuration folder
// (configHome/plumtone4/).
QString ChooseSettingsFile(const QString& programDir, const QString& configHome);
// The same for this process: the program's folder, and $XDG_CONFIG_HOME or ~/.config.
QString DefaultSettingsFile();

} // namespace pt4
