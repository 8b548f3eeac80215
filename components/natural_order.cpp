#include "components/natural_order.h"

namespace pt4 {

namespace {

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

// The run of ASCII digits starting at i, without its leading zeros.
QStringView DigitRun(QStringView s, qsizetype& i)
{
    const qsizetype start = i;
    while (i < s.size() && IsDigit(s[i].unicode()))
        ++i;
    qsizetype first = start;
    while (first + 1 < i && s[first] == u'0')
        ++first;
    return s.mid(first, i - first);
}

// Case folded; ASCII without the table look-up, as most names are.
char16_t Folded(char16_t c)
{
    if (c < 0x80)
        return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
    return QChar::toCaseFolded(c);
}

} // namespace

int NaturalCompare(const QString& left, const QString& right)
{
    const QStringView a(left);
    const QStringView b(right);
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const char16_t p = a[i].unicode();
        const char16_t q = b[j].unicode();
        if (IsDigit(p) && IsDigit(q)) {
            const QStringView x = DigitRun(a, i);
            const QStringView y = DigitRun(b, j);
            // Without leading zeros the longer run is the larger number.
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (const int order = x.compare(y); order != 0)
                return order;
            continue;
        }
        const char16_t x = Folded(p);
        const char16_t y = Folded(q);
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    // Names equal but for case or leading zeros still have a fixed order.
    return left.compare(right);
}

} // namespace pt4
