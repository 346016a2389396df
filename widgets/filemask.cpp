// SPDX-License-Identifier: GPL-3.0-or-later
#include "widgets/filemask.h"

namespace filemask {

QStringList parse(const QString &text)
{
    QStringList masks;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {QStringLiteral("*.*")};
    const QStringList pieces = trimmed.split(QLatin1Char(';'));
    for (const QString &piece : pieces) {
        const QString mask = piece.trimmed();
        if (!mask.isEmpty())
            masks.append(mask);
    }
    if (masks.isEmpty())
        masks.append(QStringLiteral("*.*"));
    return masks;
}

namespace {

// Glob matching with one remembered star: on a mismatch the last "*" takes one more
// character, which is enough for "*" and "?" masks and runs in O(n*m) at worst.
bool globMatch(const QString &mask, const QString &name)
{
    qsizetype m = 0, n = 0;
    qsizetype starMask = -1, starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask.at(m) == QLatin1Char('?') || mask.at(m) == name.at(n))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask.at(m) == QLatin1Char('*')) {
            starMask = m++;
            starName = n;
        } else if (starMask >= 0) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask.at(m) == QLatin1Char('*'))
        ++m;
    return m == mask.size();
}

} // namespace

bool matches(const QString &mask, const QString &name)
{
    const QString lowMask = mask.toLower();
    const QString lowName = name.toLower();
    if (lowMask == QLatin1String("*"))
        return true;
    if (lowMask == QLatin1String("*.*"))
        return lowName.contains(QLatin1Char('.'));
    if (!lowMask.contains(QLatin1Char('*')) && !lowMask.contains(QLatin1Char('?')))
        return lowMask == lowName;
    return globMatch(lowMask, lowName);
}

bool passes(const QStringList &masks, const QString &name)
{
    if (masks.isEmpty())
        return true;
    for (const QString &mask : masks) {
        if (matches(mask, name))
            return true;
    }
    return false;
}

} // namespace filemask
