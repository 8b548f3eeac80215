// The order in which a file manager lists names: runs of digits by their value ("Track 9" before
// "Track 10"), letters without regard to case, the same in every locale.
#pragma once

#include <QString>

namespace pt4 {

// Negative, zero or positive as a comes before, with or after b; only equal names give zero.
int NaturalCompare(const QString& a, const QString& b);

inline bool NaturalLess(const QString& a, const QString& b)
{
    return NaturalCompare(a, b) < 0;
}

} // namespace pt4
