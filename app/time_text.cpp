#include "app/time_text.h"

namespace pt4 {

QString TimeText(uint32_t ms)
{
    const uint32_t seconds = ms / 1000;
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

} // namespace pt4
