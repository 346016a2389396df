// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Qt's own texts (the buttons of standard dialogs, the font and file dialogs) in the language
// of the program's language file.
namespace qttranslation {

// The language code of Qt's translations for a language file: the file's
// "[International] Locale" when it names one, else the shipped files' own ("DEUTSCH.QLG" is
// "de"); empty for English and for a language Qt has no code for.
QString localeOf(const QString &languageFile);

// Replaces Qt's translation in use by the one for `languageFile`, from Qt's translations
// folder. English, or a translation that is not installed, leaves Qt's texts in English.
// Returns whether a translation is in use afterwards.
bool install(const QString &languageFile);

} // namespace qttranslation
