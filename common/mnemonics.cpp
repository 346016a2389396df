// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/mnemonics.h"

#include <QSet>

namespace mnemonics {

namespace {

// The character after the caption's mnemonic "&", or a null character when it has none.
QChar mnemonicOf(const QString &caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption.at(i) != QLatin1Char('&'))
            continue;
        if (caption.at(i + 1) != QLatin1Char('&'))
            return caption.at(i + 1).toLower();
        ++i;
    }
    return QChar();
}

} // namespace

bool hasMnemonic(const QString &caption)
{
    return !mnemonicOf(caption).isNull();
}

QStringList assign(const QStringList &captions)
{
    QSet<QChar> used;
    for (const QString &caption : captions)
        if (hasMnemonic(caption))
            used.insert(mnemonicOf(caption));
    QStringList result = captions;
    for (QString &caption : result) {
        if (hasMnemonic(caption))
            continue;
        for (qsizetype i = 0; i < caption.size(); ++i) {
            const QChar c = caption.at(i);
            if (c == QLatin1Char('&')) {
                ++i; // the second half of a literal "&&"
                continue;
            }
            if (c.isLetterOrNumber() && !used.contains(c.toLower())) {
                used.insert(c.toLower());
                caption.insert(i, QLatin1Char('&'));
                break;
            }
        }
    }
    return result;
}

} // namespace mnemonics
