// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Descriptions are DOS text: bytes are shown through the CP437 table and written back through
// the same table. A line break is CR LF or a lone LF (written back as CR LF); TAB is a tab;
// every other byte, a lone CR and the control bytes included, shows its own CP437 glyph, so a
// description with CR LF line ends comes back byte for byte.
namespace cp437 {

QString decode(const QByteArray &bytes);

struct Encoded
{
    QByteArray bytes;
    // The characters that have no CP437 byte, each listed once; empty when all went well.
    QString unencodable;
};
// Line breaks ("\n", and the paragraph and line separators of rich text) become CR LF.
Encoded encode(const QString &text);

} // namespace cp437
