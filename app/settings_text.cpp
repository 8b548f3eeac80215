#include "app/settings_text.h"

#include <QStringDecoder>

namespace pt4 {

namespace {

bool IsUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(bytes);
    return !decoder.hasError();
}

} // namespace

QString SettingsValueOfBytes(const QByteArray& bytes)
{
    const bool utf8 = IsUtf8(bytes);
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = uint8_t(bytes[i]);
        const bool edgeSpace = byte == ' ' && (i == 0 || i == bytes.size() - 1);
        if (byte < 0x20 || byte == 0x7F || byte == '%' || edgeSpace || (byte > 0x7F && !utf8))
            out += '%' + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
        else
            out += char(byte);
    }
    return QString::fromUtf8(out);
}

QByteArray BytesOfSettingsValue(const QString& value)
{
    return QByteArray::fromPercentEncoding(value.toUtf8());
}

} // namespace pt4
