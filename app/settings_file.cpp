#include "app/settings_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <limits>

namespace pt4 {

namespace {

bool IsSectionLine(const QString& line, QString* name = nullptr)
{
    const QString trimmed = line.trimmed();
    if (trimmed.size() < 2 || !trimmed.startsWith(u'[') || !trimmed.endsWith(u']'))
        return false;
    if (name)
        *name = trimmed.mid(1, trimmed.size() - 2).trimmed();
    return true;
}

bool SplitKeyLine(const QString& line, QString& key, QString& value)
{
    const qsizetype equals = line.indexOf(u'=');
    if (equals <= 0 || line.trimmed().startsWith(u';'))
        return false;
    key = line.left(equals).trimmed();
    value = line.mid(equals + 1).trimmed();
    return !key.isEmpty();
}

bool ParseInteger(QString text, int32_t& result)
{
    text = text.trimmed();
    bool ok = false;
    qlonglong value = 0;
    const bool negative = text.startsWith(u'-');
    QString digits = negative || text.startsWith(u'+') ? text.mid(1) : text;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = digits.mid(2).toLongLong(&ok, 16);
    else if (!digits.isEmpty() && digits.front().isDigit())
        value = digits.toLongLong(&ok, 10);
    if (!ok)
        return false;
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return false;
    result = static_cast<int32_t>(value);
    return true;
}

// The folder takes a new or changed settings file: probed by opening the file for writing,
// since permission bits do not tell (an administrator may write anywhere, a read-only mount
// refuses everyone).
bool CanWriteBeside(const QString& dir)
{
    if (!QFileInfo(dir).isDir())
        return false;
    QFile file(QDir(dir).filePath(kSettingsFileName));
    const bool existed = file.exists();
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return false;
    file.close();
    if (!existed)
        file.remove();
    return true;
}

// The folders a package manager installs programs into are shared by every program and owned
// by the package manager: a settings file there (written when root runs the player) would
// outlive the package's removal.
bool IsSystemProgramFolder(const QString& dir)
{
    static const QStringList systemFolders = {QStringLiteral("/usr/bin"), QStringLiteral("/bin"),
                                              QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/games")};
    return systemFolders.contains(QDir::cleanPath(dir));
}

} // namespace

TIniFile::TIniFile(QString fileName) : fileName_(std::move(fileName))
{
    QFile file(fileName_);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream in(&file);
    while (!in.atEnd())
        lines_.append(in.readLine());
}

bool TIniFile::ReadString(const QString& section, const QString& key, QString& value) const
{
    bool inSection = false;
    for (const QString& line : lines_) {
        QString name;
        if (IsSectionLine(line, &name)) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        QString lineKey, lineValue;
        if (inSection && SplitKeyLine(line, lineKey, lineValue) &&
            lineKey.compare(key, Qt::CaseInsensitive) == 0) {
            value = lineValue;
            return true;
        }
    }
    return false;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const QString entry = key + u'=' + value;
    qsizetype sectionStart = -1;
    qsizetype sectionEnd = lines_.size();
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        QString name;
        if (IsSectionLine(lines_[i], &name)) {
            if (sectionStart >= 0) {
                sectionEnd = i;
                break;
            }
            if (name.compare(section, Qt::CaseInsensitive) == 0)
                sectionStart = i;
            continue;
        }
        QString lineKey, lineValue;
        if (sectionStart >= 0 && SplitKeyLine(lines_[i], lineKey, lineValue) &&
            lineKey.compare(key, Qt::CaseInsensitive) == 0) {
            lines_[i] = entry;
            return;
        }
    }
    if (sectionStart < 0) {
        lines_.append(u'[' + section + u']');
        lines_.append(entry);
        return;
    }
    // After the section's last non-empty line, so a blank line before the next section stays.
    qsizetype insertAt = sectionEnd;
    while (insertAt > sectionStart + 1 && lines_[insertAt - 1].trimmed().isEmpty())
        --insertAt;
    lines_.insert(insertAt, entry);
}

int32_t TIniFile::ReadInteger(const QString& section, const QString& key, int32_t defaultValue) const
{
    QString text;
    int32_t value = 0;
    if (ReadString(section, key, text) && ParseInteger(text, value))
        return value;
    return defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int32_t value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QString TIniFile::ReadText(const QString& section, const QString& key, const QString& defaultValue) const
{
    QString value;
    return ReadString(section, key, value) ? value : defaultValue;
}

void TIniFile::WriteText(const QString& section, const QString& key, const QString& value)
{
    WriteString(section, key, value);
}

void TIniFile::EraseSection(const QString& section)
{
    bool inSection = false;
    for (qsizetype i = 0; i < lines_.size();) {
        QString name;
        if (IsSectionLine(lines_[i], &name))
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
        if (inSection)
            lines_.removeAt(i);
        else
            ++i;
    }
}

QHash<QString, QString> TIniFile::ReadSection(const QString& section) const
{
    QHash<QString, QString> keys;
    bool inSection = false;
    for (const QString& line : lines_) {
        QString name;
        if (IsSectionLine(line, &name)) {
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        QString key, value;
        if (inSection && SplitKeyLine(line, key, value) && !keys.contains(key.toLower()))
            keys.insert(key.toLower(), value); // the first of a key twice wins, as in ReadText
    }
    return keys;
}

void TIniFile::WriteSection(const QString& section, const QList<std::pair<QString, QString>>& keys)
{
    EraseSection(section);
    lines_.append(u'[' + section + u']');
    for (const auto& [key, value] : keys)
        lines_.append(key + u'=' + value);
}

bool TIniFile::UpdateFile() const
{
    QDir().mkpath(QFileInfo(fileName_).absolutePath());
    QSaveFile file(fileName_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&file);
    for (const QString& line : lines_)
        out << line << '\n';
    out.flush();
    return file.commit();
}

QString ChooseSettingsFile(const QString& programDir, const QString& configHome)
{
    if (!IsSystemProgramFolder(programDir) && CanWriteBeside(programDir))
        return QDir(programDir).filePath(kSettingsFileName);
    return QDir(configHome).filePath(QStringLiteral("plumtone4/") + kSettingsFileName);
}

QString DefaultSettingsFile()
{
    QString configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (configHome.isEmpty() || QDir::isRelativePath(configHome))
        configHome = QDir::homePath() + QStringLiteral("/.config");
    return ChooseSettingsFile(QCoreApplication::applicationDirPath(), configHome);
}

} // namespace pt4
