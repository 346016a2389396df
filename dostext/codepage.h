// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The code pages that descriptions of old collections are written in, reading and writing
// them, and deciding which one a text is in.
namespace dostext {

enum class CodePage { Cp437, Cp850, Cp866, Windows1252, Windows1251, Utf8 };

QList<CodePage> allCodePages();
// "CP437", "CP850", "CP866", "Windows-1252", "Windows-1251", "UTF-8".
QString codePageName(CodePage page);
// The name for the user: "CP437 (DOS, US)" and the like.
QString codePageTitle(CodePage page);
// Accepts the names above and the usual spellings ("437", "cp866", "latin1", "iso-8859-1",
// "1251", "utf8"), without regard to case.
std::optional<CodePage> codePageFromName(QStringView name);
// Whether the DOS font draws this code page (its box and block pieces included).
bool usesDosFont(CodePage page);

// Bytes to text: CR LF or a lone LF is a line break ("\n"), TAB a tab; every other byte gets a
// character of its own (a control byte its DOS glyph in CP437, its control picture in the
// others), so that encode() gives the same bytes back.
QString decode(const QByteArray &bytes, CodePage page);
// The same, but control bytes (ESC, Ctrl-A, CR, LF, ...) stay the control characters they are,
// for the reader of colour codes.
QString decodeKeepingControls(const QByteArray &bytes, CodePage page);

struct Encoded
{
    QByteArray bytes;
    // The characters that have no byte in the code page, each listed once; empty when all
    // went well.
    QString unencodable;
};
// Line breaks ("\n", and the paragraph and line separators of rich text) become CR LF.
Encoded encode(const QString &text, CodePage page);

// A name that was read as CP437 (the rule for member names that are neither ASCII nor flagged
// UTF-8) read again in `page`: its CP437 bytes decoded in that code page. A name whose CP437
// bytes are valid UTF-8, or that has characters CP437 lacks, was not read as CP437 and is
// returned unchanged.
QString reinterpretCp437(const QString &name, CodePage page);

struct Detection
{
    CodePage page = CodePage::Cp437;
    // Why, in words for the user.
    QString reason;
};
// Decides conservatively: valid multi-byte UTF-8 is UTF-8; high bytes that are letters inside
// words, with nothing that reads as DOS box drawing, blocks or shades, are the Latin or
// Cyrillic code page they fit; everything else, and whatever is in doubt, is CP437.
Detection detect(const QByteArray &bytes);

} // namespace dostext
