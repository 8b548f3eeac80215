#include "components/natural_order.h"

namespace pt4 {

namespace {

// The run of ASCII digits starting at i, without its leading zeros.
QStringView DigitRun(const QString& s, qsizetype& i)
{
    const qsizetype start = i;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9')
        ++i;
    qsizetype first = start;
    while (first + 1 < i && s[first] == u'0')
        ++first;
    return QStringView(s).mid(first, i - first);
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

int NaturalCompare(const QString& a, const QString& b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const QStringView x = DigitRun(a, i);
            const QStringView y = DigitRun(b, j);
            // Without leading zeros the longer run is the larger number.
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (const int order = x.compare(y); order != 0)
                return order;
            continue;
        }
        const QChar x = a[i].toCaseFolded();
        const QChar y = b[j].toCaseFolded();
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    // Names equal but for case or leading zeros still have a fixed order.
    return a.compare(b);
}

} // namespace pt4
