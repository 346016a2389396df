// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace mnemonics {

// Whether a caption holds a mnemonic: an "&" that is not the "&&" of a literal "&".
bool hasMnemonic(const QString &caption);

// The captions of one menu, each with a mnemonic. A caption that has one keeps it; the others
// get an "&" before their first letter or digit that no other caption of the menu uses
// (compared without case), or stay as they are when every such character is taken.
QStringList assign(const QStringList &captions);

// A name shown literally in a widget that reads "&" as a mnemonic.
inline QString literal(QString name)
{
    return name.replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace mnemonics
