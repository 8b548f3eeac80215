// File names and locations as values of PT4.INI: the file system's bytes kept exactly, readable
// as text where they are valid UTF-8.
#pragma once

#include <QByteArray>
#include <QString>

namespace pt4 {

// '%', control characters, spaces at either end and, in a name that is not valid UTF-8, every
// byte above 0x7F are written as %XX; everything else as it is.
QString SettingsValueOfBytes(const QByteArray& bytes);
QByteArray BytesOfSettingsValue(const QString& value);

} // namespace pt4
